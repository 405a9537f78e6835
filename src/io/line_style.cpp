// The CSV and JSON lines of FSout, and plain lines with sorted items. Slower
// than the plain path (no text kept between lines): every line is made
// whole from the ids of its items.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string_view>

#include "io/fsout.h"
#include "io/text_escape.h"

namespace zub {

void FSout::set_style(const LineStyle& style) {
  style_ = style;
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

void FSout::ids_in_order(std::span<const int> positions, std::vector<int>& ids) const {
  ids.resize(positions.size());
  for (std::size_t j = 0; j < positions.size(); ++j) ids[j] = order_item_[positions[j]];
  if (!style_.sort_items) return;
  if (names_ != nullptr) {
    const std::vector<std::string>& names = *names_;
    std::sort(ids.begin(), ids.end(), [&names](int a, int b) {
      return names[static_cast<std::size_t>(a)] < names[static_cast<std::size_t>(b)];
    });
  } else {
    std::sort(ids.begin(), ids.end());
  }
}

void FSout::append_item(std::string& out, int id) const {
  if (names_ != nullptr) {
    out += (*names_)[static_cast<std::size_t>(id)];
  } else {
    char digits[kMaxIntChars];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, id).ptr);
  }
}

void FSout::styled_line(int support) {
  ids_in_order({cached_items_.data(), at_}, line_ids_);
  at_ = 0;
  std::string& line = styled_;
  line.clear();
  auto item_text = [this](int id, std::string& out) { append_item(out, id); };
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
