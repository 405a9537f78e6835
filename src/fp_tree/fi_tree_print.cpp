// The developer dump of an FP-tree. Every node field is ten characters wide
// (items up to 3 digits, counts up to 4), so a node at level l starts in
// column 10 l and later siblings line up under the first.
#include "fp_tree/fi_tree.h"

#include <vector>

namespace zub {

namespace {

// The child links the dump walks: the tree's own, or for a tree built
// without them, links made from the parents. Such a tree is numbered depth
// first, so a parent's children come in ascending number and position. The
// nodes of a single prefix taken off stay behind; their items are gone.
class Children {
 public:
  explicit Children(const FI_tree& t) : tree_(t) {
    if (t.child_links) return;
    const NodeRef end = t.ctx->nodes.mark();
    rebuilt_.assign(end - t.root_ref, FnodeLinks{kNoNode, kNoNode});
    for (NodeRef r = end - 1; r > t.root_ref; --r) {
      const Fnode* n = t.node(r);
      if (t.item_pos[n->item] < 0) continue;
      FnodeLinks& parent = rebuilt_[n->parent - t.root_ref];
      rebuilt_[r - t.root_ref].next_sibling = parent.first_child;
      parent.first_child = r;
    }
  }
  const FnodeLinks& of(NodeRef r) const { return tree_.child_links ? *tree_.links(r) : rebuilt_[r - tree_.root_ref]; }

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

void FI_tree::print(std::FILE* stream) const {
  std::fprintf(stream, "\n\n---------------FP Tree------------\n\n");
  std::fprintf(stream, "Head table:\n");
  for (int p = 0; p < num_items; ++p) {
    std::fprintf(stream, "%d(%d)\t", pos_item[p], supports[p]);
    std::fprintf(stream, "%2d(%2d) ", heads[p]->item, heads[p]->count);
    if (chain_begin != nullptr)
      for (const NodeRef r : chain(p)) std::fprintf(stream, "%2d(%2d) ", node(r)->item, node(r)->count);
    std::fprintf(stream, "\n");
  }
  if (pair_counts != nullptr) {
    std::fprintf(stream, "Array:\n     ");
    for (int col = 0; col <= num_items - 2; ++col) std::fprintf(stream, "%4d ", col);
    std::fprintf(stream, "\n");
    for (int r = 0; r < pair_rows; ++r) {
      const int a = num_items - 1 - r;
      std::fprintf(stream, "%3d: ", a);
      for (int e = 0; e < a; ++e) std::fprintf(stream, "%4d ", pair_count(a - e - 1, a));
      std::fprintf(stream, "\n");
    }
  }
  std::fprintf(stream, "\nOrder table:\t");
  for (int i = 0; i < ctx->ITEM_NO; ++i) std::fprintf(stream, "%d  ", item_pos[i]);
  std::fprintf(stream, "\n\n");
  std::fprintf(stream, "%3d(%4d) ", root->item, root->count);
  // Links are given back from the first slab on, so the root's tell.
  if (child_links && !ctx->nodes.has_links(root_ref)) {
    std::fprintf(stream, "(child links given back)");
  } else {
    const Children children(*this);
    for (NodeRef r = children.of(root_ref).first_child; r != kNoNode; r = children.of(r).next_sibling) {
      print_subtree(*this, children, r, 1, stream);
      if (children.of(r).next_sibling != kNoNode) std::fprintf(stream, "\n--------- ");
    }
  }
  std::fprintf(stream, "\n\n-----------End of FP Tree-------------\n\n");
}

}  // namespace zub
