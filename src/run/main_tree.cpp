#include "run/main_tree.h"

#include "fp_tree/fi_tree.h"
#include "io/data.h"
#include "io/fsout.h"

namespace zub {

MainTree build_main_tree(Context& ctx, Data& data) {
  ctx.fp_buf = std::make_unique<memory>(1000, 0x80000, 0x100000, 2);
  ctx.nodes.clear();
  MainTree result;
  FI_tree* tree = ctx.fp_buf->take<FI_tree>(1);
  tree->init(&ctx, -1, 0);
  tree->scan1_DB(&data);

  const int f = tree->num_items;
  ctx.ITlen.assign(f, 0);
  ctx.bran.assign(f, 0);
  ctx.compact.assign(f, 0);
  ctx.prefix.assign(f, 0);
  ctx.width.assign(f, 0);
  // One slot more than an itemset can have: the first-MFI lookahead pushes the
  // head item a second time on top of a possibly full itemset.
  ctx.list = std::make_unique<stack>(f + 1, false);

  tree->scan2_DB(&data);
  result.tree = tree;
  result.frequent = f;
  result.single_prefix = f > 0 ? tree->cal_single_prefix() : 0;
  return result;
}

void write_single_path(Context& ctx, const MainTree& main, FSout* out) {
  stack& list = *ctx.list;
  int walked = 0;
  const FI_tree& tree = *main.tree;
  // One path: without child links its nodes are the numbers after the root.
  if (tree.child_links) {
    for (NodeRef r = tree.links(tree.root_ref)->first_child; r != kNoNode; r = tree.links(r)->first_child)
      list.items[walked++] = tree.node(r)->item;
  } else {
    for (; walked < main.frequent; ++walked) list.items[walked] = tree.node(tree.root_ref + 1 + walked)->item;
  }
  if (out != nullptr) out->write_itemset(main.frequent, list.items, main.tree->heads[main.frequent - 1]->count);
  ctx.ITlen[walked - 1] = 1;
}

}  // namespace zub
