#include "cluster/results.h"

#include <cstring>

#include "common/run_error.h"

namespace zub {

namespace {

constexpr int kResultTag = 21;
constexpr int kHead = 3;  // a section's head: the unit's number, whether it ends the unit, the records' length
// A message carries about 1 MiB of records.
constexpr std::size_t kChunkInts = std::size_t(1) << 18;
// Rank 0's miner waits while its writer has this much of its chunks.
constexpr std::size_t kChannelInts = std::size_t(1) << 24;
// A rank's messages that rank 0 has not yet taken, at most.
constexpr std::size_t kWindow = 64;

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

bool Channel::drained() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return chunks_.empty();
}

ResultSender::ResultSender(Comm& comm, const std::vector<int>& units, Channel* local)
    : comm_(comm), units_(units), local_(local) {}

void ResultSender::unit_begins(int unit) {
  if (unit_ >= 0) {
    close_section(true);
    if (message_.size() >= kChunkInts || taken()) send();
  }
  unit_ = units_[static_cast<std::size_t>(unit)];
  open_section();
}

void ResultSender::open_section() {
  section_ = message_.size();
  message_.insert(message_.end(), {unit_, 0, 0});
}

void ResultSender::close_section(bool last) {
  message_[section_ + 1] = last ? 1 : 0;
  message_[section_ + 2] = static_cast<int>(message_.size() - section_ - kHead);
}

void ResultSender::send_when_full() {
  if (message_.size() < kChunkInts) return;
  close_section(false);
  send();
  open_section();  // the unit goes on in the next message
}

void ResultSender::take(std::span<const int> records) {
  // Whole records to a message, so that each section can be handed on alone.
  const int* p = records.data();
  const int* const end = p + records.size();
  while (p != end) {
    const int* from = p;
    while (p != end && (message_.size() + static_cast<std::size_t>(p - from) < kChunkInts || from == p))
      p += p[0] + 2;
    message_.insert(message_.end(), from, p);
    send_when_full();
  }
}

void ResultSender::take(const FoundRule& rule) {
  pack_rule(rule, message_);
  send_when_full();
}

void ResultSender::finish() {
  if (unit_ >= 0) {
    close_section(true);
    send();
  }
  unit_ = -1;
  for (InFlight& m : in_flight_) MPI_Wait(&m.request, MPI_STATUS_IGNORE);
  in_flight_.clear();
}

bool ResultSender::taken() {
  if (local_ != nullptr) return local_->drained();
  while (!in_flight_.empty()) {
    int done = 0;
    MPI_Test(&in_flight_.front().request, &done, MPI_STATUS_IGNORE);
    if (done == 0) return false;
    in_flight_.pop_front();
  }
  return true;
}

void ResultSender::send() {
  if (local_ != nullptr) {
    local_->push(std::move(message_));
  } else {
    if (in_flight_.size() >= kWindow) {
      MPI_Wait(&in_flight_.front().request, MPI_STATUS_IGNORE);
      in_flight_.pop_front();
    }
    // Synchronous: the send ends once rank 0 takes the message, which
    // bounds what waits there.
    InFlight& m = in_flight_.emplace_back(InFlight{std::move(message_), MPI_REQUEST_NULL});
    MPI_Issend(m.ints.data(), static_cast<int>(m.ints.size()), MPI_INT, 0, kResultTag, MPI_COMM_WORLD, &m.request);
    comm_.count(Round::results, static_cast<long long>(m.ints.size() * sizeof(int)));
  }
  message_ = std::vector<int>();  // grows as records come: most messages of wide data are a few sections
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
  // Each rank's message being read, and where its next section starts.
  std::vector<std::vector<int>> message(static_cast<std::size_t>(comm.size));
  std::vector<std::size_t> at(static_cast<std::size_t>(comm.size), 0);
  for (std::size_t u = 0; u < owner.size(); ++u) {
    const int from = owner[u];
    std::vector<int>& m = message[static_cast<std::size_t>(from)];
    std::size_t& a = at[static_cast<std::size_t>(from)];
    for (bool ends = false; !ends;) {
      if (a == m.size()) {
        if (from == 0) {
          m = local.pop();
        } else {
          MPI_Status status;
          MPI_Probe(from, kResultTag, MPI_COMM_WORLD, &status);
          int n = 0;
          MPI_Get_count(&status, MPI_INT, &n);
          m.resize(static_cast<std::size_t>(n));
          MPI_Recv(m.data(), n, MPI_INT, from, kResultTag, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
        }
        a = 0;
      }
      // Each rank sends its units in their order: anything else is a fault.
      const std::size_t left = m.size() - a;
      const bool whole = left >= kHead && m[a + 2] >= 0 && static_cast<std::size_t>(m[a + 2]) <= left - kHead;
      if (!whole || m[a] != static_cast<int>(u))
        throw RunError(kExitFile, "rank " + std::to_string(from) + " sent the results of another unit!");
      ends = m[a + 1] != 0;
      const auto n = static_cast<std::size_t>(m[a + 2]);
      take(static_cast<int>(u), std::span<const int>(m).subspan(a + kHead, n), ends);
      a += kHead + n;
    }
  }
}

}  // namespace zub
