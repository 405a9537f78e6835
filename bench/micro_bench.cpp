// Micro benchmarks behind the figures of bench/run.sh: the reader's parse
// speed, the writer's lines per second and the pool's cost per node.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "trees/fnode.h"
#include "trees/mnode_store.h"
#include "trees/node_store.h"
#include "io/data.h"
#include "io/fsout.h"
#include "memory/memory.h"

namespace {

std::string data_file(const char* name) {
  const char* dir = std::getenv("ZUB_DATA_DIR");
  return std::string(dir != nullptr ? dir : ZUB_DATA_DIR) + "/" + name;
}

// Whole passes over a transaction file (the kernel's page cache keeps it in memory).
void BM_ReadFile(benchmark::State& state, const char* name) {
  const std::string path = data_file(name);
  if (!std::filesystem::exists(path)) {
    state.SkipWithError("dataset not present");
    return;
  }
  zub::Data data(path.c_str());
  zub::Transaction t(50);
  long items = 0;
  for (auto _ : state) {
    while (data.getNextTransaction(&t) != nullptr) items += t.length;
  }
  benchmark::DoNotOptimize(items);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(std::filesystem::file_size(path)));
}
BENCHMARK_CAPTURE(BM_ReadFile, retail, "retail.dat")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadFile, T10I4D100K, "T10I4D100K.dat")->Unit(benchmark::kMillisecond);

// The same from a stream over the file's bytes in memory: the parse without
// the read from the page cache.
void BM_ParseMemory(benchmark::State& state, const char* name) {
  const std::string path = data_file(name);
  if (!std::filesystem::exists(path)) {
    state.SkipWithError("dataset not present");
    return;
  }
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::FILE* stream = fmemopen(bytes.data(), bytes.size(), "r");
  if (stream == nullptr) {
    state.SkipWithError("fmemopen failed");
    return;
  }
  long items = 0;
  {
    zub::Data data(stream, name, zub::Data::Options{});
    zub::Transaction t(50);
    for (auto _ : state) {
      while (data.getNextTransaction(&t) != nullptr) items += t.length;
    }
  }
  std::fclose(stream);
  benchmark::DoNotOptimize(items);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}
BENCHMARK_CAPTURE(BM_ParseMemory, retail, "retail.dat")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ParseMemory, T10I4D100K, "T10I4D100K.dat")->Unit(benchmark::kMillisecond);

// Itemset lines of ten items into a file in /tmp.
void BM_WriteLines(benchmark::State& state) {
  const std::string path = (std::filesystem::temp_directory_path() / "zub-bench-out").string();
  int order[1000];
  for (int k = 0; k < 1000; ++k) order[k] = 1000 + 7 * k;
  int items[10];
  long lines = 0;
  {
    zub::FSout out(path.c_str());
    out.set_order(order);
    for (auto _ : state) {
      for (int k = 0; k < 10; ++k) items[k] = static_cast<int>((lines * 31 + k * 97) % 1000);
      out.write_itemset(10, items, static_cast<int>(lines % 5000));
      ++lines;
    }
    out.close();
  }
  std::filesystem::remove(path);
  state.SetItemsProcessed(lines);
}
BENCHMARK(BM_WriteLines);

// One node from `make` per iteration; every millionth, `roll_back` gives
// them all back, untimed.
template <class Make, class RollBack>
void time_nodes(benchmark::State& state, Make make, RollBack roll_back) {
  long n = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(make());
    if (++n == 1000000) {
      state.PauseTiming();
      roll_back();
      n = 0;
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations());
}

// A node-sized record from a fresh main pool.
void BM_PoolNode(benchmark::State& state) {
  zub::memory pool(1000, 0x80000, 0x100000, 2);
  const zub::PoolMark mark = zub::PoolMark::take(pool);
  time_nodes(state, [&] { return pool.take<zub::Fnode>(1); }, [&] { mark.roll_back(pool); });
}
BENCHMARK(BM_PoolNode);

// A tree node from the node store, looked up by its number (the slabs stay
// after a roll-back, as in a run).
void BM_StoreNode(benchmark::State& state) {
  zub::NodeStore store;
  const zub::NodeRef mark = store.mark();
  time_nodes(state, [&] { return store.at(store.make()); }, [&] { store.rollback(mark); });
}
BENCHMARK(BM_StoreNode);

// An MFI-tree node from its tree's store, drawing slabs from a pool as an
// MFI-tree's pool does; a fresh pool and store after each million.
void BM_MfiStoreNode(benchmark::State& state) {
  auto pool = std::make_unique<zub::memory>(250, 0x40000, 0x80000, 2);
  zub::MnodeStore store;
  store.init(pool.get());
  time_nodes(state, [&] { return store.at(store.make()); },
             [&] {
               pool = std::make_unique<zub::memory>(250, 0x40000, 0x80000, 2);
               store.init(pool.get());
             });
}
BENCHMARK(BM_MfiStoreNode);

}  // namespace

BENCHMARK_MAIN();
