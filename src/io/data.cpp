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
    buf_.reset(new char[kBlockSize + 1]);  // one byte more for a sentinel
    cur_ = end_ = buf_.get();
  }
}

Data::~Data() { close(); }

void Data::close() {
  if (file != nullptr) std::fclose(file);
  file = nullptr;
  buf_.reset();  // the mining that follows has better use for the memory
  cur_ = end_ = nullptr;
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
  buf_[n] = '\0';  // a non-digit behind the data ends every digit run
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
  // The transaction's array in locals: written back on growth and at the end.
  int* items = t.items;
  int length = 0;
  int capacity = t.capacity;
  auto push = [&](std::uint64_t v) {
    if (length >= capacity) {
      t.length = length;
      t.DoubleTrans(length);
      items = t.items;
      capacity = t.capacity;
    }
    items[length++] = static_cast<int>(v);
  };
  std::uint64_t value = 0;
  bool in_number = false;   // a number runs across the block boundary
  bool line_started = false;
  for (;;) {
    if (cur_ == end_ && !refill()) {
      if (!error_.empty()) return Status::error;
      if (in_number) push(value);
      t.length = length;
      if (line_started) {
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
    line_started = true;
    while (p < e) {
      unsigned digit = static_cast<unsigned char>(*p) - unsigned('0');
      if (digit < 10) {
        do {
          value = value * 10 + digit;
          if (value > std::uint64_t(INT_MAX)) {
            cur_ = p + 1;
            t.length = length;
            return fail(name_ + ", line " + std::to_string(line_ + 1) +
                        ": item id is larger than 2147483647!");
          }
          digit = static_cast<unsigned char>(*++p) - unsigned('0');  // the sentinel stops it at e
        } while (digit < 10);
        if (p == e) {
          in_number = true;  // the number may go on in the next block
          break;
        }
        push(value);
        value = 0;
        in_number = false;
      } else if (in_number) {
        // The number ended with the last block.
        push(value);
        value = 0;
        in_number = false;
      }
      // *p separates ids; a line feed also ends the transaction.
      if (*p++ == '\n') {
        cur_ = p;
        ++line_;
        t.length = length;
        return Status::transaction;
      }
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
