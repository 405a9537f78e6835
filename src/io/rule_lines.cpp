// The lines of association rules in each format. A rule's items arrive as
// main-tree positions, as an itemset's do, and are written with their ids
// or names.
#include "io/rule_lines.h"

#include <algorithm>
#include <charconv>

#include "io/found_rule.h"
#include "io/text_escape.h"

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

// Appends `text`, then the digits of `value`.
void append_int(std::string& out, const char* text, int value) {
  char digits[12];
  out += text;
  out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

}  // namespace

void RuleLines::append(const FoundRule& rule, std::string& out) {
  items_.ids_in_order(rule.antecedent, style_.sort_items, antecedent_);
  items_.ids_in_order(rule.consequent, style_.sort_items, consequent_);
  switch (style_.format) {
    case LineStyle::Format::plain:
      append_plain(rule, out);
      break;
    case LineStyle::Format::csv:
      append_csv(rule, out);
      break;
    case LineStyle::Format::json:
      append_json(rule, out);
      break;
  }
}

// Each item's text followed by a blank (a plain line's), or with blanks
// between them (a CSV field's).
void RuleLines::append_items(const std::vector<int>& ids, bool blank_after, std::string& out) const {
  for (std::size_t j = 0; j < ids.size(); ++j) {
    if (!blank_after && j > 0) out += ' ';
    items_.append(out, ids[j]);
    if (blank_after) out += ' ';
  }
}

// 1 2 -> 3 (support, confidence, lift)
void RuleLines::append_plain(const FoundRule& rule, std::string& out) const {
  append_items(antecedent_, true, out);
  out += "-> ";
  append_items(consequent_, true, out);
  append_int(out, "(", rule.support);
  out += ", ";
  append_double(out, rule.confidence);
  out += ", ";
  append_double(out, rule.lift);
  out += ")\n";
}

void RuleLines::append_csv(const FoundRule& rule, std::string& out) {
  for (const std::vector<int>* side : {&antecedent_, &consequent_}) {
    side_.clear();
    append_items(*side, false, side_);
    append_csv_field(out, side_);
    out += ',';
  }
  append_int(out, "", rule.support);
  out += ',';
  append_share(out, rule.support, style_.transactions);
  for (double measure : {rule.confidence, rule.lift, rule.leverage, rule.conviction}) {
    out += ',';
    append_double(out, measure);
  }
  if (style_.all_measures) {
    append_int(out, ",", rule.antecedent_support);
    append_int(out, ",", rule.consequent_support);
    const MoreMeasures more = more_measures(rule, style_.transactions);
    for (double measure : {more.zhang, more.jaccard, more.certainty, more.kulczynski}) {
      out += ',';
      append_double(out, measure);
    }
  }
  out += '\n';
}

void RuleLines::append_json(const FoundRule& rule, std::string& out) const {
  auto items = [&](const char* key, const std::vector<int>& ids) {
    out += key;
    for (std::size_t j = 0; j < ids.size(); ++j) {
      if (j > 0) out += ',';
      if (items_.names != nullptr)
        append_json_string(out, (*items_.names)[static_cast<std::size_t>(ids[j])]);
      else
        items_.append(out, ids[j]);
    }
    out += ']';
  };
  items("{\"antecedent\":[", antecedent_);
  items(",\"consequent\":[", consequent_);
  append_int(out, ",\"support\":", rule.support);
  out += ",\"share\":";
  append_share(out, rule.support, style_.transactions);
  const std::pair<const char*, double> measures[] = {
      {",\"confidence\":", rule.confidence}, {",\"lift\":", rule.lift}, {",\"leverage\":", rule.leverage}};
  for (const auto& [key, value] : measures) out += key, append_double(out, value);
  out += ",\"conviction\":";
  if (rule.support == rule.antecedent_support)
    out += "null";
  else
    append_double(out, rule.conviction);
  if (style_.all_measures) {
    append_int(out, ",\"antecedent_support\":", rule.antecedent_support);
    append_int(out, ",\"consequent_support\":", rule.consequent_support);
    const MoreMeasures more = more_measures(rule, style_.transactions);
    const std::pair<const char*, double> extra[] = {{",\"zhangs_metric\":", more.zhang},
                                                    {",\"jaccard\":", more.jaccard},
                                                    {",\"certainty\":", more.certainty},
                                                    {",\"kulczynski\":", more.kulczynski}};
    for (const auto& [key, value] : extra) out += key, append_double(out, value);
  }
  out += "}\n";
}

}  // namespace zub
