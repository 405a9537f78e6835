#include <csignal>
#include <cstdio>

#include "driver/driver.h"
#include "driver/program_heap.h"
#include "common/run_error.h"

int main(int argc, char** argv) {
  zub::set_program_heap();
#ifdef SIGXFSZ
  // A write past the file-size limit then fails like any write error and is
  // reported, instead of killing the run halfway through a file.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  int status = zub::zub_main(argc, argv, stdout);
  // Standard output carries the length report of a single-path run and every
  // message: a run that could not write it has not done its job. The error
  // stream is the only place left to say so.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fputs("zub: standard output could not be written!\n", stderr);
    if (status == zub::kExitOk) status = zub::kExitFile;
  }
  return status;
}
