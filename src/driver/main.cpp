#include <cstdio>

#include "driver/driver.h"

int main(int argc, char** argv) { return zub::zub_main(argc, argv, stdout); }
