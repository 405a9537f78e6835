// Lists the frequent itemsets of a transaction file through zub's C++ API.
//
//   list_itemsets <infile> <minsup> [maximal|closed|all]
//
// <minsup> is a count of transactions ("8") or, with a decimal point, a
// share of them ("0.2"). Each itemset is printed as zub prints it, its ids
// (here in ascending order) each followed by a blank, then (support); a
// summary follows on standard error.
#include <zub/zub.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: list_itemsets <infile> <minsup> [maximal|closed|all]\n");
    return 1;
  }
  const std::string target_name = argc == 4 ? argv[3] : "maximal";
  zub::Target target = zub::Target::maximal;
  if (target_name == "closed") {
    target = zub::Target::closed;
  } else if (target_name == "all") {
    target = zub::Target::all;
  } else if (target_name != "maximal") {
    std::fprintf(stderr, "list_itemsets: no target \"%s\"\n", target_name.c_str());
    return 1;
  }
  const char* text = argv[2];
  const char* const end = text + std::strlen(text);
  try {
    zub::Support minsup = zub::Support::count(0);
    if (std::strchr(text, '.') != nullptr) {
      double share = 0;
      if (std::from_chars(text, end, share).ptr != end) throw zub::Error(zub::Error::Kind::argument, "bad share");
      minsup = zub::Support::fraction(share);
    } else {
      int count = 0;
      if (std::from_chars(text, end, count).ptr != end) throw zub::Error(zub::Error::Kind::argument, "bad count");
      minsup = zub::Support::count(count);
    }
    const zub::Summary summary = zub::mine_file(argv[1], target, minsup, [](std::span<const int> items, int support) {
      for (int item : items) std::printf("%d ", item);
      std::printf("(%d)\n", support);
    });
    std::fprintf(stderr, "%lld itemsets; %d transactions, minimum support %d, %d frequent items\n",
                 summary.itemsets, summary.transactions, summary.min_support, summary.frequent_items);
  } catch (const zub::Error& e) {
    std::fprintf(stderr, "list_itemsets: %s\n", e.what());
    return e.kind() == zub::Error::Kind::argument ? 1 : 2;
  }
  return std::fflush(stdout) == 0 ? 0 : 2;
}
