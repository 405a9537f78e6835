#pragma once
// The miners. Each writes, through the recorder of the tree's workspace,
// every itemset of its target that extends the itemset on the stack within
// `tree`, and returns the position at which it found an itemset covering
// every lower one (0 when it mined them all; see level_loop.h). The stack
// and the result tree must be prepared as the run prepares them.
#include "miners/workspace.h"
#include "trees/fi_tree.h"

namespace zub {

class MFI_tree;
class CFI_tree;
class AbsorbedPositions;

// Maximal itemsets, with the first-MFI lookahead and head extension. On
// the main tree, `absorbed` (none under a maximum length) passes over the
// positions that hold no maximal itemset of their own.
int Mine_Max(Workspace& ws, FI_tree& tree, MFI_tree& mfi, AbsorbedPositions* absorbed = nullptr);
// Maximal itemsets without them; each level's MFI-tree is projected from its
// parent level's.
int Mine_Max_Projected(Workspace& ws, FI_tree& tree, MFI_tree& mfi, AbsorbedPositions* absorbed = nullptr);
// Position i of the walk alone, as each of them mines it; true when an
// itemset found there holds every lower position (nothing below is new).
bool Mine_Max_Position(Workspace& ws, FI_tree& tree, MFI_tree& mfi, int i, AbsorbedPositions* absorbed = nullptr);
bool Mine_Max_Projected_Position(Workspace& ws, FI_tree& tree, MFI_tree& mfi, int i,
                                 AbsorbedPositions* absorbed = nullptr);
// Closed itemsets (the stack made with supports), pruned by CFI-trees.
int Mine_Closed(Workspace& ws, FI_tree& tree, CFI_tree& cfi);
// Every frequent itemset.
int FP_growth(Workspace& ws, FI_tree& tree);
// Position i of the walk alone: the itemsets whose least frequent item is i's.
void FP_growth_position(Workspace& ws, FI_tree& tree, int i);
// Records itemset[0..prefix) followed by each choice of source[0..n-1],
// the empty one excepted, each with the support of its last item in
// `tree`; only those of at most `most` items past the prefix. The choices
// are written into `itemset` past the prefix (room for n more items), in
// the order of a binary counter whose lowest digit is source[n-1].
void powerset(Recorder& out, const FI_tree& tree, int* itemset, int prefix, const int* source, int n,
              int most = LengthLimits::kNone);
// Writes every non-empty subset of the n entries just above the stack's top.
void generate_all(Workspace& ws, const FI_tree& tree, int n);

// The first-MFI lookahead: a greedy maximal extension of hd's item read off
// its nodes; pushes the extension items (ascending) and then the item,
// returns their number and leaves their support. first_mfi tries every
// lower position, first_mfi_2 only those frequent with the item (from its
// chain, or from the chain already loaded), first_mfi_3 intersects the node
// lists of the given items; its `lists` (one of max_width entries per item)
// and `lengths` are the caller's.
int first_mfi(Workspace& ws, FI_tree& tree, Fnode* hd, int& support);
int first_mfi_2(Workspace& ws, FI_tree& tree, Fnode* hd, int& support);
int first_mfi(Workspace& ws, FI_tree& tree, const Fnode* hd, Fnode* const* chain, int n, int& support);
int first_mfi_2(Workspace& ws, FI_tree& tree, const Fnode* hd, Fnode* const* chain, int n, int& support);
int first_mfi_3(Workspace& ws, FI_tree& tree, Fnode* hd, int& support, int* items, int n, int* rank, int* keys, int* result,
                int** lists, int* lengths);

// Head extension: when the best recorded itemset holding the head item misses
// exactly one tail item, every new maximal itemset under the head holds that
// item, so it moves from the tail onto the stack, and so on while that
// holds. The tail and the head's nodes (those whose paths hold every pushed
// item) are narrowed in place.
struct HeadExtension {
  enum class Outcome {
    tail,        // tail_length items are left in the tail
    infrequent,  // the pushed items are not frequent together: nothing new
    covered,     // a recorded itemset holds everything left: nothing new
  };
  int pushed = 0;
  Outcome outcome = Outcome::tail;
  int tail_length = 0;
};
HeadExtension head_increase(Workspace& ws, FI_tree& tree, int* tail, int tail_length, Fnode** nodes, int& node_count);

}  // namespace zub
