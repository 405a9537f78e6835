// Association rules on the public datasets: what the rule run costs beside
// mining the closed itemsets, and what writing its lines costs beside making
// the rules. Per cell, on one thread and on two (the _2 cases; the wall
// time is "Time"):
//   closed    the closed itemsets alone (the run's first pass)
//   all       every frequent itemset alone (what the second pass streams)
//   rules     the whole rule run, each rule counted, nothing written
//   written   the same with every rule's plain line written to /dev/null
// Rule generation is rules - closed - all (+ one reading); writing is
// written - rules.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "io/data.h"
#include "io/found_rule.h"
#include "io/fsout.h"
#include "rules/mine_rules.h"
#include "zub/zub.h"

namespace {

// Counts the rules, nothing written.
struct RuleCount final : zub::RuleSink {
  void take(const zub::FoundRule&) override {}
};

std::string data_file(const char* name) {
  const char* dir = std::getenv("ZUB_DATA_DIR");
  return std::string(dir != nullptr ? dir : ZUB_DATA_DIR) + "/" + name;
}

enum class Part { closed, all, rules, written };

void BM_Rules(benchmark::State& state, const char* name, int minsup, double confidence, Part part, int threads) {
  const std::string path = data_file(name);
  if (!std::filesystem::exists(path)) {
    state.SkipWithError("dataset not present");
    return;
  }
  long long found = 0;
  for (auto _ : state) {
    if (part == Part::closed || part == Part::all) {
      const zub::Target target = part == Part::closed ? zub::Target::closed : zub::Target::all;
      found = zub::mine_file(path, target, zub::Support::count(minsup), zub::Limits{}, zub::RunOptions{threads},
                             [](std::span<const int>, int) {})
                  .itemsets;
      continue;
    }
    zub::RunRequest request;
    request.min_support.count = minsup;
    request.target = zub::MiningTarget::all;
    request.threads = threads;
    zub::Run run(request);
    zub::Data data(path.c_str());
    run.read(data);
    zub::RuleSettings settings;
    settings.min_confidence = {static_cast<std::uint64_t>(confidence * 10), 10};
    settings.transactions = run.settings().transactions;
    zub::FSout out("/dev/null");
    out.set_order(run.items().file_id.data());
    RuleCount count;
    zub::RuleSink& sink = part == Part::written ? static_cast<zub::RuleSink&>(out) : count;
    found = zub::mine_rules(run, settings, zub::LengthLimits{}, sink).rules;
    out.close();
  }
  state.counters["found"] = static_cast<double>(found);
}

#define ZUB_RULE_PART(label, file, minsup, confidence, part, threads)                                       \
  BENCHMARK_CAPTURE(BM_Rules, label, file, minsup, confidence, Part::part, threads)                          \
      ->Unit(benchmark::kMillisecond)                                                                         \
      ->UseRealTime()
#define ZUB_RULE_CELL(label, file, minsup, confidence)                   \
  ZUB_RULE_PART(label##_closed, file, minsup, confidence, closed, 1);    \
  ZUB_RULE_PART(label##_all, file, minsup, confidence, all, 1);          \
  ZUB_RULE_PART(label##_rules, file, minsup, confidence, rules, 1);      \
  ZUB_RULE_PART(label##_written, file, minsup, confidence, written, 1);  \
  ZUB_RULE_PART(label##_closed_2, file, minsup, confidence, closed, 2);  \
  ZUB_RULE_PART(label##_all_2, file, minsup, confidence, all, 2);        \
  ZUB_RULE_PART(label##_rules_2, file, minsup, confidence, rules, 2);    \
  ZUB_RULE_PART(label##_written_2, file, minsup, confidence, written, 2)

ZUB_RULE_CELL(retail_10, "retail.dat", 10, 0.5);
ZUB_RULE_CELL(T10I4D100K_10, "T10I4D100K.dat", 10, 0.5);
ZUB_RULE_CELL(chess_2000, "chess.dat", 2000, 0.9);

}  // namespace

BENCHMARK_MAIN();
