#include "io/fsout.h"

#include <algorithm>
#include <cstring>

#include "common/run_error.h"

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

FSout::FSout(Sink sink) : name_("the itemset sink"), sink_(std::move(sink)), plain_(false) {}

FSout::FSout() : discards_(true) {}

FSout::~FSout() {
  // A writer dropped by an unwinding run is closed without reporting.
  if (owns_file_ && file != nullptr) std::fclose(file);
}

void FSout::fail_write() {
  pos_ = 0;
  throw RunError(kExitFile, name_ + " could not be written!");
}

void FSout::put_bytes(const char* bytes, std::size_t n) {
  while (n > 0) {
    if (pos_ == kBufferSize) flush();
    const std::size_t part = std::min(n, kBufferSize - pos_);
    std::memcpy(buf_.get() + pos_, bytes, part);
    pos_ += part;
    bytes += part;
    n -= part;
  }
}

void FSout::printset_named(int length, const int* itemset) {
  for (int k = 0; k < length; ++k) {
    const int id = order_item_[itemset[k]];
    if (sink_) {
      sink_ids_.push_back(id);
    } else {
      const std::string& name = (*names_)[static_cast<std::size_t>(id)];
      put_bytes(name.data(), name.size());
      put(' ');
    }
  }
}

void FSout::sink_line(int support) {
  // A sink that throws leaves no half itemset behind.
  struct Clear {
    std::vector<int>& ids;
    ~Clear() { ids.clear(); }
  } clear{sink_ids_};
  sink_(sink_ids_, support);
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
