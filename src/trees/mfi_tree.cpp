#include "trees/mfi_tree.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <vector>

#include "trees/fi_tree.h"
#include "trees/hub_index.h"
#include "trees/mfi_tem.h"
#include "trees/sort.h"
#include "trees/subset_check.h"

namespace zub {

void MFI_tree::describe(memory* pool_, FI_tree* tree, int stack_pos_) {
  scratch = &tree->scratch();
  pool = pool_;
  stack_pos = stack_pos_;
  num_items = tree->num_items();
  item_pos = tree->item_positions();
  pos_item = tree->items_by_position();
  keys.init(scratch->frequent, scratch->settings.tuning.node_item_bits);
}

void MFI_tree::init_over(memory* pool_, FI_tree* tree, int stack_pos_, ZeroedArray<MnodeRef>& heads_,
                         ZeroedArray<MnodeRef>& root_children_) {
  static_assert(kNoMnode == 0);
  describe(pool_, tree, stack_pos_);
  heads_ = ZeroedArray<MnodeRef>(static_cast<std::size_t>(num_items));
  root_children_ = ZeroedArray<MnodeRef>(static_cast<std::size_t>(num_items));
  heads = heads_.data();
  root_children = root_children_.data();
  restart(pool_);
}

void MFI_tree::make_empty(memory* pool_, FI_tree* tree, int stack_pos_) {
  describe(pool_, tree, stack_pos_);
  heads = pool->take<MnodeRef>(num_items);
  root_children = pool->take<MnodeRef>(num_items);
  for (int p = 0; p < num_items; ++p) heads[p] = root_children[p] = kNoMnode;
  restart(pool_);
}

void MFI_tree::restart(memory* pool_) {
  pool = pool_;
  nodes.init(pool);
  late.init(pool);
  const MnodeRef r = nodes.make();
  assert(r == root);
  nodes.at(r)->init(kNoMnode, keys.root());
  root_last_child = kNoMnode;
  hubs = nullptr;
}

void MFI_tree::clear_entries() {
  for (MnodeRef r = root + 1; r <= nodes.size(); ++r) {
    const Mnode* n = nodes.at(r);
    const int p = item_pos[item_of(*n)];
    heads[p] = kNoMnode;
    if (n->parent == root) root_children[p] = kNoMnode;
  }
}

namespace {

void sort_positions(int* positions, int k) {
  sort_by_key(positions, k, [](int p) { return p; });
}

}  // namespace

void MFI_tree::add_path_of(const MFI_tree& owner, MnodeRef r, int most) {
  // The items above r that are items of this tree, at most `most` of them.
  int* positions = scratch->entry_positions.data();
  int n = 0;
  owner.for_each_item_above(owner.node(r), [&](int item) {
    const int q = item_pos[item];
    if (q != -1) positions[n++] = q;
  });
  sort_positions(positions, n);
  add_positions(positions, std::min(n, most));
}

void MFI_tree::add_positions(const int* positions, int k) {
  if (k == 0) return;
  // The root's children are looked up by position; deeper lists are short.
  MnodeRef current = root_children[positions[0]];
  if (current == kNoMnode) {
    current = append(root, root_last_child, pos_item[positions[0]], 1);
    root_children[positions[0]] = root_last_child = current;
    for (int j = 1; j < k; ++j) current = append(current, kNoMnode, pos_item[positions[j]], j + 1);
    return;
  }
  for (int j = 1; j < k; ++j) {
    const int item = pos_item[positions[j]];
    HubIndex::Hub* hub = hubs != nullptr ? hubs->hub_of(current) : nullptr;
    // The first child stays first; the others stand behind it in item order,
    // so a walk ends at the first larger item, until the node becomes a hub.
    const MnodeRef first = first_child(current);
    MnodeRef prev = first;  // a new child goes behind it: a hub's right behind the first
    MnodeRef child = first;
    if (first != kNoMnode && !keys.is_item(nodes.at(first)->key, item)) {
      if (hub != nullptr) {
        MnodeRef before;
        child = HubIndex::find(*hub, item, &before);
      } else {
        int walked = 0;
        child = nodes.at(first)->next_sibling;
        while (child != kNoMnode) {
          const Mnode* c = nodes.at(child);
          const int at = item_of(*c);
          if (at >= item) {
            if (at != item) child = kNoMnode;
            break;
          }
          prev = child;
          child = c->next_sibling;
          ++walked;
        }
        if (walked > HubIndex::kLongWalk) hub = make_hub(current, first);
      }
    }
    if (child != kNoMnode) {
      current = child;
      continue;
    }
    current = append(current, prev, item, j + 1);
    if (hub != nullptr) HubIndex::add_child(*pool, *hub, item, current);
    for (++j; j < k; ++j) current = append(current, kNoMnode, pos_item[positions[j]], j + 1);
    return;
  }
}

HubIndex::Hub* MFI_tree::make_hub(MnodeRef current, MnodeRef first) {
  if (hubs == nullptr) hubs = HubIndex::make(*pool);
  const int first_item = item_of(*nodes.at(first));
  return hubs->add_hub(*pool, current, [this, first, first_item](auto&& f) {
    // The others in item order, with the first put in its place.
    bool placed = false;
    for (MnodeRef c = nodes.at(first)->next_sibling; c != kNoMnode; c = nodes.at(c)->next_sibling) {
      const int at = item_of(*nodes.at(c));
      if (!placed && first_item < at) {
        f(first_item, first);
        placed = true;
      }
      f(at, c);
    }
    if (!placed) f(first_item, first);
  });
}

void MFI_tree::add_items(const int* items, int k) {
  int* positions = scratch->entry_positions.data();
  for (int j = 0; j < k; ++j) {
    assert(item_pos[items[j]] >= 0);
    positions[j] = item_pos[items[j]];
  }
  sort_positions(positions, k);
  add_positions(positions, k);
}

void MFI_tree::init(memory* pool_, FI_tree* tree, MFI_tree* parent, MnodeRef start, int stack_pos_) {
  make_empty(pool_, tree, stack_pos_);
  if (parent == nullptr || start == kNoMnode) return;
  for (MnodeRef r = start; r != kNoMnode; r = parent->node(r)->link) add_path_of(*parent, r, INT_MAX);
}

void MFI_tree::init(memory* pool_, FI_tree* tree, int stack_pos_) {
  make_empty(pool_, tree, stack_pos_);
  insert();
}

void MFI_tree::add_paths_through(const MFI_tree& from, int item) {
  int* positions = scratch->entry_positions.data();
  for (MnodeRef r = from.heads[from.item_pos[item]]; r != kNoMnode; r = from.node(r)->link) {
    int n = 0;
    from.for_each_item_up(from.node(r), [&](int it) { positions[n++] = item_pos[it]; });
    sort_positions(positions, n);
    add_positions(positions, n);
  }
}

void MFI_tree::insert(bool* flags, int count) {
  int* positions = scratch->entry_positions.data();
  int k = 0;
  for (int p = 0; p < num_items && k < count; ++p) {
    if (!flags[p]) continue;
    flags[p] = false;
    positions[k++] = p;
  }
  add_positions(positions, k);
}

void MFI_tree::enter(const int* items, int k, int) { add_items(items, k); }

void MFI_tree::insert(const int* items, int first, int last) {
  // The items come in ascending position: their positions are the path.
  int* positions = scratch->entry_positions.data();
  int k = 0;
  for (int j = first + 1; j < last; ++j) positions[k++] = item_pos[items[j]];
  add_positions(positions, k);
}

void MFI_tree::insert() {
  const mfi_tem& list = *scratch->mfi_list;
  for (int k = list.count - 1; k >= 0; --k)
    if (list.has[k] != 0) add_path_of(*list.tree, list.entries[k], list.has[k]);
}

namespace {

// The shared walk of both list-building checks. `count_first` raises the
// subset-check counter before the empty-tail answer; `reset_on_hit` empties the
// list when the tail is found.
bool check_chain(MFI_tree& tree, int h, const int* tail, int tlen, bool count_first, bool reset_on_hit) {
  TreeScratch& scratch = *tree.scratch;
  mfi_tem& list = *scratch.mfi_list;
  list.tree = &tree;
  const MnodeRef first = tree.heads[tree.item_pos[h]];
  if (count_first) ++scratch.counters.subset_checks;
  if (tlen == 0 && first != kNoMnode) return true;
  if (!count_first) ++scratch.counters.subset_checks;
  bool* flags = list.flags.data();
  for (int k = 0; k < tlen; ++k) flags[tail[k]] = true;
  int j = 0;
  for (MnodeRef r = first; r != kNoMnode; ++j) {
    const Mnode* node = tree.node(r);
    list.entries[j] = r;
    r = node->link;
    int has = 0;
    tree.for_each_item_above(node, [&](int item) { has += flags[item]; });
    list.has[j] = has;
    if (has == tlen) {
      for (int k = 0; k < tlen; ++k) flags[tail[k]] = false;
      if (reset_on_hit) {
        for (int k = 0; k <= j; ++k) list.has[k] = 0;
        list.count = 0;
      }
      return true;
    }
    if (j + kListMargin > list.slots()) {
      list.resize(list.slots() + kListGrowth);
      for (int k = j + 1; k < list.slots(); ++k) {
        list.has[k] = 0;
        list.entries[k] = kNoMnode;
      }
    }
  }
  list.count = j;
  sort(list.has.data(), list.entries.data(), 0, j - 1);
  assert(list.slots() >= list.count && "MFI_NO>=LMFITEM->count");
  for (int k = 0; k < tlen; ++k) flags[tail[k]] = false;
  return false;
}

}  // namespace

bool MFI_tree::is_subset(int h, const int* tail, int tlen) {
  return check_chain(*this, h, tail, tlen, /*count_first=*/true, /*reset_on_hit=*/true);
}

bool MFI_tree::is_subset(const int* items, int first, int last) {
  return check_chain(*this, items[first], items + first + 1, last - first, /*count_first=*/false,
                     /*reset_on_hit=*/false);
}

bool MFI_tree::is_subset() {
  ++scratch->counters.subset_checks;
  return holds_stack(*this, scratch->itemset, stack_pos, [](const Mnode&) { return true; });
}

namespace {

void print_subtree(const MFI_tree& t, MnodeRef r, const std::vector<int>* file_id, std::FILE* stream) {
  if (r == kNoMnode) return;
  const Mnode* node = t.node(r);
  const int item = t.item_of(*node);
  if (MFI_tree::is_root(node))
    std::fprintf(stream, "%4d      ", -1);
  else
    std::fprintf(stream, "%4d(%2d)  ", file_id ? (*file_id)[item] : item, t.depth_of(*node));
  for (MnodeRef c = t.first_child(r); c != kNoMnode;) {
    const Mnode* child = t.node(c);
    print_subtree(t, c, file_id, stream);
    c = child->next_sibling;
    if (c != kNoMnode) {
      std::fprintf(stream, "\n");
      for (int k = 0; k < t.depth_of(*child); ++k) std::fprintf(stream, "  --      ");
    }
  }
}

}  // namespace

void MFI_tree::print(const std::vector<int>* file_id, std::FILE* stream) const {
  const stack& list = scratch->itemset;
  auto id = [&](int x) { return file_id ? (*file_id)[x] : x; };
  std::fprintf(stream, "\n\n-------------MFI Tree-------------\n\n");
  std::fprintf(stream, "Position: %d. Stack: ", stack_pos);
  for (int k = 0; k <= stack_pos; ++k) std::fprintf(stream, "%d ", id(list.items[k]));
  std::fprintf(stream, "\nHead table:\n");
  for (int k = 0; k < num_items; ++k) {
    std::fprintf(stream, "%d\t", file_id ? (*file_id)[k] : pos_item[k]);
    for (const Mnode* n = get(heads[k]); n != nullptr; n = get(n->link))
      std::fprintf(stream, "%2d(%2d) ", id(item_of(*n)), depth_of(*n));
    std::fprintf(stream, "\n");
  }
  std::fprintf(stream, "\nOrder table:\t");
  for (int k = 0; k < num_items; ++k) std::fprintf(stream, "%d  ", file_id ? (*file_id)[k] : item_pos[k]);
  std::fprintf(stream, "\n\n");
  print_subtree(*this, root, file_id, stream);
  std::fprintf(stream, "\n\n------------End of MFI-------------\n\n");
}

}  // namespace zub
