// The lines of association rules in each format. A rule's items arrive as
// main-tree positions, as an itemset's do, and are written with their ids
// or names.
#include <algorithm>
#include <charconv>

#include "io/fsout.h"
#include "io/text_escape.h"
#include "io/found_rule.h"

namespace zub {

namespace {

// The measures of --all-measures, from the supports as shares s():
// zhangs_metric leverage / max(s(XY)(1 - s(X)), s(X)(s(Y) - s(XY))) (0 when
// that is 0), jaccard s(XY) / (s(X) + s(Y) - s(XY)), certainty
// (confidence - s(Y)) / (1 - s(Y)) (0 when s(Y) is 1), kulczynski
// (s(XY)/s(X) + s(XY)/s(Y)) / 2; as the Python module computes them.
struct MoreMeasures {
  double zhang, jaccard, certainty, kulczynski;
};

MoreMeasures more_measures(const FoundRule& rule, int transactions) {
  const double n = transactions;
  const double xy = rule.support / n, x = rule.antecedent_support / n, y = rule.consequent_support / n;
  const double denominator = std::max(xy * (1 - x), x * (y - xy));
  return {denominator == 0 ? 0.0 : (xy - x * y) / denominator, xy / (x + y - xy),
          y >= 1 ? 0.0 : (xy / x - y) / (1 - y), (xy / x + xy / y) / 2};
}

}  // namespace

void FSout::take(const FoundRule& rule) {
  ids_in_order(rule.antecedent, line_ids_);
  ids_in_order(rule.consequent, rule_consequent_);
  std::string& line = styled_;
  line.clear();
  switch (style_.format) {
    case LineStyle::Format::plain:
      // 1 2 -> 3 (support, confidence, lift)
      for (int id : line_ids_) append_item(line, id), line += ' ';
      line += "-> ";
      for (int id : rule_consequent_) append_item(line, id), line += ' ';
      line += '(' + std::to_string(rule.support) + ", ";
      append_double(line, rule.confidence);
      line += ", ";
      append_double(line, rule.lift);
      line += ")\n";
      break;
    case LineStyle::Format::csv:
      for (const std::vector<int>* side : {&line_ids_, &rule_consequent_}) {
        std::string& items = rule_side_;
        items.clear();
        for (std::size_t j = 0; j < side->size(); ++j) {
          if (j > 0) items += ' ';
          append_item(items, (*side)[j]);
        }
        append_csv_field(line, items);
        line += ',';
      }
      line += std::to_string(rule.support) + ',';
      append_share(line, rule.support, style_.transactions);
      for (double measure : {rule.confidence, rule.lift, rule.leverage, rule.conviction}) {
        line += ',';
        append_double(line, measure);
      }
      if (style_.all_measures) {
        line += ',' + std::to_string(rule.antecedent_support) + ',' + std::to_string(rule.consequent_support);
        const MoreMeasures more = more_measures(rule, style_.transactions);
        for (double measure : {more.zhang, more.jaccard, more.certainty, more.kulczynski}) {
          line += ',';
          append_double(line, measure);
        }
      }
      line += '\n';
      break;
    case LineStyle::Format::json: {
      auto items = [&](const char* key, const std::vector<int>& ids) {
        line += key;
        for (std::size_t j = 0; j < ids.size(); ++j) {
          if (j > 0) line += ',';
          if (names_ != nullptr)
            append_json_string(line, (*names_)[static_cast<std::size_t>(ids[j])]);
          else
            append_item(line, ids[j]);
        }
        line += ']';
      };
      items("{\"antecedent\":[", line_ids_);
      items(",\"consequent\":[", rule_consequent_);
      line += ",\"support\":" + std::to_string(rule.support) + ",\"share\":";
      append_share(line, rule.support, style_.transactions);
      const std::pair<const char*, double> measures[] = {
          {",\"confidence\":", rule.confidence}, {",\"lift\":", rule.lift}, {",\"leverage\":", rule.leverage}};
      for (const auto& [key, value] : measures) line += key, append_double(line, value);
      line += ",\"conviction\":";
      if (rule.support == rule.antecedent_support)
        line += "null";
      else
        append_double(line, rule.conviction);
      if (style_.all_measures) {
        line += ",\"antecedent_support\":" + std::to_string(rule.antecedent_support) +
                ",\"consequent_support\":" + std::to_string(rule.consequent_support);
        const MoreMeasures more = more_measures(rule, style_.transactions);
        const std::pair<const char*, double> extra[] = {{",\"zhangs_metric\":", more.zhang},
                                                        {",\"jaccard\":", more.jaccard},
                                                        {",\"certainty\":", more.certainty},
                                                        {",\"kulczynski\":", more.kulczynski}};
        for (const auto& [key, value] : extra) line += key, append_double(line, value);
      }
      line += "}\n";
      break;
    }
  }
  put_bytes(line.data(), line.size());
}

}  // namespace zub
