#include "trees/cfi_tree.h"

#include <cassert>
#include <memory>

#include "trees/fi_tree.h"
#include "trees/sort.h"
#include "trees/subset_check.h"

namespace zub {

void CFI_tree::init(memory* pool_, FI_tree* tree, CFI_tree* parent, CnodeRef chain, int stack_pos_) {
  scratch = &tree->scratch();
  item_pos = tree->item_positions();
  pos_item = tree->items_by_position();
  num_items = tree->num_items();
  pool = pool_;
  stack_pos = stack_pos_;
  keys.init(scratch->frequent, scratch->settings.tuning.node_item_bits);
  nodes.init(pool);
  late.init(pool);
  [[maybe_unused]] const CnodeRef r = nodes.make();
  assert(r == root);
  nodes.at(root)->init(kNoCnode, keys.root(), 0);
  heads = pool->take<CnodeRef>(num_items);
  for (int p = 0; p < num_items; ++p) heads[p] = kNoCnode;
  if (parent == nullptr || chain == kNoCnode) return;

  // Every position of this tree lies below the chain item's parent position.
  const int chain_item = parent->item_of(*parent->node(chain));
  std::unique_ptr<bool[]> origin(new bool[static_cast<std::size_t>(parent->item_pos[chain_item])]());
  for (const Cnode* node = parent->node(chain); node != nullptr; node = parent->get(node->link)) {
    int found = 0;
    for (const Cnode* a = parent->up(node); !is_root(a); a = parent->up(a)) {
      const int q = item_pos[parent->item_of(*a)];
      if (q != -1) {
        origin[q] = true;
        ++found;
      }
    }
    if (found == 0) continue;
    record_flags(origin.get(), found, node->count);
  }
}

CnodeRef CFI_tree::descend(CnodeRef node, int item, int depth, int support, bool& appending) {
  if (appending) return append(node, kNoCnode, item, depth, support);
  CnodeRef last = kNoCnode;
  for (CnodeRef child = first_child(node); child != kNoCnode; child = nodes.at(child)->next_sibling) {
    Cnode* c = nodes.at(child);
    if (keys.is_item(c->key, item)) {
      if (support > c->count) c->count = support;
      return child;
    }
    last = child;
  }
  appending = true;
  return append(node, last, item, depth, support);
}

void CFI_tree::record_flags(bool* flags, int n, int support) {
  CnodeRef current = root;
  bool appending = false;
  int depth = 0;
  for (int p = 0; p < num_items && depth < n; ++p) {
    if (!flags[p]) continue;
    flags[p] = false;
    current = descend(current, pos_item[p], ++depth, support, appending);
  }
}

void CFI_tree::insert(const int* items, int from, int to, int count) {
  CnodeRef current = root;
  bool appending = false;
  int depth = 0;
  for (int k = from + 1; k < to; ++k) current = descend(current, items[k], ++depth, count, appending);
}

void CFI_tree::insert(bool* flags, int count, int n) {
  if (n > 0) record_flags(flags, n, count);
}

void CFI_tree::enter(const int* items, int k, int support) {
  bool* flags = scratch->flags.data();
  for (int j = 0; j < k; ++j) flags[item_pos[items[j]]] = true;
  record_flags(flags, k, support);
}

bool CFI_tree::is_subset(int support) const {
  return holds_stack(*this, scratch->itemset, stack_pos, [support](const Cnode& n) { return n.count >= support; });
}

void CFI_tree::order_FS(int* items, int from, int to) const {
  sort_by_key(items + from, to - from + 1, [this](int item) { return item_pos[item]; });
}

}  // namespace zub
