#pragma once
// The results of a distributed run reach rank 0 unit by unit. Every rank
// mines its units through a recorder whose sink is a ResultSender: it packs
// the records (or rules) of the unit whose turn the scheduler announced into
// chunks of a bounded size, each headed by the unit's number and whether it
// ends the unit, and sends them to rank 0 (rank 0's own go through a
// Channel in memory, to the writer's thread). Rank 0's Writer takes the
// units in the one-process order, each from its rank, and hands each
// chunk on as it comes; a rank's send waits until rank 0 takes it, so a
// rank ahead of the writer waits rather than piling up results.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <vector>

#include "cluster/comm.h"
#include "io/found_rule.h"
#include "io/sink.h"

namespace zub {

// Rank 0's chunks from its own mining to its writer, at most a bound in
// bytes waiting (the miner waits beyond it).
class Channel {
 public:
  void push(std::vector<int>&& chunk);
  std::vector<int> pop();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::vector<int>> chunks_;
  std::size_t ints_ = 0;
};

class ResultSender final : public ItemsetSink, public RuleSink {
 public:
  // `units`: this rank's units by the scheduler's numbers; `local`: rank 0's channel.
  ResultSender(Comm& comm, const std::vector<int>& units, Channel* local);
  void unit_begins(int unit) override;
  void take(std::span<const int> records) override;
  void take(const FoundRule& rule) override;
  // Ends the last unit.
  void finish();

 private:
  void send(bool last);
  Comm& comm_;
  const std::vector<int>& units_;
  Channel* const local_;
  int unit_ = -1;          // the unit whose records come, by its number in the pass
  std::vector<int> chunk_;  // the unit's number, whether it ends it, then the records
};

// A rule as ints: the sizes of X and Y, their items, the three supports
// and the four measures (each double as two ints).
void pack_rule(const FoundRule& rule, std::vector<int>& out);
// Calls each(rule) for every rule packed in `ints`.
void for_each_packed_rule(std::span<const int> ints, const std::function<void(const FoundRule&)>& each);

// Rank 0: every unit's chunks in the order of `units` (unit numbers), each
// from the rank `owner` gives; `take(unit, records, ends)` gets them.
void gather_units(Comm& comm, const std::vector<int>& owner, Channel& local,
                  const std::function<void(int unit, std::span<const int> payload, bool ends)>& take);

}  // namespace zub
