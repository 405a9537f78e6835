// The CSV and JSON lines of FSout, and plain lines with sorted items; the
// text of items. Slower than the plain path (no text kept between lines):
// every line is made whole from the ids of its items.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string_view>

#include "io/found_rule.h"
#include "io/fsout.h"
#include "io/text_escape.h"

namespace zub {

void FSout::set_style(const LineStyle& style) {
  style_ = style;
  rule_lines_.set_style(style);
  forget_line();
  if (style_.format == LineStyle::Format::csv) {
    static constexpr std::string_view kItemsets = "items,support,share\n";
    static constexpr std::string_view kRules =
        "antecedent,consequent,support,share,confidence,lift,leverage,conviction\n";
    static constexpr std::string_view kAllRules =
        "antecedent,consequent,support,share,confidence,lift,leverage,conviction,"
        "antecedent_support,consequent_support,zhangs_metric,jaccard,certainty,kulczynski\n";
    const std::string_view header = !style_.rules ? kItemsets : style_.all_measures ? kAllRules : kRules;
    put_bytes(header.data(), header.size());
  }
}

void ItemText::ids_in_order(std::span<const int> positions, bool sort, std::vector<int>& ids) const {
  ids.resize(positions.size());
  for (std::size_t j = 0; j < positions.size(); ++j) ids[j] = order_item[positions[j]];
  if (!sort) return;
  if (names != nullptr) {
    const std::vector<std::string>& text = *names;
    std::sort(ids.begin(), ids.end(), [&text](int a, int b) {
      return text[static_cast<std::size_t>(a)] < text[static_cast<std::size_t>(b)];
    });
  } else {
    std::sort(ids.begin(), ids.end());
  }
}

void ItemText::append(std::string& out, int id) const {
  if (names != nullptr) {
    out += (*names)[static_cast<std::size_t>(id)];
  } else {
    char digits[12];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, id).ptr);
  }
}

// A rule's line, made by the writer's own RuleLines.
void FSout::take(const FoundRule& rule) {
  styled_.clear();
  rule_lines_.append(rule, styled_);
  put_bytes(styled_.data(), styled_.size());
}

void FSout::styled_line(int support) {
  const ItemText text{order_item_, names_};
  text.ids_in_order({cached_items_.data(), at_}, style_.sort_items, line_ids_);
  at_ = 0;
  std::string& line = styled_;
  line.clear();
  auto item_text = [&text](int id, std::string& out) { text.append(out, id); };
  switch (style_.format) {
    case LineStyle::Format::plain:
      for (int id : line_ids_) item_text(id, line), line += ' ';
      line += '(' + std::to_string(support) + ")\n";
      break;
    case LineStyle::Format::csv: {
      std::string items;
      for (std::size_t j = 0; j < line_ids_.size(); ++j) {
        if (j > 0) items += ' ';
        item_text(line_ids_[j], items);
      }
      append_csv_field(line, items);
      line += ',' + std::to_string(support) + ',';
      append_share(line, support, style_.transactions);
      line += '\n';
      break;
    }
    case LineStyle::Format::json: {
      line += "{\"items\":[";
      for (std::size_t j = 0; j < line_ids_.size(); ++j) {
        if (j > 0) line += ',';
        if (names_ != nullptr)
          append_json_string(line, (*names_)[static_cast<std::size_t>(line_ids_[j])]);
        else
          item_text(line_ids_[j], line);
      }
      line += "],\"support\":" + std::to_string(support) + ",\"share\":";
      append_share(line, support, style_.transactions);
      line += "}\n";
      break;
    }
  }
  put_bytes(line.data(), line.size());
}

}  // namespace zub
