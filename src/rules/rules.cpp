#include "rules/rules.h"

#include <cstdint>
#include <limits>
#include <vector>

namespace zub {

void rules_of(std::span<const int> z, int support, const ClosedSupports& closed, const RuleOptions& options,
              const std::function<void(const Rule&)>& each) {
  const std::size_t k = z.size();
  if (k < 2 || k > 30) return;  // every split of 31 items and more is beyond any output
  const double n = options.transactions;
  std::vector<int> x, y;
  auto split = [&](auto in_y) {
    x.clear();
    y.clear();
    for (std::size_t j = 0; j < k; ++j) (in_y(j) ? y : x).push_back(z[j]);
    Rule r;
    r.support = support;
    r.antecedent_support = closed.support_of(x);
    if (r.antecedent_support <= 0) return;
    r.confidence = static_cast<double>(support) / r.antecedent_support;
    if (r.confidence < options.min_confidence) return;
    r.consequent_support = closed.support_of(y);
    if (r.consequent_support <= 0) return;
    r.lift = r.confidence * n / r.consequent_support;
    if (r.lift < options.min_lift) return;
    r.leverage = support / n - (r.antecedent_support / n) * (r.consequent_support / n);
    r.conviction = r.confidence >= 1 ? std::numeric_limits<double>::infinity()
                                     : (1 - r.consequent_support / n) / (1 - r.confidence);
    r.antecedent = x;
    r.consequent = y;
    each(r);
  };
  if (options.single_consequent) {
    for (std::size_t c = 0; c < k; ++c) split([c](std::size_t j) { return j == c; });
  } else {
    for (std::uint32_t mask = 1; mask + 1 < (std::uint32_t{1} << k); ++mask)
      split([mask](std::size_t j) { return (mask >> j & 1) != 0; });
  }
}

}  // namespace zub
