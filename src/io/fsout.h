#pragma once
// Writes itemsets, one per line: each item id as read from the transaction
// file followed by one blank, then the support in parentheses. Items arrive as
// main-tree positions and are mapped back through order_item.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace zub {

class FSout {
 public:
  // Opens `filename` for writing ("-" is standard output).
  explicit FSout(const char* filename);
  // Writes to a stream that is already open and stays open; `name` is the
  // stream's name in error messages.
  FSout(std::FILE* stream, const char* name);
  ~FSout();
  FSout(const FSout&) = delete;
  FSout& operator=(const FSout&) = delete;

  bool isOpen() const { return file != nullptr; }
  // The position -> item id table; set once the first scan has made it.
  void set_order(const int* order_item) { order_item_ = order_item; }
  // Counts each line written at tally[number of its items] (grown as
  // needed); null counts nothing.
  void count_lengths(std::vector<long long>* tally) { tally_ = tally; }

  void printSet(int length, const int* itemset, int support) {
    printset(length, itemset);
    put('(');
    put_int(support);
    put(')');
    put('\n');
    if (tally_ != nullptr) tally_line();
    line_items_ = 0;
  }
  void printset(int length, const int* itemset) {
    line_items_ += length;
    for (int k = 0; k < length; ++k) {
      put_int(order_item_[itemset[k]]);
      put(' ');
    }
  }
  // Writes out what is buffered; throws RunError when the file cannot take it.
  void flush();
  // Flushes and closes; throws RunError on a write error.
  void close();

  std::FILE* file = nullptr;

 private:
  static constexpr std::size_t kBufferSize = 1 << 16;
  static constexpr std::size_t kMaxIntChars = 12;
  void put(char c) {
    if (pos_ == kBufferSize) flush();
    buf_[pos_++] = c;
  }
  void put_int(int v) {
    if (pos_ + kMaxIntChars > kBufferSize) flush();
    char digits[kMaxIntChars];
    unsigned n = 0;
    unsigned long long u = v < 0 ? 0ULL - static_cast<unsigned long long>(v) : v;
    do {
      digits[n++] = char('0' + u % 10);
      u /= 10;
    } while (u != 0);
    if (v < 0) buf_[pos_++] = '-';
    while (n > 0) buf_[pos_++] = digits[--n];
  }
  [[noreturn]] void fail_write();
  void tally_line() {
    if (tally_->size() <= line_items_) tally_->resize(line_items_ + 1, 0);
    ++(*tally_)[line_items_];
  }

  std::string name_;
  bool owns_file_ = false;
  const int* order_item_ = nullptr;
  std::unique_ptr<char[]> buf_;
  std::size_t pos_ = 0;
  std::vector<long long>* tally_ = nullptr;
  std::size_t line_items_ = 0;  // items of the line being written
};

}  // namespace zub
