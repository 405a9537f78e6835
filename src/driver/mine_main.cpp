#include <csignal>
#include <cstdio>

#include "driver/mine_cli.h"

int main(int argc, char** argv) {
  // When the reader of standard output goes away (zub-mine ... | head), the
  // run ends quietly at the next write, as for any filter, whatever the
  // parent process did with the signal.
  std::signal(SIGPIPE, SIG_DFL);
  return zub::zub_mine_main(argc, argv, stdout, stderr);
}
