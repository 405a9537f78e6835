#include <csignal>
#include <cstdio>

#include "driver/mine_cli.h"
#include "driver/program_heap.h"

int main(int argc, char** argv) {
  zub::set_program_heap();
  // When the reader of standard output goes away (zub-mine ... | head), the
  // run ends quietly at the next write, as for any filter, whatever the
  // parent process did with the signal.
  std::signal(SIGPIPE, SIG_DFL);
#ifdef SIGXFSZ
  // A write past the file-size limit then fails like any write error and is
  // reported, instead of killing the run halfway through a file.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  // Itemsets on standard output go through the writer, which reports a
  // failed write itself.
  return zub::zub_mine_main(argc, argv, stdout, stderr);
}
