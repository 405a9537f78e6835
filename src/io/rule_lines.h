#pragma once
// The text line of an association rule in each format. A writer's copy can
// make lines on any thread: it only reads the item tables it points to.
#include <string>
#include <vector>

#include "io/line_style.h"

namespace zub {

struct FoundRule;

class RuleLines {
 public:
  void set_items(const ItemText& items) { items_ = items; }
  void set_style(const LineStyle& style) { style_ = style; }
  // Appends the line of `rule` (its items main-tree positions) to `out`.
  void append(const FoundRule& rule, std::string& out);

 private:
  void append_plain(const FoundRule& rule, std::string& out) const;
  void append_csv(const FoundRule& rule, std::string& out);
  void append_json(const FoundRule& rule, std::string& out) const;
  void append_items(const std::vector<int>& ids, bool blank_after, std::string& out) const;
  ItemText items_;
  LineStyle style_;
  std::vector<int> antecedent_, consequent_;  // the file ids of the rule's sides
  std::string side_;                          // a CSV field of a side's items
};

}  // namespace zub
