#include "rules/rules.h"

#include <algorithm>
#include <limits>

namespace zub {

template <class InY>
void RuleMaker::try_split(std::span<const int> z, int support, InY in_y,
                          const std::function<void(const FoundRule&)>& each) {
  x_.clear();
  y_.clear();
  for (std::size_t j = 0; j < z.size(); ++j) (in_y(j) ? y_ : x_).push_back(z[j]);
  // The sides in ascending order: z's sorted items, each on its side.
  x_sorted_.clear();
  y_sorted_.clear();
  for (int item : z_sorted_)
    (std::find(y_.begin(), y_.end(), item) != y_.end() ? y_sorted_ : x_sorted_).push_back(item);
  FoundRule r;
  r.support = support;
  r.antecedent_support = closed_.support_of(x_sorted_);
  if (r.antecedent_support <= 0 || !options_.min_confidence.reached_by(support, r.antecedent_support)) return;
  r.consequent_support = closed_.support_of(y_sorted_);
  if (r.consequent_support <= 0) return;
  // lift = supp(Z) n / (supp(X) supp(Y))
  using Wide = unsigned __int128;
  const Wide lift_top = Wide(static_cast<unsigned>(support)) * static_cast<unsigned>(options_.transactions);
  const Wide lift_bottom =
      Wide(static_cast<unsigned>(r.antecedent_support)) * static_cast<unsigned>(r.consequent_support);
  if (!options_.min_lift.reached_by(lift_top, lift_bottom)) return;
  const double n = options_.transactions;
  r.confidence = static_cast<double>(support) / r.antecedent_support;
  r.lift = static_cast<double>(support) * n /
           (static_cast<double>(r.antecedent_support) * static_cast<double>(r.consequent_support));
  r.leverage = support / n - (r.antecedent_support / n) * (r.consequent_support / n);
  r.conviction = support == r.antecedent_support ? std::numeric_limits<double>::infinity()
                                                 : (1 - r.consequent_support / n) / (1 - r.confidence);
  r.antecedent = x_;
  r.consequent = y_;
  each(r);
}

void RuleMaker::rules_of(std::span<const int> z, int support, const std::function<void(const FoundRule&)>& each) {
  const std::size_t k = z.size();
  if (k < 2 || (!options_.single_consequent && k > 30)) return;
  closed_.about(z, support);
  z_sorted_.assign(z.begin(), z.end());
  std::sort(z_sorted_.begin(), z_sorted_.end());
  if (options_.single_consequent) {
    for (std::size_t c = 0; c < k; ++c) try_split(z, support, [c](std::size_t j) { return j == c; }, each);
  } else {
    for (std::uint32_t mask = 1; mask + 1 < (std::uint32_t{1} << k); ++mask)
      try_split(z, support, [mask](std::size_t j) { return (mask >> j & 1) != 0; }, each);
  }
}

}  // namespace zub
