#pragma once
// Writes itemsets, one per line: each item id as read from the transaction
// file followed by one blank, then the support in parentheses. Items arrive as
// main-tree positions and are mapped back through order_item; with a names
// table the name of each id is written instead of the id. The text writer
// of the sinks (sink.h): it takes batches of itemset records and rules.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/tuning.h"
#include "io/line_style.h"
#include "io/records.h"
#include "io/rule_lines.h"
#include "io/sink.h"

namespace zub {

class FSout final : public ItemsetSink, public RuleSink {
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
  // The line of each record.
  void take(std::span<const int> records) override;
  // The line of an association rule.
  void take(const FoundRule& rule) override;
  // Rule lines made elsewhere with lines(), written as they are.
  const RuleLines* lines() const override { return &rule_lines_; }
  void take_lines(std::string_view text) override { put_bytes(text.data(), text.size()); }
  // The position -> item id table; set once the first scan has made it.
  void set_order(const int* order_item) {
    order_item_ = order_item;
    rule_lines_.set_items({order_item_, names_});
    forget_line();
  }
  // The style of the lines; a CSV header is written at once.
  void set_style(const LineStyle& style);
  // The item id -> name table; null writes the ids.
  void set_names(const std::vector<std::string>* names) {
    names_ = names;
    rule_lines_.set_items({order_item_, names_});
    forget_line();
  }

  // Writes the line of an itemset: its items, then its support.
  void write_itemset(int length, const int* itemset, int support);
  // Writes items that begin a line; write_itemset ends it. Consecutive
  // itemsets mostly share a prefix (the miners write depth first), so the
  // text of the last line is kept with each item's end, and only the items
  // behind the shared prefix are formatted.
  void write_items(int length, const int* itemset);
  // Writes out what is buffered; throws RunError when the file cannot take it.
  void flush();
  // Flushes and closes; throws RunError on a write error.
  void close();

  std::FILE* file = nullptr;

 private:
  static constexpr std::size_t kBufferSize = kWriteBufferBytes;
  static constexpr std::size_t kMaxIntChars = 12;
  // A plain line keeps the text of its first items only: past them it goes
  // straight to the buffer, so that a line of a million items (wide data)
  // costs no copy of itself.
  static constexpr std::size_t kCachedItems = std::size_t(1) << 16;
  void put(char c) {
    if (pos_ == kBufferSize) flush();
    buf_[pos_++] = c;
  }
  void put_bytes(const char* bytes, std::size_t n);
  void line(int length, const int* itemset, int support);  // write_itemset, inlined in take
  void items(int length, const int* itemset);              // write_items, inlined in take
  void add_item(int position);  // formats the item at index at_ of the line
  void add_uncached_item(int position);  // past kCachedItems
  void end_line(int support);
  void styled_line(int support);  // the line of a style other than plain, from the cached items
  void forget_line() { at_ = cached_ = 0; }
  [[noreturn]] void fail_write();

  std::string name_;
  bool owns_file_ = false;
  const int* order_item_ = nullptr;
  std::unique_ptr<char[]> buf_;
  std::size_t pos_ = 0;
  const std::vector<std::string>* names_ = nullptr;
  LineStyle style_;
  // The line being written: the text of items [0, cached_) of the last
  // line, item j's text ending at line_ends_[j]; at_ items of this line so far.
  std::size_t at_ = 0;
  std::size_t cached_ = 0;
  std::vector<int> cached_items_;
  std::vector<std::uint32_t> line_ends_;
  std::vector<char> line_;
  std::vector<int> line_ids_;  // the file ids of a styled line
  std::string styled_;         // a styled line being made
  RuleLines rule_lines_;
};

}  // namespace zub
