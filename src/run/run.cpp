#include "run/run.h"

#include <algorithm>

#include "miners/absorbed_positions.h"
#include "miners/closure_miner.h"
#include "common/progress.h"
#include "common/run_error.h"
#include "trees/cfi_tree.h"
#include "trees/fi_tree.h"
#include "trees/mfi_tem.h"
#include "trees/mfi_tree.h"
#include "miners/miners.h"
#include "io/data.h"
#include "run/unit_forms.h"
#include "trees/range_passes.h"

namespace zub {

// The main tree and what it owns: its records and arrays, its nodes and its
// pair counts. Shared by the miners, which only read it.
struct MainTree {
  memory pool{kTreePoolBlocks, kTreePoolFirst, kTreePoolUnit, 2};
  NodeStore nodes;
  MainPairs pairs;
  FI_tree* tree = nullptr;
};

Run::Run(const RunRequest& request) : request_(request) {
  settings_.tuning = request.tuning;
  settings_.stop = request.stop;
}

Run::~Run() = default;

FI_tree& Run::main_tree() const { return *main_->tree; }

void Run::read(Data& data) {
  ByteSource source;
  ItemCounts counts = data.byte_source(source)
                          ? count_items_in_ranges(data, source, settings_.tuning, request_.threads,
                                                  {request_.progress, Progress::Phase::reading, 0}, request_.stop,
                                                  request_.read_times)
                          : count_items(data, request_.progress, request_.stop);
  settings_.transactions = counts.transactions;
  settings_.threshold = request_.min_support.resolve(counts.transactions);
  main_ = std::make_unique<MainTree>();
  FI_tree* tree = main_->pool.make<FI_tree>(settings_, nullptr, main_->pool, main_->nodes, -1, 0);
  tree->scan1_DB(counts, items_, main_->pairs);
  counts.dense.reset();  // the counts of every id go before the tree grows
  counts.large = IdTable();
  ws_ = std::make_unique<Workspace>(settings_, items_.frequent());
  ws_->recorder.start(nullptr, request_.lengths);
  tree->attach(ws_->trees);
  tree->scan2_DB(&data, items_, counts, request_.threads, request_.progress, request_.stop, request_.read_times);
  items_.position = {};  // only the passes look an id up (an entry per id up to the largest)
  items_.sparse = IdTable();
  main_->tree = tree;
  single_prefix_ = items_.frequent() > 0 ? tree->cal_single_prefix() : 0;
}

// Every node made so far is the main tree's. The links go first, so that
// they and the chain arrays are never held at once; the miners only climb
// the main tree and follow its chains.
void Run::finish_main_tree() {
  FI_tree& tree = *main_->tree;
  main_->nodes.drop_links_below(main_->nodes.mark());
  tree.make_chains();
  int width = 0;
  for (int p = 0; p < tree.num_items(); ++p) width = std::max(width, tree.chain(p).size);
  ws_->size_lookahead(width);
}

void Run::prepare_maximal(bool take_prefix) {
  FI_tree& tree = *main_->tree;
  stack& list = ws_->recorder.itemset;
  if (take_prefix && single_prefix_ > 0 && items_.frequent() <= ws_->recorder.lengths().max) {
    // The single prefix is in every itemset: it goes onto the stack for good.
    // Not under a length limit that the tree exceeds: a set of the limit's
    // length without some prefix item is maximal among the allowed ones.
    for (int k = 0; k < single_prefix_; ++k) list.items[list.len++] = tree.pos_item(k);
    tree.remove_single_prefix(single_prefix_);
  }
  result_pool_ = std::make_unique<memory>(kResultPoolBlocks, kResultPoolFirst, kResultPoolUnit, 2);
  root_mfi_ = result_pool_->take<MFI_tree>(1);
  root_mfi_->init_over(result_pool_.get(), &tree, list.len - 1, root_heads_, root_children_);
  list_ = std::make_unique<mfi_tem>();
  ws_->trees.mfi_list = list_.get();
  list_->init(&ws_->trees, result_pool_.get(), items_.frequent());
  ws_->recorder.open_mfi_trees();
  ws_->recorder.mfi_trees[static_cast<std::size_t>(list.len)] = root_mfi_;
}

void Run::prepare_closed() {
  FI_tree& tree = *main_->tree;
  result_pool_ = std::make_unique<memory>(kResultPoolBlocks, kResultPoolFirst, kResultPoolUnit, 2);
  root_cfi_ = result_pool_->take<CFI_tree>(1);
  root_cfi_->init(result_pool_.get(), &tree, nullptr, kNoCnode, -1);
  ws_->recorder.open_cfi_trees();
  ws_->recorder.cfi_trees[0] = root_cfi_;
}

void Run::prepare(bool take_prefix) { prepare_for(request_.target, take_prefix); }

void Run::prepare_for(MiningTarget target, bool take_prefix) {
  if (target == MiningTarget::maximal) prepare_maximal(take_prefix);
  if (target == MiningTarget::closed) prepare_closed();
  finish_main_tree();
}

// The closure miner reads the main tree's transactions and gives the tree
// back before it mines, unless a later pass needs it.
void Run::mine_closed_by_closure(bool keep_tree) {
  ClosedInput input = read_main_tree(*main_->tree, settings_.transactions, settings_.tuning.closed_rare_first);
  if (keep_tree) {
    restore_main_tree(*main_->tree);
  } else {
    ws_->progress_tree = nullptr;
    main_.reset();
  }
  zub::mine_closed_by_closure(std::move(input), *ws_, settings_.threshold, request_.threads, request_.unit_times);
}

RunReport Run::mine(ItemsetSink& out) { return mine(out, Pass{request_.target, request_.lengths, false}); }

RunReport Run::mine(ItemsetSink& out, const Pass& pass) {
  RunReport report;
  const int f = items_.frequent();
  Recorder& recorder = ws_->recorder;
  recorder.start(&out, pass.lengths, pass.stage);
  ws_->trees.counters = Counters{};
  FI_tree& tree = *main_->tree;
  ws_->progress = request_.progress;
  ws_->progress_tree = &tree;
  if (request_.progress != nullptr) {
    Workspace& ws = *ws_;
    ws.tell_progress = [&ws] {
      ws.progress->update(Progress::Phase::mining, ws.progress_done, ws.progress_total,
                          [&ws] { return ws.recorder.recorded(); });
    };
  }
  if (f > 0 && pass.target == MiningTarget::maximal && single_prefix_ == f && f <= pass.lengths.max) {
    // The tree is one path: all frequent items form the only maximal itemset.
    // Without child links its nodes are the numbers after the root.
    stack& list = ws_->recorder.itemset;
    list.len = 0;
    if (tree.child_links()) {
      for (NodeRef r = tree.links(tree.root_ref())->first_child; r != kNoNode; r = tree.links(r)->first_child)
        list.items[list.len++] = tree.node(r)->item;
    } else {
      for (; list.len < f; ++list.len) list.items[list.len] = tree.node(tree.root_ref() + 1 + list.len)->item;
    }
    recorder.found(list.items, f, tree.head(f - 1)->count);
    report.single_path = true;
  } else if (f > 0 && pass.target == MiningTarget::closed && request_.closed_method == ClosedMethod::closure) {
    report.items_mined = f;
    mine_closed_by_closure(pass.keeps_tree);
  } else if (f > 0) {
    mine_target(pass.target);
  }
  recorder.flush();
  if (main_ != nullptr) report.items_mined = tree.num_items();
  report.lengths = recorder.tally();
  for (long long n : report.lengths) report.itemsets += n;
  report.counters = ws_->trees.counters;
  return report;
}

// The one-thread walk of the main tree, passing over the positions that
// hold no maximal itemset of their own where no maximum length is set.
void Run::mine_maximal_walk(FI_tree& tree) {
  std::optional<AbsorbedPositions> absorbed;
  if (!ws_->recorder.lengths().limits_max()) absorbed.emplace(tree.num_items());
  AbsorbedPositions* marks = absorbed ? &*absorbed : nullptr;
  if (request_.method == MaximalMethod::projected)
    Mine_Max_Projected(*ws_, tree, *root_mfi_, marks);
  else
    Mine_Max(*ws_, tree, *root_mfi_, marks);
}

void Run::mine_target(MiningTarget target) {
  FI_tree& tree = *main_->tree;
  prepare_for(target, true);
  // On one thread the walk runs whole; on several (or timed) in units.
  const bool in_units = (request_.threads > 1 || request_.unit_times != nullptr) && tree.num_items() > 1;
  switch (target) {
    case MiningTarget::maximal:
      if (in_units)
        mine_maximal_in_units(*ws_, tree, *root_mfi_,
                              request_.method == MaximalMethod::projected ? MaximalLevel::projected
                                                                          : MaximalLevel::lookahead,
                              request_.threads, request_.unit_times);
      else
        mine_maximal_walk(tree);
      break;
    case MiningTarget::closed: Mine_Closed(*ws_, tree, *root_cfi_); break;
    case MiningTarget::all:
      if (in_units)
        FP_growth_in_units(*ws_, tree, request_.threads, request_.unit_times);
      else
        FP_growth(*ws_, tree);
      break;
  }
}

}  // namespace zub
