// The CSV and JSON lines of FSout, and plain lines with sorted items. Slower
// than the plain path (no text kept between lines): every line is made
// whole from the ids of its items.
#include <algorithm>
#include <charconv>
#include <cstdio>

#include "io/fsout.h"
#include "io/text_escape.h"

namespace zub {

void FSout::set_style(const LineStyle& style) {
  style_ = style;
  forget_line();
  if (style_.format == LineStyle::Format::csv && !sink_ && !discards_) {
    static constexpr char kHeader[] = "items,support,share\n";
    put_bytes(kHeader, sizeof kHeader - 1);
  }
}

void FSout::styled_line(int support) {
  sink_ids_.resize(at_);
  for (std::size_t j = 0; j < at_; ++j) sink_ids_[j] = order_item_[cached_items_[j]];
  at_ = 0;
  if (style_.sort_items) {
    if (names_ != nullptr) {
      const std::vector<std::string>& names = *names_;
      std::sort(sink_ids_.begin(), sink_ids_.end(), [&names](int a, int b) {
        return names[static_cast<std::size_t>(a)] < names[static_cast<std::size_t>(b)];
      });
    } else {
      std::sort(sink_ids_.begin(), sink_ids_.end());
    }
  }
  std::string& line = styled_;
  line.clear();
  auto item_text = [this](int id, std::string& out) {
    if (names_ != nullptr) {
      out += (*names_)[static_cast<std::size_t>(id)];
    } else {
      char digits[kMaxIntChars];
      out.append(digits, std::to_chars(digits, digits + sizeof digits, id).ptr);
    }
  };
  switch (style_.format) {
    case LineStyle::Format::plain:
      for (int id : sink_ids_) item_text(id, line), line += ' ';
      line += '(' + std::to_string(support) + ")\n";
      break;
    case LineStyle::Format::csv: {
      std::string items;
      for (std::size_t j = 0; j < sink_ids_.size(); ++j) {
        if (j > 0) items += ' ';
        item_text(sink_ids_[j], items);
      }
      append_csv_field(line, items);
      line += ',' + std::to_string(support) + ',';
      append_share(line, support, style_.transactions);
      line += '\n';
      break;
    }
    case LineStyle::Format::json: {
      line += "{\"items\":[";
      for (std::size_t j = 0; j < sink_ids_.size(); ++j) {
        if (j > 0) line += ',';
        if (names_ != nullptr)
          append_json_string(line, (*names_)[static_cast<std::size_t>(sink_ids_[j])]);
        else
          item_text(sink_ids_[j], line);
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
