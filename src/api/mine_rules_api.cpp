// The embedding API's association rules: the rule miner's two passes over
// one run, each rule's items handed out as ascending file ids.
#include <algorithm>
#include <new>

#include "api/api_run.h"
#include "io/found_rule.h"
#include "rules/mine_rules.h"

namespace zub {

namespace {

// Each rule handed to the caller's callback with ascending file ids.
class RuleCallbackSink final : public RuleSink {
 public:
  RuleCallbackSink(const std::vector<int>& file_id, const RuleCallback& each, StopFlag stop)
      : file_id_(file_id), each_(each), stop_(stop) {}
  void take(const FoundRule& found) override {
    stop_.check();  // rules kept for their turn still reach the caller after the making
    ids(found.antecedent, rule_.antecedent);
    ids(found.consequent, rule_.consequent);
    rule_.support = found.support;
    rule_.antecedent_support = found.antecedent_support;
    rule_.consequent_support = found.consequent_support;
    rule_.confidence = found.confidence;
    rule_.lift = found.lift;
    rule_.leverage = found.leverage;
    rule_.conviction = found.conviction;
    try {
      each_(rule_);
    } catch (...) {
      throw CallbackFailed{std::current_exception()};
    }
  }

 private:
  void ids(std::span<const int> positions, std::vector<int>& out) const {
    out.clear();
    for (int p : positions) out.push_back(file_id_[static_cast<std::size_t>(p)]);
    std::sort(out.begin(), out.end());
  }
  const std::vector<int>& file_id_;
  const RuleCallback& each_;
  const StopFlag stop_;
  Rule rule_;
};

Fraction exact(double value, const char* name, double most) {
  if (!(value >= 0.0 && value <= most))
    throw Error(Error::Kind::argument, std::string(name) + " must be from 0 to " +
                                           (most == 1 ? std::string("1") : std::string("10^9")) + ", not " +
                                           std::to_string(value));
  return Fraction::shortest_decimal(value);
}

RuleSummary mine_rules_of(Source source, Support min_support, const RuleOptions& options, Limits limits,
                          RunOptions run_options, const RuleCallback& each) {
  const RunRequest request = api_request(min_support, limits, run_options);
  RuleSettings settings;
  settings.min_confidence = exact(options.min_confidence, "the minimum confidence", 1);
  settings.min_lift = exact(options.min_lift, "the minimum lift", 1e9);
  settings.single_consequent = !options.any_consequent;
  if (!each) throw Error(Error::Kind::argument, "no callback to hand the rules to");
  RuleSummary summary;
  run_source(source, request, [&](Run& run) {
    settings.transactions = run.settings().transactions;
    RuleCallbackSink sink(run.items().file_id, each, request.stop);
    const RuleReport report = mine_rules(run, settings, request.lengths, sink);
    summary.transactions = run.settings().transactions;
    summary.min_support = run.settings().threshold;
    summary.frequent_items = run.frequent();
    summary.closed_itemsets = report.closed;
    summary.rules = report.rules;
  });
  summary.words_without_ids = source.words_without_ids;
  return summary;
}

}  // namespace

RuleSummary mine_rules(const std::string& path, Support min_support, const RuleOptions& options, Limits limits,
                       RunOptions run, const RuleCallback& each) {
  return mine_rules_of(Source{&path, {}, run.layout, run.names, false, run.progress}, min_support, options, limits, run,
                       each);
}

RuleSummary mine_rules(Transactions transactions, Support min_support, const RuleOptions& options, Limits limits,
                       RunOptions run, const RuleCallback& each) {
  return mine_rules_of(Source{nullptr, transactions, nullptr, nullptr, false, run.progress}, min_support, options,
                       limits, run, each);
}

std::vector<Rule> mine_rules(const std::string& path, Support min_support, const RuleOptions& options, Limits limits,
                             RunOptions run) {
  return collect<Rule>(
      [&](const RuleCallback& each) { mine_rules(path, min_support, options, limits, run, each); });
}

std::vector<Rule> mine_rules(Transactions transactions, Support min_support, const RuleOptions& options, Limits limits,
                             RunOptions run) {
  return collect<Rule>(
      [&](const RuleCallback& each) { mine_rules(transactions, min_support, options, limits, run, each); });
}

}  // namespace zub
