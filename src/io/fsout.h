#pragma once
// Writes itemsets, one per line: each item id as read from the transaction
// file followed by one blank, then the support in parentheses. Items arrive as
// main-tree positions and are mapped back through order_item.
#include <cstdio>
#include <memory>
#include <string>

namespace zub {

class FSout {
 public:
  // Opens `filename` for writing ("-" is standard output).
  explicit FSout(const char* filename);
  ~FSout();
  FSout(const FSout&) = delete;
  FSout& operator=(const FSout&) = delete;

  bool isOpen() const { return file != nullptr; }
  // The position -> item id table; set once the first scan has made it.
  void set_order(const int* order_item) { order_item_ = order_item; }

  void printSet(int length, const int* itemset, int support) {
    printset(length, itemset);
    put('(');
    put_int(support);
    put(')');
    put('\n');
  }
  void printset(int length, const int* itemset) {
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

  std::string name_;
  bool owns_file_ = false;
  const int* order_item_ = nullptr;
  std::unique_ptr<char[]> buf_;
  std::size_t pos_ = 0;
};

}  // namespace zub
