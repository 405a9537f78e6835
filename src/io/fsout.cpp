#include "io/fsout.h"

#include <cstring>

#include "fp_tree/run_error.h"

namespace zub {

FSout::FSout(const char* filename) : name_(filename ? filename : "") {
  if (filename == nullptr) return;
  if (std::strcmp(filename, "-") == 0) {
    file = stdout;
  } else {
    file = std::fopen(filename, "w");
    owns_file_ = file != nullptr;
  }
  if (file != nullptr) buf_.reset(new char[kBufferSize]);
}

FSout::FSout(std::FILE* stream, const char* name) : file(stream), name_(name != nullptr ? name : "") {
  if (file != nullptr) buf_.reset(new char[kBufferSize]);
}

FSout::~FSout() {
  // A writer dropped by an unwinding run is closed without reporting.
  if (owns_file_ && file != nullptr) std::fclose(file);
}

void FSout::fail_write() {
  pos_ = 0;
  throw RunError(kExitFile, name_ + " could not be written!");
}

void FSout::flush() {
  if (file == nullptr) return;
  if (pos_ > 0 && std::fwrite(buf_.get(), 1, pos_, file) != pos_) fail_write();
  pos_ = 0;
  if (std::fflush(file) != 0) fail_write();
}

void FSout::close() {
  if (file == nullptr) return;
  flush();
  std::FILE* f = file;
  file = nullptr;
  if (owns_file_ && std::fclose(f) != 0) fail_write();
}

}  // namespace zub
