#pragma once
// A run read from database text, for tests that call single mining
// operations on its main tree with its workspace, and what those tests share.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver/driver.h"
#include "trees/fi_tree.h"
#include "trees/mfi_tem.h"
#include "trees/mfi_tree.h"
#include "io/callback_sink.h"
#include "io/data.h"
#include "io/fsout.h"
#include "io/sink.h"
#include "run/run.h"
#include "support/brute_force.h"
#include "support/test_support.h"

namespace zub::test {

inline RunRequest request(int threshold, MiningTarget target = MiningTarget::maximal, Tuning tuning = {}) {
  RunRequest req;
  req.min_support.count = threshold;
  req.target = target;
  req.tuning = tuning;
  return req;
}

struct Prepared {
  std::unique_ptr<Run> run;
  DiscardSink discard;  // where the miners write unless a test captures them

  // Reads the text. With `prepare` the miners' state is readied as Run::mine
  // readies it (the single prefix taken only when asked), otherwise the main
  // tree keeps its child links and gets its chains.
  Prepared(const std::string& content, const RunRequest& req, bool prepare = true, bool take_prefix = false)
      : run(std::make_unique<Run>(req)) {
    TempDir dir;
    dir.write("db", content);
    Data data(dir.file("db").c_str());
    run->read(data);
    ws().recorder.start(&discard, req.lengths);
    if (!prepare) tree().make_chains();
    if (prepare && run->frequent() > 0) run->prepare(take_prefix);
  }
  FI_tree& tree() const { return run->main_tree(); }
  Workspace& ws() const { return run->workspace(); }
  stack& list() const { return ws().recorder.itemset; }
  mfi_tem& tem() const { return *ws().trees.mfi_list; }
  MFI_tree& root_mfi() const { return *run->root_mfi(); }
  // The file ids of main-tree items, sorted.
  Itemset ids(const std::vector<int>& items) const {
    Itemset out;
    for (int x : items) out.push_back(run->items().file_id[static_cast<std::size_t>(x)]);
    std::sort(out.begin(), out.end());
    return out;
  }
};

// What a read `run` mines, each itemset's file ids sorted; an itemset
// found twice fails the test. Its report goes to `report` when given.
inline Mined mine_all(Run& run, RunReport* report = nullptr) {
  Mined found;
  CallbackSink sink(
      [&](std::span<const int> ids, int support) {
        Itemset items(ids.begin(), ids.end());
        std::sort(items.begin(), items.end());
        EXPECT_TRUE(found.emplace(items, support).second) << "written twice";
      },
      run.items().file_id.data());
  const RunReport got = run.mine(sink);
  if (report) *report = got;
  return found;
}

// A writer on a temporary file that maps items through the run's item map.
struct Capture {
  std::FILE* file = std::tmpfile();
  FSout out{file, "capture"};
  explicit Capture(const Run& run) { out.set_order(run.items().file_id.data()); }
  ~Capture() { std::fclose(file); }
  std::string text() {
    out.flush();
    return read_all(file);
  }
};

// Runs zub in-process inside `dir` with `args`; its status, and what it printed.
inline int run_zub_in(const TempDir& dir, std::vector<std::string> args, std::string* printed = nullptr) {
  args.insert(args.begin(), "zub");
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  std::FILE* capture = std::tmpfile();
  const int status = zub_main(static_cast<int>(argv.size()), argv.data(), capture);
  std::filesystem::current_path(previous);
  if (printed != nullptr) *printed = read_all(capture);
  std::fclose(capture);
  return status;
}

// n items whose positions equal their ids: item k is in n - k transactions.
inline std::string nested_db(int n) {
  std::string text;
  for (int k = 0; k < n; ++k, text += "\n")
    for (int x = 0; x < n - k; ++x) text += std::to_string(x) + " ";
  return text;
}

inline std::string text_of(const Database& db) {
  std::string text;
  for (const auto& t : db) {
    for (int x : t) text += std::to_string(x) + " ";
    text += "\n";
  }
  return text;
}

// The transactions of `db` that hold every id of `items` (ascending).
inline int support_of(const Database& db, const Itemset& items) {
  return static_cast<int>(std::count_if(db.begin(), db.end(), [&](const Itemset& t) {
    return std::includes(t.begin(), t.end(), items.begin(), items.end());
  }));
}

}  // namespace zub::test
