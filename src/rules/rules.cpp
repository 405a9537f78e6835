#include "rules/rules.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "io/records.h"

namespace zub {

FoundRule rule_of(const int* items, int n, int support, int transactions) {
  const int length = n - kRuleRecordExtra;
  const int x = items[length];
  FoundRule r;
  r.antecedent = {items, static_cast<std::size_t>(x)};
  r.consequent = {items + x, static_cast<std::size_t>(length - x)};
  r.support = support;
  r.antecedent_support = items[length + 1];
  r.consequent_support = items[length + 2];
  const double t = transactions;
  r.confidence = static_cast<double>(support) / r.antecedent_support;
  r.lift = static_cast<double>(support) * t /
           (static_cast<double>(r.antecedent_support) * static_cast<double>(r.consequent_support));
  r.leverage = support / t - (r.antecedent_support / t) * (r.consequent_support / t);
  r.conviction = support == r.antecedent_support ? std::numeric_limits<double>::infinity()
                                                 : (1 - r.consequent_support / t) / (1 - r.confidence);
  return r;
}

void append_text_record(std::string_view text, std::vector<int>& out) {
  const std::size_t ints = (text.size() + sizeof(int) - 1) / sizeof(int);
  const std::size_t at = out.size();
  out.resize(at + record_size(static_cast<int>(ints)), 0);
  out[at] = static_cast<int>(ints);
  std::memcpy(out.data() + at + 1, text.data(), text.size());
  out[at + 1 + ints] = static_cast<int>(text.size());
}

template <class InY>
void RuleMaker::try_split(std::span<const int> z, int support, InY in_y, std::vector<int>& out) {
  x_.clear();
  y_.clear();
  for (std::size_t j = 0; j < z.size(); ++j) (in_y(j) ? y_ : x_).push_back(z[j]);
  // The sides in ascending order: z's sorted items, each on its side.
  x_sorted_.clear();
  y_sorted_.clear();
  for (int item : z_sorted_)
    (std::find(y_.begin(), y_.end(), item) != y_.end() ? y_sorted_ : x_sorted_).push_back(item);
  const int x_support = lookup_.support_of(x_sorted_);
  if (x_support <= 0 || !options_.min_confidence.reached_by(support, x_support)) return;
  const int y_support = lookup_.support_of(y_sorted_);
  if (y_support <= 0) return;
  // lift = supp(Z) n / (supp(X) supp(Y))
  using Wide = unsigned __int128;
  const Wide lift_top = Wide(static_cast<unsigned>(support)) * static_cast<unsigned>(options_.transactions);
  const Wide lift_bottom = Wide(static_cast<unsigned>(x_support)) * static_cast<unsigned>(y_support);
  if (!options_.min_lift.reached_by(lift_top, lift_bottom)) return;
  out.push_back(static_cast<int>(z.size()) + kRuleRecordExtra);
  out.insert(out.end(), x_.begin(), x_.end());
  out.insert(out.end(), y_.begin(), y_.end());
  out.insert(out.end(), {static_cast<int>(x_.size()), x_support, y_support, support});
}

void RuleMaker::rules_of(std::span<const int> z, int support, std::vector<int>& out) {
  const std::size_t k = z.size();
  if (k < 2 || (!options_.single_consequent && k > 30)) return;
  lookup_.about(z, support);
  z_sorted_.assign(z.begin(), z.end());
  std::sort(z_sorted_.begin(), z_sorted_.end());
  if (options_.single_consequent) {
    for (std::size_t c = 0; c < k; ++c) try_split(z, support, [c](std::size_t j) { return j == c; }, out);
  } else {
    for (std::uint32_t mask = 1; mask + 1 < (std::uint32_t{1} << k); ++mask)
      try_split(z, support, [mask](std::size_t j) { return (mask >> j & 1) != 0; }, out);
  }
}

}  // namespace zub
