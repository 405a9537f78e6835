// The developer dump of an FP-tree. Every node field is ten characters wide
// (items up to 3 digits, counts up to 4), so a node at level l starts in
// column 10 l and later siblings line up under the first.
#include "fp_tree/fi_tree.h"

namespace zub {

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
  if (!ctx->nodes.has_links(root_ref)) std::fprintf(stream, "(child links given back)");
  const NodeRef first = ctx->nodes.has_links(root_ref) ? links(root_ref)->first_child : kNoNode;
  for (NodeRef r = first; r != kNoNode; r = links(r)->next_sibling) {
    print_subtree(r, 1, stream);
    if (links(r)->next_sibling != kNoNode) std::fprintf(stream, "\n--------- ");
  }
  std::fprintf(stream, "\n\n-----------End of FP Tree-------------\n\n");
}

void FI_tree::print_subtree(NodeRef at, int level, std::FILE* stream) const {
  if (at == kNoNode) return;
  std::fprintf(stream, "%3d(%4d) ", node(at)->item, node(at)->count);
  for (NodeRef r = links(at)->first_child; r != kNoNode; r = links(r)->next_sibling) {
    print_subtree(r, level + 1, stream);
    if (links(r)->next_sibling != kNoNode) {
      std::fprintf(stream, "\n");
      for (int k = 0; k < level + 1; ++k) std::fprintf(stream, "--------- ");
    }
  }
}

}  // namespace zub
