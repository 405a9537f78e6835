#include "io/data.h"

#include <climits>
#include <cstdint>

#include "fp_tree/run_error.h"

namespace zub {

namespace {
constexpr std::size_t kBlockSize = 1 << 20;
}

Data::Data(const char* filename) : name_(filename ? filename : "") {
  if (filename != nullptr) file = std::fopen(filename, "r");
  if (file != nullptr) {
    std::setvbuf(file, nullptr, _IONBF, 0);  // we read whole blocks ourselves
    buf_.reset(new char[kBlockSize]);
    cur_ = end_ = buf_.get();
  }
}

Data::~Data() { close(); }

void Data::close() {
  if (file != nullptr) std::fclose(file);
  file = nullptr;
}

Data::Status Data::fail(const std::string& message) {
  error_ = message;
  return Status::error;
}

bool Data::refill() {
  if (at_eof_) return false;
  std::size_t n = std::fread(buf_.get(), 1, kBlockSize, file);
  cur_ = buf_.get();
  end_ = cur_ + n;
  if (n == 0) {
    if (std::ferror(file)) fail(name_ + " could not be read!");
    at_eof_ = true;
    return false;
  }
  return true;
}

Data::Status Data::next(Transaction& t) {
  t.length = 0;
  if (!error_.empty()) return Status::error;
  std::uint64_t value = 0;
  bool in_number = false;
  bool line_has_bytes = false;
  for (;;) {
    if (cur_ == end_ && !refill()) {
      if (!error_.empty()) return Status::error;
      if (in_number) t.push(static_cast<int>(value));
      if (in_number || line_has_bytes) {
        // A last line without a line feed is still a transaction.
        ++line_;
        return Status::transaction;
      }
      if (std::fseek(file, 0, SEEK_SET) != 0) return fail(name_ + " could not be read!");
      std::clearerr(file);
      at_eof_ = false;
      line_ = 0;
      cur_ = end_ = buf_.get();
      return Status::end;
    }
    const char* p = cur_;
    const char* const e = end_;
    while (p < e) {
      const unsigned digit = static_cast<unsigned char>(*p) - unsigned('0');
      if (digit < 10) {
        value = value * 10 + digit;
        in_number = true;
        ++p;
        if (value > std::uint64_t(INT_MAX)) {
          cur_ = p;
          return fail(name_ + ", line " + std::to_string(line_ + 1) +
                      ": item id is larger than 2147483647!");
        }
        continue;
      }
      const char c = *p++;
      if (in_number) {
        t.push(static_cast<int>(value));
        value = 0;
        in_number = false;
      }
      if (c == '\n') {
        cur_ = p;
        ++line_;
        return Status::transaction;
      }
      line_has_bytes = true;
    }
    cur_ = p;
  }
}

Transaction* Data::getNextTransaction(Transaction* t) {
  switch (next(*t)) {
    case Status::transaction: return t;
    case Status::end: return nullptr;
    case Status::error: break;
  }
  throw RunError(kExitFile, error_);
}

}  // namespace zub
