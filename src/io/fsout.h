#pragma once
// Writes itemsets, one per line: each item id as read from the transaction
// file followed by one blank, then the support in parentheses. Items arrive as
// main-tree positions and are mapped back through order_item; with a names
// table the name of each id is written instead of the id. A writer made with
// a sink hands each itemset to it instead of writing a line; a writer made
// with nothing discards every itemset (a run without an output file).
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
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
  // Receives each itemset: its items as file ids, in the order a line would
  // show them, and its support.
  using Sink = std::function<void(std::span<const int> ids, int support)>;
  explicit FSout(Sink sink);
  // Discards everything.
  FSout();
  ~FSout();
  FSout(const FSout&) = delete;
  FSout& operator=(const FSout&) = delete;

  bool isOpen() const { return discards_ || file != nullptr || sink_; }
  // The position -> item id table; set once the first scan has made it.
  void set_order(const int* order_item) { order_item_ = order_item; }
  // The item id -> name table; null writes the ids.
  void set_names(const std::vector<std::string>* names) {
    names_ = names;
    plain_ = names_ == nullptr && !sink_;
  }

  // Writes the line of an itemset: its items, then its support.
  void write_itemset(int length, const int* itemset, int support) {
    if (discards_) return;
    write_items(length, itemset);
    if (sink_) {
      sink_line(support);
      return;
    }
    put('(');
    put_int(support);
    put(')');
    put('\n');
  }
  // Writes items that begin a line; write_itemset ends it.
  void write_items(int length, const int* itemset) {
    if (discards_) return;
    if (!plain_) {
      printset_named(length, itemset);
      return;
    }
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
  void put_bytes(const char* bytes, std::size_t n);
  void printset_named(int length, const int* itemset);
  void sink_line(int support);
  [[noreturn]] void fail_write();

  std::string name_;
  bool owns_file_ = false;
  const int* order_item_ = nullptr;
  std::unique_ptr<char[]> buf_;
  std::size_t pos_ = 0;
  bool discards_ = false;
  const std::vector<std::string>* names_ = nullptr;
  Sink sink_;
  bool plain_ = true;           // ids to a file: no names, no sink
  std::vector<int> sink_ids_;   // file ids of the itemset being handed on
};

}  // namespace zub
