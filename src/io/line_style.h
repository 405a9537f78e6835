#pragma once
// What the text lines of itemsets and rules share: their style, and the
// text of an item (its file id or its name).
#include <span>
#include <string>
#include <vector>

namespace zub {

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

// Items as written: main-tree positions mapped to file ids through
// `order_item`, each id written as its name when there is a names table.
struct ItemText {
  const int* order_item = nullptr;
  const std::vector<std::string>* names = nullptr;
  // The file ids of `positions`, ascending when `sort`.
  void ids_in_order(std::span<const int> positions, bool sort, std::vector<int>& ids) const;
  // Appends an id's name, or its digits.
  void append(std::string& out, int id) const;
};

}  // namespace zub
