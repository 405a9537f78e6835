// The developer dump of an FP-tree. Every node field is ten characters wide
// (items up to 3 digits, counts up to 4), so a node at level l starts in
// column 10 l and later siblings line up under the first.
#include "trees/fi_tree.h"

#include <vector>

namespace zub {

namespace {

// The child links the dump walks: a conditional tree's own, or for the main
// tree, which is built without them, links made from the parents. It is
// numbered depth first, so a parent's children come in ascending number and
// position. The nodes of a single prefix taken off stay behind; their items
// are gone.
class Children {
 public:
  explicit Children(const FI_tree& t) : tree_(t) {
    if (t.child_links()) return;
    const NodeRef end = t.store().mark();
    rebuilt_.assign(end - t.root_ref(), FnodeLinks{kNoNode, kNoNode});
    for (NodeRef r = end - 1; r > t.root_ref(); --r) {
      const Fnode* n = t.node(r);
      if (t.item_pos(n->item) < 0) continue;
      FnodeLinks& parent = rebuilt_[n->parent - t.root_ref()];
      rebuilt_[r - t.root_ref()].next_sibling = parent.first_child;
      parent.first_child = r;
    }
  }
  const FnodeLinks& of(NodeRef r) const {
    return tree_.child_links() ? *tree_.links(r) : rebuilt_[r - tree_.root_ref()];
  }

 private:
  const FI_tree& tree_;
  std::vector<FnodeLinks> rebuilt_;
};

void print_subtree(const FI_tree& t, const Children& children, NodeRef at, int level, std::FILE* stream) {
  std::fprintf(stream, "%3d(%4d) ", t.node(at)->item, t.node(at)->count);
  for (NodeRef r = children.of(at).first_child; r != kNoNode; r = children.of(r).next_sibling) {
    print_subtree(t, children, r, level + 1, stream);
    if (children.of(r).next_sibling != kNoNode) {
      std::fprintf(stream, "\n");
      for (int k = 0; k < level + 1; ++k) std::fprintf(stream, "--------- ");
    }
  }
}

}  // namespace

void print(const FI_tree& t, std::FILE* stream) {
  std::fprintf(stream, "\n\n---------------FP Tree------------\n\n");
  std::fprintf(stream, "Head table:\n");
  for (int p = 0; p < t.num_items_; ++p) {
    std::fprintf(stream, "%d(%d)\t", t.pos_item_[p], t.supports_[p]);
    std::fprintf(stream, "%2d(%2d) ", t.heads_[p].item, t.heads_[p].count);
    if (t.chain_begin_ != nullptr)
      for (const NodeRef r : t.chain(p)) std::fprintf(stream, "%2d(%2d) ", t.node(r)->item, t.node(r)->count);
    std::fprintf(stream, "\n");
  }
  if (t.pair_counts_ != nullptr) {
    std::fprintf(stream, "Array:\n     ");
    for (int col = 0; col <= t.num_items_ - 2; ++col) std::fprintf(stream, "%4d ", col);
    std::fprintf(stream, "\n");
    for (int r = 0; r < t.pair_rows_; ++r) {
      const int a = t.num_items_ - 1 - r;
      std::fprintf(stream, "%3d: ", a);
      for (int e = 0; e < a; ++e) std::fprintf(stream, "%4d ", t.pair_count(a - e - 1, a));
      std::fprintf(stream, "\n");
    }
  }
  std::fprintf(stream, "\nOrder table:\t");
  for (int i = 0; i < t.scratch_->frequent; ++i) std::fprintf(stream, "%d  ", t.item_pos_[i]);
  std::fprintf(stream, "\n\n");
  std::fprintf(stream, "%3d(%4d) ", t.root_->item, t.root_->count);
  const Children children(t);
  for (NodeRef r = children.of(t.root_ref_).first_child; r != kNoNode; r = children.of(r).next_sibling) {
    print_subtree(t, children, r, 1, stream);
    if (children.of(r).next_sibling != kNoNode) std::fprintf(stream, "\n--------- ");
  }
  std::fprintf(stream, "\n\n-----------End of FP Tree-------------\n\n");
}

}  // namespace zub
