#pragma once
// The main tree's two passes over a regular file of ids on several
// threads: the file is cut into byte ranges (Tuning::read_range_bytes, see
// io/byte_ranges.h) that the threads take in turn, each with its own reader
// and its own share of the work (counts, or the transactions it collects).
// Each range keeps a digest of what it read; the second pass reads the same
// ranges and must find the same digests, or the file changed. A failure
// (an id too large, a read error) is reported for the first range that has
// one, with its line counted from the start of the file, as one stream
// reports it.
#include <atomic>
#include <bit>
#include <type_traits>
#include <vector>

#include "common/threads.h"
#include "io/byte_ranges.h"
#include "trees/fi_tree.h"
#include "trees/read_times.h"

namespace zub {

class Data;

// What reading one range found, and the processor time it took.
struct RangeOutcome {
  RangeRead read;
  double seconds = 0;
};

// How a pass reports where it is: the phase, and the transactions in all
// (0 when unknown).
struct PassProgress {
  Progress* progress = nullptr;
  Progress::Phase phase = Progress::Phase::reading;
  long long total = 0;
};

// The first pass in ranges of `data` (whose byte_source() is `source`):
// counts as count_items() does, and keeps each range and its digest in the
// counts for the second pass.
ItemCounts count_items_in_ranges(Data& data, const ByteSource& source, const Tuning& tuning, int threads,
                                 const PassProgress& report, StopFlag stop, ReadTimes* times);

// Throws for the first range (by position) that failed, as the stream
// reader would; then, with `digests`, for a range that read otherwise.
void check_ranges(const std::string& name, const std::vector<RangeOutcome>& outcomes,
                  const std::vector<PassDigest>* digests);

namespace range_pass {

// Lines between looks at the stop flag and the progress.
inline constexpr long long kLook = 4096;

// A sink's lines; every kLook lines look() says whether the reading goes on.
// The sink is a copy (the reader keeps it in registers), copied back after
// each range. A sink that takes ids with their lines' offsets
// (io/masked_block.h) is passed them, and looked at when its lines pass a
// multiple of kLook.
template <class Sink, class Look>
struct Looking {
  static_assert(std::has_single_bit(static_cast<unsigned long long>(kLook)));
  Sink sink;
  Look* look;
  long long lines = 0;
  void id(int x) { sink.id(x); }
  bool end() {
    sink.end();
    return ++lines % kLook != 0 || (*look)();
  }
  void id_at(int x, long long k)
    requires range_detail::TakesLineOffsets<Sink>
  {
    sink.id_at(x, k);
  }
  bool ended(long long n)
    requires range_detail::TakesLineOffsets<Sink>
  {
    sink.ended(n);
    const long long before = lines;
    lines += n;
    return ((before ^ lines) & -kLook) == 0 || (*look)();
  }
};

}  // namespace range_pass

// Reads every range on `threads` threads, worker w (0 the calling thread)
// handing its ranges' transactions to sink_of(w): sink.id(x) for each id,
// sink.end() at the end of each transaction, or id_at and ended with the
// masked loop (the sink is copied while a range is read, and copied back:
// it holds its state by value or behind pointers). Returns each range's
// outcome; a range behind one that failed may be left unread.
template <class SinkOf>
std::vector<RangeOutcome> read_ranges(const ByteSource& source, const std::vector<ByteRange>& ranges, int threads,
                                      const PassProgress& report, StopFlag stop, ReadLoop loop, SinkOf&& sink_of) {
  std::vector<RangeOutcome> out(ranges.size());
  std::atomic<std::size_t> next{0}, first_failed{ranges.size()};
  std::atomic<bool> abandoned{false};
  std::atomic<long long> done{0};
  const int workers = std::max(1, std::min<int>(threads, static_cast<int>(ranges.size())));
  for_each_thread(workers, [&](int worker) {
    try {
      RangeReader reader(source.fd, RangeReader::kBlockBytes, loop);
      auto& sink = sink_of(worker);
      for (std::size_t r; (r = next.fetch_add(1)) < ranges.size() && !abandoned.load();) {
        if (r > first_failed.load()) continue;
        const double started = thread_seconds();
        auto look = [&] {
          stop.check();
          const long long all = done.fetch_add(range_pass::kLook) + range_pass::kLook;
          if (worker == 0 && report.progress != nullptr)
            report.progress->update(report.phase, all, report.total, [] { return 0LL; });
          return !abandoned.load() && r <= first_failed.load();
        };
        range_pass::Looking<std::remove_reference_t<decltype(sink)>, decltype(look)> lines{sink, &look};
        RangeOutcome& o = out[r];
        o.read = reader.read_lines(ranges[r], lines);
        sink = lines.sink;
        o.seconds = thread_seconds() - started;
        for (std::size_t f = first_failed.load(); o.read.failure != RangeRead::Failure::none && r < f;)
          first_failed.compare_exchange_weak(f, r);
      }
    } catch (...) {
      abandoned = true;  // the others stop at their next look
      throw;
    }
  });
  return out;
}

}  // namespace zub
