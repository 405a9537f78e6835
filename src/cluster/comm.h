#pragma once
// What the processes of a distributed run share beside the data: their
// number and rank, the agreement on a failure at the end of each phase
// that every rank runs together, the abort of a failure in the middle of
// one, and the bytes each rank sends in each round.
#include <mpi.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace zub {

// The rounds of a run, for the count of bytes sent.
enum class Round { counting, order, transactions, results, closed, count };

struct Comm {
  int rank = 0;
  int size = 1;
  bool is_root() const { return rank == 0; }
  // Bytes sent by this rank to other ranks, by round.
  std::array<long long, static_cast<int>(Round::count)> sent{};
  void count(Round r, long long bytes) { sent[static_cast<int>(r)] += bytes; }
};

// A failure of one rank: its exit status (0: none) and message.
struct Failure {
  int status = 0;
  std::string message;
  bool failed() const { return status != 0; }
};

// Every rank passes its own outcome; all get the first failure by rank
// (its message prefixed with "rank R: "), or none. Collective.
Failure agree(Comm& comm, const Failure& mine);

// Runs `body`, turning a RunError or a failed allocation into a Failure.
Failure attempt(const std::function<void()>& body);

// Prints "rank R: message" and ends the whole job with `status`: for a
// failure while the other ranks are busy with this one's data.
[[noreturn]] void abort_job(const Comm& comm, const std::string& message, int status);

// Sends `data` to every rank from `root` (in pieces below 2^31 bytes).
void broadcast(Comm& comm, std::vector<int>& data, int root, Round round);
void broadcast(Comm& comm, std::string& text, int root, Round round);

}  // namespace zub
