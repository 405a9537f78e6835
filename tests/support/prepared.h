#pragma once
// A main tree built from database text, with the miners' state prepared as
// the driver prepares it, for tests that call single mining operations.
#include <memory>
#include <string>
#include <vector>

#include "run/main_tree.h"
#include "run/mining_run.h"
#include "fp_tree/fi_tree.h"
#include "fp_tree/mfi_tem.h"
#include "fp_tree/mfi_tree.h"
#include "io/data.h"
#include "io/fsout.h"
#include "support/test_support.h"

namespace zub::test {

struct Prepared {
  std::unique_ptr<Context> ctx = std::make_unique<Context>();
  MainTree main;
  std::unique_ptr<MiningRun> run;

  // The maximal target removes the single prefix unless told not to; the
  // others never do. `sparse_pairs` keeps the main tree's pairs sparsely
  // however few items it has.
  Prepared(const std::string& content, int threshold, bool remove_prefix = true,
           MiningTarget target = MiningTarget::maximal, bool sparse_pairs = false) {
    TempDir dir;
    dir.write("db", content);
    ctx->THRESHOLD = threshold;
    if (sparse_pairs) ctx->dense_pair_cells = 0;
    Data data(dir.file("db").c_str());
    main = build_main_tree(*ctx, data);
    const bool prefix = remove_prefix && target == MiningTarget::maximal;
    run = std::make_unique<MiningRun>(*ctx, main.tree, prefix ? main.single_prefix : 0, target);
  }
  Prepared(const std::string& content, int threshold, MiningTarget target)
      : Prepared(content, threshold, false, target) {}
  FI_tree& tree() const { return *main.tree; }
  stack& list() const { return *ctx->list; }
  mfi_tem& tem() const { return *ctx->LMFITEM; }
  MFI_tree& root_mfi() const { return *run->root_mfi(); }
  std::vector<int> stack_items() const { return std::vector<int>(list().items, list().items + list().len); }
  // The file id of each item of a stack-like array.
  std::vector<int> file_ids(const std::vector<int>& items) const {
    std::vector<int> ids;
    for (int x : items) ids.push_back(ctx->order_item[x]);
    return ids;
  }
};

// A writer on a temporary file, and what it (or a dump into the file) wrote.
struct Capture {
  std::FILE* file = std::tmpfile();
  FSout out{file, "capture"};
  explicit Capture(const Context& ctx) { out.set_order(ctx.order_item.data()); }
  ~Capture() { std::fclose(file); }
  std::string text() {
    out.flush();
    std::fflush(file);
    std::rewind(file);
    std::string s;
    for (int c; (c = std::fgetc(file)) != EOF;) s += static_cast<char>(c);
    std::fseek(file, 0, SEEK_END);  // later writes follow what was read
    return s;
  }
};

// The items of entry j of the temporary list, from its node up to the root.
inline std::vector<int> path_items(const mfi_tem& tem, int j) {
  std::vector<int> items;
  tem.for_each_item(j, [&](int item) { items.push_back(item); });
  return items;
}

}  // namespace zub::test
