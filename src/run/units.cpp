#include "run/units.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "common/run_error.h"
#include "common/progress.h"
#include "common/threads.h"
#include "common/tuning.h"
#include "memory/zeroed_array.h"

namespace zub {

std::unique_ptr<Workspace> worker_workspace(const Workspace& ws) {
  auto w = std::make_unique<Workspace>(ws.settings, ws.frequent);
  w->size_lookahead(ws.trees.max_width);
  stack& own = w->recorder.itemset;
  const stack& start = ws.recorder.itemset;
  own.len = start.len;
  std::copy(start.items, start.items + start.len, own.items);
  return w;
}

namespace {

using Clock = std::chrono::steady_clock;

// Ends a worker's unit once the run has failed on another worker; the run
// rethrows that worker's error, never this.
struct RunFailedElsewhere {};

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A worker's temporary file for the records of units not yet in turn, once
// they outgrow the memory bound; written by its worker, read back by
// whichever thread writes the unit out.
class Spill {
 public:
  struct Extent {
    long long offset;
    std::size_t ints;
  };
  ~Spill() {
    if (file_ != nullptr) std::fclose(file_);
  }
  // Appends the records; false when no temporary file can take them.
  bool write(std::span<const int> records, Extent& extent) {
    if (file_ == nullptr && usable_) file_ = std::tmpfile();
    usable_ = file_ != nullptr;
    if (!usable_) return false;
    const char* bytes = reinterpret_cast<const char*>(records.data());
    std::size_t left = records.size_bytes();
    long long at = end_;
    while (left > 0) {
      const ssize_t wrote = ::pwrite(fileno(file_), bytes, left, at);
      if (wrote <= 0) {
        usable_ = false;  // what went before stays readable; nothing more goes here
        return false;
      }
      bytes += wrote, at += wrote, left -= static_cast<std::size_t>(wrote);
    }
    extent = {end_, records.size()};
    end_ = at;
    return true;
  }
  void read(const Extent& e, std::vector<int>& into) const {
    into.resize(e.ints);
    char* bytes = reinterpret_cast<char*>(into.data());
    const std::size_t size = e.ints * sizeof(int);
    for (std::size_t done = 0; done < size;) {
      const ssize_t got = ::pread(fileno(file_), bytes + done, size - done, e.offset + static_cast<long long>(done));
      if (got <= 0) throw RunError(kExitFile, "a temporary file of the run could not be read back!");
      done += static_cast<std::size_t>(got);
    }
  }

 private:
  std::FILE* file_ = nullptr;
  bool usable_ = true;
  long long end_ = 0;
};

class UnitRun;

// A worker's recorder hands its records here.
class UnitBuffer final : public ItemsetSink {
 public:
  UnitBuffer(UnitRun& run, int worker) : run_(run), worker_(worker) {}
  void take(std::span<const int> records) override;

 private:
  UnitRun& run_;
  const int worker_;
};

class UnitRun {
 public:
  UnitRun(UnitWork& work, Workspace& ws, UnitTimes* times)
      : work_(work), ws_(ws), times_(times), units_(work.units()), kept_(static_cast<std::size_t>(units_)),
        done_(static_cast<std::size_t>(units_)) {
    if (times_ != nullptr) {
      times_->mine.assign(static_cast<std::size_t>(units_), 0.0);
      times_->commit.assign(static_cast<std::size_t>(units_), 0.0);
    }
  }

  ~UnitRun() {
    for (int u = head_; u < units_; ++u) delete kept_[static_cast<std::size_t>(u)];
  }
  UnitRun(const UnitRun&) = delete;
  UnitRun& operator=(const UnitRun&) = delete;

  // Makes up to `threads` workers; fewer when memory runs out for more.
  void add_workers(int threads) {
    for (int w = 0; w < threads; ++w) {
      try {
        auto worker = std::make_unique<Worker>(worker_workspace(ws_), *this, w);
        worker->ws->recorder.start(&worker->buffer, ws_.recorder.lengths(), ws_.recorder.stage());
        if (ws_.progress != nullptr) worker->ws->tell_progress = [this] { report(); };
        work_.add_worker(*worker->ws);
        workers_.push_back(std::move(worker));
      } catch (const std::bad_alloc&) {
        if (w == 0) throw;
        return;
      }
    }
  }

  void run() {
    std::vector<std::jthread> threads;
    threads.reserve(workers_.size());
    int started = 1;
    for (; started < static_cast<int>(workers_.size()); ++started) {
      try {
        threads.emplace_back([this, started] {
          claim_thread_locals();
          loop(started);
        });
      } catch (const std::system_error&) {
        break;  // the workers that started take every unit
      }
    }
    loop(0);
    for (std::jthread& t : threads) t.join();
    if (first_error_) std::rethrow_exception(first_error_);
    for (int w = 0; w < started; ++w) {
      const Workspace& worker = *workers_[static_cast<std::size_t>(w)]->ws;
      ws_.trees.counters.projections += worker.trees.counters.projections;
      ws_.trees.counters.subset_checks += worker.trees.counters.subset_checks;
      // Staged records are counted as itemsets where they were found.
      if (ws_.recorder.stage() != nullptr) ws_.recorder.add_counts(worker.recorder);
    }
  }

  void deliver(int worker, std::span<const int> records);

 private:
  // Hands records to the run's recorder (by the one thread whose turn it is
  // to write or commit), counting them for the progress report.
  void pass_on(std::span<const int> records) {
    long long n = 0;
    for_each_record(records, [&n](const int*, int, int) { ++n; });
    ws_.recorder.pass_on(records);
    handed_on_.fetch_add(n, std::memory_order_relaxed);
  }
  void report() {
    if (ws_.progress == nullptr) return;
    ws_.progress->update(
        Progress::Phase::mining, finished_.load(std::memory_order_relaxed), units_,
        [this] {
          const RecordStage* stage = ws_.recorder.stage();
          return stage != nullptr ? stage->taken() : handed_on_.load(std::memory_order_relaxed);
        },
        true);
  }
  struct Worker {
    Worker(std::unique_ptr<Workspace> workspace, UnitRun& run, int index)
        : ws(std::move(workspace)), buffer(run, index), index(index) {}
    std::unique_ptr<Workspace> ws;
    UnitBuffer buffer;
    const int index;
    int unit = -1;
    std::vector<int> records;  // a kept unit's, while it is mined
    Spill spill;
  };
  // A unit's records waiting for their turn: the spilled extents (of its
  // worker's file), then what is in memory.
  struct Kept {
    std::vector<int> records;
    std::vector<Spill::Extent> extents;
    const Spill* spill = nullptr;
  };

  void loop(int w);
  void mine(Worker& w, int unit);
  void keep(Worker& w, std::span<const int> records);
  template <class Write>
  void unlocked(std::unique_lock<std::mutex>& lock, Write&& write);
  void write_ready(std::unique_lock<std::mutex>& lock);
  void commit_ready();

  UnitWork& work_;
  Workspace& ws_;
  UnitTimes* times_;
  const int units_;
  std::vector<std::unique_ptr<Worker>> workers_;
  std::atomic<int> next_{0};
  std::atomic<bool> failed_{false};
  std::atomic<int> finished_{0};          // units mined, for the progress report
  std::atomic<long long> handed_on_{0};   // itemsets that reached the run's recorder
  std::exception_ptr first_error_;
  std::mutex mutex_;  // of everything below, and of the run's recorder
  // By unit, in zeroed pages: a unit that keeps nothing costs 9 bytes, not
  // a Kept (wide data makes a unit of each of a million items).
  ZeroedArray<Kept*> kept_;  // made when a unit first keeps records, deleted once it is written
  ZeroedArray<char> done_;
  Kept& kept(int unit) {
    Kept*& k = kept_[static_cast<std::size_t>(unit)];
    if (k == nullptr) k = new Kept;
    return *k;
  }
  void forget(int unit) {
    Kept*& k = kept_[static_cast<std::size_t>(unit)];
    delete k;
    k = nullptr;
  }
  int head_ = 0;                // the first unit not committed
  std::size_t kept_bytes_ = 0;  // in memory, over every unit
  bool committing_ = false;     // a kept unit's commit is under way
  bool writing_ = false;        // a thread hands streamed records on, outside the lock
};

void UnitBuffer::take(std::span<const int> records) { run_.deliver(worker_, records); }

void UnitRun::loop(int w) {
  Worker& worker = *workers_[static_cast<std::size_t>(w)];
  try {
    for (int unit = next_++; unit < units_ && !failed_; unit = next_++) mine(worker, unit);
  } catch (...) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!first_error_) first_error_ = std::current_exception();
    failed_ = true;
  }
}

void UnitRun::mine(Worker& w, int unit) {
  const Clock::time_point start = Clock::now();
  w.unit = unit;
  if (work_.wanted(unit)) {
    Recorder& recorder = w.ws->recorder;
    recorder.itemset.len = ws_.recorder.itemset.len;  // each unit starts from the run's itemset
    work_.mine(w.index, unit);
    recorder.flush();
    if (!work_.streams()) work_.finish(unit, w.records);
  }
  if (times_ != nullptr) times_->mine[static_cast<std::size_t>(unit)] = seconds_since(start);
  ++finished_;
  report();
  if (!work_.streams()) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (!w.records.empty()) kept(unit).records.swap(w.records);
      done_[static_cast<std::size_t>(unit)] = 1;
    }
    w.records.clear();
    commit_ready();
    return;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  done_[static_cast<std::size_t>(unit)] = 1;
  // The units that follow a finished head come to the head in turn: what
  // they kept goes out before what they write next.
  if (!writing_) write_ready(lock);
}

void UnitRun::deliver(int worker, std::span<const int> records) {
  Worker& w = *workers_[static_cast<std::size_t>(worker)];
  // Once another worker has failed, this one's unit is of no use: it ends
  // at its next hand-off instead of mining on (a unit may take minutes).
  if (failed_) throw RunFailedElsewhere{};
  report();
  if (!work_.streams()) {
    w.records.insert(w.records.end(), records.begin(), records.end());
    return;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  if (failed_) throw RunFailedElsewhere{};
  if (w.unit != head_ || writing_) {
    keep(w, records);  // the writer takes them in their turn
    return;
  }
  // The head's own records, with nothing of its kept (a writer leaves none):
  // out at once, and then whatever became ready meanwhile.
  writing_ = true;
  unlocked(lock, [&] { pass_on(records); });
  write_ready(lock);
}

// Holding the writer's turn, under the lock: does `write` without the lock,
// so that the other workers keep mining and keeping meanwhile.
template <class Write>
void UnitRun::unlocked(std::unique_lock<std::mutex>& lock, Write&& write) {
  lock.unlock();
  try {
    write();
  } catch (...) {
    lock.lock();
    writing_ = false;
    throw;
  }
  lock.lock();
}

// Under the lock, taking the writer's turn: writes out what the head unit
// kept and moves the head past finished units, until the head is a unit
// still being mined with nothing kept; then gives the turn back. Every
// record kept or unit finished meanwhile is seen here, as both happen under
// the lock and only while another thread has the turn, or before this one
// looks again.
void UnitRun::write_ready(std::unique_lock<std::mutex>& lock) {
  writing_ = true;
  std::vector<int> back;
  while (head_ < units_ && !failed_) {
    Kept* k = kept_[static_cast<std::size_t>(head_)];
    if (k != nullptr && !k->extents.empty()) {
      const Spill::Extent e = k->extents.front();
      k->extents.erase(k->extents.begin());
      const Spill* spill = k->spill;
      unlocked(lock, [&] {
        spill->read(e, back);  // its worker may append beyond it meanwhile
        pass_on(back);
      });
    } else if (k != nullptr && !k->records.empty()) {
      std::vector<int> records;
      records.swap(k->records);
      kept_bytes_ -= records.size() * sizeof(int);
      unlocked(lock, [&] { pass_on(records); });
    } else if (done_[static_cast<std::size_t>(head_)] != 0) {
      forget(head_);
      if (++head_ < units_) {
        // A sink that sends tells the units apart.
        const int next = head_;
        unlocked(lock, [&] { ws_.recorder.begin_unit(next); });
      }
    } else {
      break;
    }
  }
  writing_ = false;
}

// Under the lock: the records of a unit not in turn, in memory while the
// run's kept records stay within the bound, else in the worker's file.
void UnitRun::keep(Worker& w, std::span<const int> records) {
  Kept& k = kept(w.unit);
  if (kept_bytes_ + records.size_bytes() > ws_.settings.tuning.kept_records_bytes) {
    // What the unit holds in memory goes first, so that the order stays.
    Spill::Extent held{}, extent{};
    if (k.records.empty() || w.spill.write(k.records, held)) {
      if (!k.records.empty()) {
        k.extents.push_back(held);
        kept_bytes_ -= k.records.size() * sizeof(int);
        std::vector<int>().swap(k.records);
      }
      if (w.spill.write(records, extent)) {
        k.extents.push_back(extent);
        k.spill = &w.spill;
        return;
      }
    }
  }
  k.records.insert(k.records.end(), records.begin(), records.end());
  kept_bytes_ += records.size_bytes();
}

// Commits every kept unit whose turn has come, in order. One thread
// commits at a time; a thread that finds another committing leaves its
// unit to it and goes back to mining.
void UnitRun::commit_ready() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (committing_) return;
  committing_ = true;
  while (head_ < units_ && done_[static_cast<std::size_t>(head_)] != 0 && !failed_) {
    const int unit = head_;
    std::vector<int> records;
    if (Kept* k = kept_[static_cast<std::size_t>(unit)]) records.swap(k->records);
    forget(unit);
    lock.unlock();
    const Clock::time_point start = Clock::now();
    try {
      ws_.recorder.begin_unit(unit);
      if (work_.wanted(unit)) {
        work_.commit(unit, records, ws_.recorder);
        long long n = 0;  // what the commit handed on is left in `records`
        for_each_record(records, [&n](const int*, int, int) { ++n; });
        handed_on_.fetch_add(n, std::memory_order_relaxed);
      }
    } catch (...) {
      lock.lock();
      committing_ = false;
      throw;
    }
    if (times_ != nullptr) times_->commit[static_cast<std::size_t>(unit)] = seconds_since(start);
    lock.lock();
    ++head_;
  }
  committing_ = false;
}

}  // namespace

void run_units(UnitWork& work, Workspace& ws, int threads, UnitTimes* times) {
  ws.recorder.flush();  // what the run recorded before the units comes first
  UnitRun run(work, ws, times);
  run.add_workers(std::max(1, std::min(threads, work.units())));
  if (work.streams() && work.units() > 0) ws.recorder.begin_unit(0);  // the first unit writes through
  run.run();
}

}  // namespace zub
