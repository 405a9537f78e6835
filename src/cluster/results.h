#pragma once
// The results of a distributed run reach rank 0 unit by unit. Every rank
// mines its units through a recorder whose sink is a ResultSender: it packs
// the records (or rules) of the unit whose turn the scheduler announced into
// sections, each headed by the unit's number, whether it ends the unit and
// its length, and sends them to rank 0 in messages of a bounded size (rank
// 0's own go through a Channel in memory, to the writer's thread). A
// message holds the sections of consecutive units: it is sent when it is
// full, or at a unit's end when rank 0 has taken every message sent before
// (so rank 0 may be waiting for it); on wide data most units find nothing,
// and a message per unit cost rank 0 seconds and, piled up in MPI's queue
// of messages not yet received, hundreds of megabytes. Sends are
// synchronous and at most kWindow of a rank's are not yet taken, so a rank
// ahead of the writer waits rather than piling up results. Rank 0's Writer
// takes the units in the one-process order, each from its rank, and hands
// each section on as it comes.
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
  // Whether the writer has taken every chunk pushed.
  bool drained();

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
  // Ends the last unit and sends what is left; returns when rank 0 has
  // taken it all.
  void finish();

 private:
  // Ends the open section; `last`: it ends its unit.
  void close_section(bool last);
  void open_section();
  // Sends the message once it is full; the open section goes on in the next.
  void send_when_full();
  // Whether rank 0 has taken every message sent so far.
  bool taken();
  void send();
  Comm& comm_;
  const std::vector<int>& units_;
  Channel* const local_;
  int unit_ = -1;            // the unit whose records come, by its number in the pass
  std::vector<int> message_;  // sections: the unit's number, whether it ends it, its length, its records
  std::size_t section_ = 0;   // where the open section's head is in message_
  // Messages sent and not yet taken by rank 0, oldest first.
  struct InFlight {
    std::vector<int> ints;
    MPI_Request request;
  };
  std::deque<InFlight> in_flight_;
};

// A rule as ints: the sizes of X and Y, their items, the three supports
// and the four measures (each double as two ints).
void pack_rule(const FoundRule& rule, std::vector<int>& out);
// Calls each(rule) for every rule packed in `ints`.
void for_each_packed_rule(std::span<const int> ints, const std::function<void(const FoundRule&)>& each);

// Rank 0: every unit's sections in the order of `units` (unit numbers), each
// from the rank `owner` gives; `take(unit, records, ends)` gets them.
void gather_units(Comm& comm, const std::vector<int>& owner, Channel& local,
                  const std::function<void(int unit, std::span<const int> payload, bool ends)>& take);

}  // namespace zub
