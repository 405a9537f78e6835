#include "cluster/comm.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "common/run_error.h"

namespace zub {

namespace {

// MPI counts are ints: larger messages go in pieces of this many elements.
constexpr long long kPiece = 1LL << 28;

// The root counts what a broadcast delivers: its bytes to every other rank.
template <class T>
void broadcast_items(Comm& comm, T* data, long long n, MPI_Datatype type, int root, Round round) {
  for (long long at = 0; at < n; at += kPiece) {
    const int count = static_cast<int>(std::min(kPiece, n - at));
    MPI_Bcast(data + at, count, type, root, MPI_COMM_WORLD);
  }
  if (comm.rank == root) comm.count(round, (n * static_cast<long long>(sizeof(T)) + 8) * (comm.size - 1));
}

}  // namespace

Failure agree(Comm& comm, const Failure& mine) {
  std::vector<int> statuses(static_cast<std::size_t>(comm.size));
  int status = mine.status;
  MPI_Allgather(&status, 1, MPI_INT, statuses.data(), 1, MPI_INT, MPI_COMM_WORLD);
  const auto first = std::find_if(statuses.begin(), statuses.end(), [](int s) { return s != 0; });
  if (first == statuses.end()) return {};
  const int who = static_cast<int>(first - statuses.begin());
  Failure f{*first, comm.rank == who ? mine.message : std::string()};
  broadcast(comm, f.message, who, Round::counting);
  f.message = "rank " + std::to_string(who) + ": " + f.message;
  return f;
}

Failure attempt(const std::function<void()>& body) {
  try {
    body();
  } catch (const RunError& e) {
    return {e.status(), e.what()};
  } catch (const std::bad_alloc&) {
    return {kExitMemory, "Not enough memory!"};
  }
  return {};
}

void abort_job(const Comm& comm, const std::string& message, int status) {
  std::fprintf(stderr, "rank %d: %s\n", comm.rank, message.c_str());
  std::fflush(stderr);
  MPI_Abort(MPI_COMM_WORLD, status);
  std::_Exit(status);  // MPI_Abort does not return; should it, the rank still ends
}

void broadcast(Comm& comm, std::vector<int>& data, int root, Round round) {
  long long n = static_cast<long long>(data.size());
  MPI_Bcast(&n, 1, MPI_LONG_LONG, root, MPI_COMM_WORLD);
  data.resize(static_cast<std::size_t>(n));
  broadcast_items(comm, data.data(), n, MPI_INT, root, round);
}

void broadcast(Comm& comm, std::string& text, int root, Round round) {
  long long n = static_cast<long long>(text.size());
  MPI_Bcast(&n, 1, MPI_LONG_LONG, root, MPI_COMM_WORLD);
  text.resize(static_cast<std::size_t>(n));
  broadcast_items(comm, text.data(), n, MPI_CHAR, root, round);
}

}  // namespace zub
