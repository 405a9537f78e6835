#pragma once
// A failure that ends a run: the message the user sees and the exit status.
// The library throws it; the command-line programs print the message on
// standard output and exit with the status, embedders catch it.
#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>

namespace zub {

enum ExitStatus : int {
  kExitOk = 0,
  kExitUsage = 1,
  kExitFile = 2,    // a file could not be opened, read or written
  kExitMemory = 3,  // a pool or an array could not get memory
  kExitInternal = 4,  // an internal consistency check failed
  kExitCancelled = 5,  // the caller's stop flag was set (embedders only: the programs set none)
};

class RunError : public std::runtime_error {
 public:
  RunError(int status, const std::string& message)
      : std::runtime_error(message), status_(status) {}
  int status() const { return status_; }

 private:
  int status_;
};

// Runs `body` (which returns an exit status); a failure becomes its message
// on `out` and its status.
template <class Body>
int run_reporting(std::FILE* out, Body&& body) {
  try {
    return body();
  } catch (const RunError& e) {
    std::fprintf(out, "%s\n", e.what());
    return e.status();
  } catch (const std::bad_alloc&) {
    std::fprintf(out, "Not enough memory!\n");
    return kExitMemory;
  }
}

[[noreturn]] inline void fail_memory() { throw RunError(kExitMemory, "Not enough memory!"); }

}  // namespace zub
