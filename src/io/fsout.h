#pragma once
// Writes itemsets, one per line: each item id as read from the transaction
// file followed by one blank, then the support in parentheses. Items arrive as
// main-tree positions and are mapped back through order_item; with a names
// table the name of each id is written instead of the id. A writer made with
// a sink hands each itemset to it instead of writing a line; a writer made
// with nothing discards every itemset (a run without an output file).
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace zub {

struct FoundRule;

// How each itemset's line looks: zub's plain line ("1 2 (7)"), a CSV row
// (a header first) or a JSON object a line; items in the miner's order or
// ascending (ids by value, names by their bytes). `transactions` gives
// the share of the CSV and JSON lines.
struct LineStyle {
  enum class Format { plain, csv, json };
  Format format = Format::plain;
  bool sort_items = false;
  int transactions = 0;
  bool rules = false;  // the lines are rules (the CSV header names their columns)
  bool all_measures = false;  // rules in CSV and JSON: also the supports of both sides and four more measures
  bool is_plain() const { return format == Format::plain && !sort_items; }
};

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
  // Hands each full buffer of text (and the rest when flushed) to `chunks`:
  // how a worker's lines reach a shared output.
  using Chunks = std::function<void(const char* bytes, std::size_t n)>;
  explicit FSout(Chunks chunks, const FSout& tables_of);
  // Discards everything.
  FSout();
  ~FSout();
  FSout(const FSout&) = delete;
  FSout& operator=(const FSout&) = delete;

  bool isOpen() const { return discards_ || file != nullptr || sink_ || chunks_; }
  bool discards() const { return discards_; }
  bool has_sink() const { return static_cast<bool>(sink_); }
  const Sink& sink() const { return sink_; }
  // Writes text that is already formatted (whole lines).
  void write_bytes(const char* bytes, std::size_t n) {
    forget_line();
    put_bytes(bytes, n);
  }
  // The position -> item id table; set once the first scan has made it.
  void set_order(const int* order_item) {
    order_item_ = order_item;
    forget_line();
  }
  // Both tables of `other`, and its style.
  void copy_tables(const FSout& other) {
    set_order(other.order_item_);
    set_names(other.names_);
    style_ = other.style_;
  }
  // The style of the lines; a CSV header is written at once.
  void set_style(const LineStyle& style);
  // The item id -> name table; null writes the ids.
  void set_names(const std::vector<std::string>* names) {
    names_ = names;
    forget_line();
  }

  // Writes the line of an itemset: its items, then its support.
  void write_itemset(int length, const int* itemset, int support) {
    if (discards_) return;
    write_items(length, itemset);
    if (sink_)
      sink_line(support);
    else if (style_.is_plain())
      end_line(support);
    else
      styled_line(support);
  }
  // Writes items that begin a line; write_itemset ends it. Consecutive
  // itemsets mostly share a prefix (the miners write depth first), so the
  // text of the last line is kept with each item's end, and only the items
  // behind the shared prefix are formatted.
  void write_items(int length, const int* itemset) {
    if (discards_) return;
    for (int k = 0; k < length; ++k, ++at_) {
      if (at_ < cached_ && cached_items_[at_] == itemset[k]) continue;
      cached_ = at_;
      add_item(itemset[k]);
    }
  }
  // Writes the line of an association rule.
  void write_rule(const FoundRule& rule);
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
  void put_bytes(const char* bytes, std::size_t n);
  void add_item(int position);  // formats the item at index at_ of the line
  void end_line(int support);
  void sink_line(int support);
  void styled_line(int support);  // the line of a style other than plain, from the cached items
  void ids_in_order(std::span<const int> positions, std::vector<int>& ids) const;  // ids, sorted if asked
  void append_item(std::string& out, int id) const;                            // its id or name
  void forget_line() { at_ = cached_ = 0; }
  [[noreturn]] void fail_write();

  std::string name_;
  bool owns_file_ = false;
  const int* order_item_ = nullptr;
  std::unique_ptr<char[]> buf_;
  std::size_t pos_ = 0;
  bool discards_ = false;
  const std::vector<std::string>* names_ = nullptr;
  Sink sink_;
  Chunks chunks_;
  LineStyle style_;
  // The line being written: the text of items [0, cached_) of the last
  // line, item j's text ending at line_ends_[j]; at_ items of this line so far.
  std::size_t at_ = 0;
  std::size_t cached_ = 0;
  std::vector<int> cached_items_;
  std::vector<std::uint32_t> line_ends_;
  std::vector<char> line_;
  std::vector<int> sink_ids_;  // the file ids handed to the sink, or of a styled line
  std::string styled_;         // a styled line being made
  std::vector<int> rule_consequent_;  // the ids of a rule's consequent
  std::string rule_side_;             // a CSV field of a rule's items
};

}  // namespace zub
