#pragma once
// The transaction file: one transaction per line, item ids as runs of decimal
// digits, every other byte a separator. Read in large blocks; reaching the end
// of the file rewinds it, so a second pass is just more calls.
#include <cstdio>
#include <memory>
#include <string>

#include "io/transaction.h"

namespace zub {

class Data {
 public:
  enum class Status { transaction, end, error };

  explicit Data(const char* filename);
  ~Data();
  Data(const Data&) = delete;
  Data& operator=(const Data&) = delete;

  bool isOpen() const { return file != nullptr; }
  void close();

  // Reads the next line into t. At the end of the file the stream is rewound
  // and `end` is returned; `error` leaves a message in error_message().
  Status next(Transaction& t);
  // The same, for callers that treat a failure as the end of the run:
  // returns t, or null at the end of the file; throws RunError on a failure.
  Transaction* getNextTransaction(Transaction* t);

  const std::string& error_message() const { return error_; }
  const std::string& name() const { return name_; }

  std::FILE* file = nullptr;

 private:
  bool refill();
  Status fail(const std::string& message);

  std::string name_;
  std::string error_;
  std::unique_ptr<char[]> buf_;
  const char* cur_ = nullptr;
  const char* end_ = nullptr;
  bool at_eof_ = false;      // the stream has no more bytes
  long long line_ = 0;       // lines completed in this pass
};

}  // namespace zub
