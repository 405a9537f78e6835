#include "cluster/results.h"

#include <cstring>

#include "common/run_error.h"

namespace zub {

namespace {

constexpr int kResultTag = 21;
constexpr int kHeader = 2;  // the unit's number, whether the chunk ends it
// A chunk carries about 1 MiB of records.
constexpr std::size_t kChunkInts = std::size_t(1) << 18;
// Rank 0's miner waits while its writer has this much of its chunks.
constexpr std::size_t kChannelInts = std::size_t(1) << 24;

}  // namespace

void Channel::push(std::vector<int>&& chunk) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return ints_ < kChannelInts; });
  ints_ += chunk.size();
  chunks_.push_back(std::move(chunk));
  changed_.notify_all();
}

std::vector<int> Channel::pop() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return !chunks_.empty(); });
  std::vector<int> chunk = std::move(chunks_.front());
  chunks_.pop_front();
  ints_ -= chunk.size();
  changed_.notify_all();
  return chunk;
}

ResultSender::ResultSender(Comm& comm, const std::vector<int>& units, Channel* local)
    : comm_(comm), units_(units), local_(local) {
  chunk_.reserve(kChunkInts + kHeader);
}

void ResultSender::unit_begins(int unit) {
  if (unit_ >= 0) send(true);
  unit_ = units_[static_cast<std::size_t>(unit)];
  chunk_.assign({unit_, 0});
}

void ResultSender::take(std::span<const int> records) {
  // Whole records to a chunk, so that each chunk can be handed on alone.
  const int* p = records.data();
  const int* const end = p + records.size();
  while (p != end) {
    const int* from = p;
    while (p != end && (chunk_.size() - kHeader + static_cast<std::size_t>(p - from) < kChunkInts || from == p))
      p += p[0] + 2;
    chunk_.insert(chunk_.end(), from, p);
    if (chunk_.size() - kHeader >= kChunkInts) send(false);
  }
}

void ResultSender::take(const FoundRule& rule) {
  pack_rule(rule, chunk_);
  if (chunk_.size() - kHeader >= kChunkInts) send(false);
}

void ResultSender::finish() {
  if (unit_ >= 0) send(true);
  unit_ = -1;
}

void ResultSender::send(bool last) {
  chunk_[1] = last ? 1 : 0;
  if (local_ != nullptr) {
    local_->push(std::move(chunk_));
  } else {
    MPI_Send(chunk_.data(), static_cast<int>(chunk_.size()), MPI_INT, 0, kResultTag, MPI_COMM_WORLD);
    comm_.count(Round::results, static_cast<long long>(chunk_.size() * sizeof(int)));
  }
  chunk_.clear();
  chunk_.reserve(kChunkInts + kHeader);
  chunk_.assign({unit_, 0});
}

void pack_rule(const FoundRule& rule, std::vector<int>& out) {
  out.push_back(static_cast<int>(rule.antecedent.size()));
  out.push_back(static_cast<int>(rule.consequent.size()));
  out.insert(out.end(), rule.antecedent.begin(), rule.antecedent.end());
  out.insert(out.end(), rule.consequent.begin(), rule.consequent.end());
  out.insert(out.end(), {rule.support, rule.antecedent_support, rule.consequent_support});
  for (double d : {rule.confidence, rule.lift, rule.leverage, rule.conviction}) {
    int halves[2];
    std::memcpy(halves, &d, sizeof d);
    out.insert(out.end(), halves, halves + 2);
  }
}

void for_each_packed_rule(std::span<const int> ints, const std::function<void(const FoundRule&)>& each) {
  for (std::size_t at = 0; at < ints.size();) {
    const auto x = static_cast<std::size_t>(ints[at]), y = static_cast<std::size_t>(ints[at + 1]);
    const int* p = ints.data() + at + 2;
    FoundRule r;
    r.antecedent = {p, x};
    r.consequent = {p + x, y};
    p += x + y;
    r.support = p[0];
    r.antecedent_support = p[1];
    r.consequent_support = p[2];
    p += 3;
    double* measures[] = {&r.confidence, &r.lift, &r.leverage, &r.conviction};
    for (double* d : measures) {
      std::memcpy(d, p, sizeof(double));
      p += 2;
    }
    each(r);
    at = static_cast<std::size_t>(p - ints.data());
  }
}

void gather_units(Comm& comm, const std::vector<int>& owner, Channel& local,
                  const std::function<void(int, std::span<const int>, bool)>& take) {
  std::vector<int> chunk;
  for (std::size_t u = 0; u < owner.size(); ++u) {
    const int from = owner[u];
    for (bool ends = false; !ends;) {
      if (from == 0) {
        chunk = local.pop();
      } else {
        MPI_Status status;
        MPI_Probe(from, kResultTag, MPI_COMM_WORLD, &status);
        int n = 0;
        MPI_Get_count(&status, MPI_INT, &n);
        chunk.resize(static_cast<std::size_t>(n));
        MPI_Recv(chunk.data(), n, MPI_INT, from, kResultTag, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
      }
      // Each rank sends its units in their order: anything else is a fault.
      if (chunk.size() < kHeader || chunk[0] != static_cast<int>(u))
        throw RunError(kExitFile, "rank " + std::to_string(from) + " sent the results of another unit!");
      ends = chunk[1] != 0;
      take(static_cast<int>(u), std::span<const int>(chunk).subspan(kHeader), ends);
    }
  }
  (void)comm;
}

}  // namespace zub
