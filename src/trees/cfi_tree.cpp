#include "trees/cfi_tree.h"

#include <memory>

#include "trees/fi_tree.h"
#include "trees/sort.h"
#include "trees/subset_check.h"

namespace zub {

void CFI_tree::init(memory* pool_, FI_tree* tree, CFI_tree* parent, Cnode* chain, int stack_pos_) {
  scratch = &tree->scratch();
  item_pos = tree->item_positions();
  pos_item = tree->items_by_position();
  num_items = tree->num_items();
  pool = pool_;
  stack_pos = stack_pos_;
  root = pool->take<Cnode>(1);
  root->init(nullptr, -1, 0, 0);
  heads = pool->take<Cnode*>(num_items);
  for (int p = 0; p < num_items; ++p) heads[p] = nullptr;
  if (parent == nullptr || chain == nullptr) return;

  // Every position of this tree lies below the chain item's parent position.
  std::unique_ptr<bool[]> origin(new bool[static_cast<std::size_t>(parent->item_pos[chain->item])]());
  for (const Cnode* node = chain; node != nullptr; node = node->link) {
    int found = 0;
    for (const Cnode* a = node->parent; a != parent->root; a = a->parent) {
      const int q = item_pos[a->item];
      if (q != -1) {
        origin[q] = true;
        ++found;
      }
    }
    if (found == 0) continue;
    record_flags(origin.get(), found, node->count);
  }
}

Cnode* CFI_tree::descend(Cnode* node, int item, int depth, int support, bool& appending) {
  if (appending) return node->append(this, nullptr, item, depth, support);
  Cnode* last = nullptr;
  for (Cnode* child = node->first_child; child != nullptr; child = child->next_sibling) {
    if (child->item == item) {
      if (support > child->count) child->count = support;
      return child;
    }
    last = child;
  }
  appending = true;
  return node->append(this, last, item, depth, support);
}

void CFI_tree::record_flags(bool* flags, int n, int support) {
  Cnode* current = root;
  bool appending = false;
  int depth = 0;
  for (int p = 0; p < num_items && depth < n; ++p) {
    if (!flags[p]) continue;
    flags[p] = false;
    current = descend(current, pos_item[p], ++depth, support, appending);
  }
}

void CFI_tree::insert(const int* items, int from, int to, int count) {
  Cnode* current = root;
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
