#include <csignal>
#include <cstdio>

#include "driver/driver.h"

int main(int argc, char** argv) {
#ifdef SIGXFSZ
  // A write past the file-size limit then fails like any write error and is
  // reported, instead of killing the run halfway through a file.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  return zub::zub_main(argc, argv, stdout);
}
