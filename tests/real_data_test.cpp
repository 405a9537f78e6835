// zub and zub-mine on the public benchmark datasets, when they are present:
// the itemset counts agreed by independent miners, and each written itemset
// checked against the data itself (its support, and that no item can be
// added); the projected miner's itemsets against zub's.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>

#include "support/brute_force.h"
#include "support/test_support.h"

namespace zub {
namespace {

using Bits = std::vector<std::uint64_t>;

// The transactions of each item, as bit sets.
struct Tidsets {
  std::vector<Bits> by_item;
  std::size_t words = 0;
  explicit Tidsets(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::vector<int>> rows;
    int largest = 0;
    for (std::string line; std::getline(in, line);) {
      std::istringstream s(line);
      rows.emplace_back();
      for (int x; s >> x;) {
        rows.back().push_back(x);
        largest = std::max(largest, x);
      }
    }
    words = (rows.size() + 63) / 64;
    by_item.assign(largest + 1, Bits(words, 0));
    for (std::size_t t = 0; t < rows.size(); ++t)
      for (int x : rows[t]) by_item[x][t / 64] |= std::uint64_t(1) << (t % 64);
  }
  int items() const { return static_cast<int>(by_item.size()); }
  Bits cover(const std::vector<int>& items) const {
    Bits b(words, ~std::uint64_t(0));
    for (int x : items)
      for (std::size_t w = 0; w < words; ++w) b[w] &= by_item[x][w];
    return b;
  }
  // The support of the itemset of `cover` with the item x added.
  int joint(const Bits& cover, int x) const {
    int n = 0;
    for (std::size_t w = 0; w < words; ++w) n += __builtin_popcountll(cover[w] & by_item[x][w]);
    return n;
  }
  static int count(const Bits& b) {
    int n = 0;
    for (auto w : b) n += __builtin_popcountll(w);
    return n;
  }
};

struct Cell {
  const char* file;
  int minsup;
  int maximal;
};
void PrintTo(const Cell& cell, std::ostream* os) { *os << cell.file << " at " << cell.minsup; }

class RealData : public ::testing::TestWithParam<Cell> {};

TEST_P(RealData, CountsSupportsAndMaximality) {
  const Cell cell = GetParam();
  const std::string path = test::dataset(cell.file);
  if (path.empty()) GTEST_SKIP() << test::no_dataset(cell.file);
  test::TempDir work;
  auto r = test::run_program(test::zub_binary(), {path, std::to_string(cell.minsup), "out"}, work.path());
  ASSERT_EQ(r.status, 0) << r.out;
  int lines = 0;
  const test::Mined written = test::parse_itemsets(work.read("out"), &lines);
  EXPECT_EQ(lines, cell.maximal);
  EXPECT_NE(work.read("testfile.txt").find("\nMFI: " + std::to_string(cell.maximal) + "\n"), std::string::npos);
  // zub-mine's projected miner finds the same maximal itemsets.
  const auto projected = test::run_program(test::zub_mine_binary(),
                                           {"--method", "projected", path, std::to_string(cell.minsup)}, work.path());
  ASSERT_EQ(projected.status, 0) << projected.err;
  EXPECT_EQ(test::parse_itemsets(projected.out), written);

  const Tidsets data(path);
  for (const auto& [itemset, support] : written) {
    const Bits cover = data.cover(itemset);
    ASSERT_EQ(Tidsets::count(cover), support);
    ASSERT_GE(support, cell.minsup);
    for (int x = 0; x < data.items(); ++x)
      ASSERT_TRUE(std::binary_search(itemset.begin(), itemset.end(), x) || data.joint(cover, x) < cell.minsup)
          << "item " << x << " extends an itemset of support " << support;
  }
}

INSTANTIATE_TEST_SUITE_P(Smaller, RealData,
                         ::testing::Values(Cell{"chess.dat", 2000, 2419}, Cell{"chess.dat", 1500, 16303},
                                           Cell{"mushroom.dat", 1000, 467}, Cell{"mushroom.dat", 500, 1234},
                                           Cell{"mushroom.dat", 100, 5776}),
                         [](const auto& info) {
                           const std::string name = info.param.file;
                           return name.substr(0, name.find('.')) + "_" + std::to_string(info.param.minsup);
                         });

// The file decompressed into a pipe gives what the file gives; the count of
// maximal itemsets holds for both.
TEST(RealDataMiners, CompressedPipeGivesWhatTheFileGives) {
  const std::string path = test::dataset("T10I4D100K.dat");
  if (path.empty()) GTEST_SKIP() << test::no_dataset("T10I4D100K.dat");
  test::TempDir work;
  const auto file = test::run_program(test::zub_mine_binary(), {path, "20"}, work.path());
  const auto piped = test::run_program(
      "/bin/sh", {"-c", "gzip -c '" + path + "' > t.gz && gzip -dc t.gz | '" + test::zub_mine_binary() + "' - 20"},
      work.path());
  ASSERT_EQ(file.status + piped.status, 0) << file.err << piped.err;
  EXPECT_TRUE(file.out == piped.out) << "the outputs differ";
  int lines = 0;
  test::parse_itemsets(piped.out, &lines);
  EXPECT_EQ(lines, 50258);
  // zub-mine decompresses itself: the gzip file, and gzip data in a pipe.
  const auto packed = test::run_program(test::zub_mine_binary(), {"t.gz", "20"}, work.path());
  const auto packed_pipe = test::run_program(
      "/bin/sh", {"-c", "gzip -c '" + path + "' | '" + test::zub_mine_binary() + "' - 20"}, work.path());
  ASSERT_EQ(packed.status + packed_pipe.status, 0) << packed.err << packed_pipe.err;
  EXPECT_TRUE(file.out == packed.out) << "the outputs differ";
  EXPECT_TRUE(file.out == packed_pipe.out) << "the outputs differ";
}

// --target all checked against the data (each support, and every frequent
// one-item extension of a written itemset written too, which by induction is
// every frequent itemset); the closed and maximal itemsets written are then
// exactly those of that set.
TEST(RealDataMiners, AllClosedAndMaximalAgree) {
  const std::string path = test::dataset("chess.dat");
  if (path.empty()) GTEST_SKIP() << test::no_dataset("chess.dat");
  const int minsup = 2500;
  test::TempDir work;
  auto run = [&](std::vector<std::string> options) {
    options.insert(options.end(), {path, std::to_string(minsup)});
    auto r = test::run_program(test::zub_mine_binary(), options, work.path());
    EXPECT_EQ(r.status, 0) << r.err;
    return test::parse_itemsets(r.out);
  };
  const test::Mined all = run({"--target", "all"});
  EXPECT_EQ(all.size(), 11493u);
  const Tidsets data(path);
  for (int x = 0; x < data.items(); ++x)
    ASSERT_TRUE(Tidsets::count(data.by_item[x]) < minsup || all.count({x})) << "item " << x;
  for (const auto& [itemset, support] : all) {
    const Bits cover = data.cover(itemset);
    ASSERT_EQ(Tidsets::count(cover), support);
    for (int x = itemset.back() + 1; x < data.items(); ++x) {
      test::Itemset bigger = itemset;
      bigger.push_back(x);
      ASSERT_TRUE(data.joint(cover, x) < minsup || all.count(bigger)) << "a frequent extension is missing";
    }
  }
  EXPECT_EQ(run({"--target", "closed"}), test::closed_of(all));
  EXPECT_EQ(run({"--method", "projected"}), test::maximal_of(all));
  EXPECT_EQ(run({}), test::maximal_of(all));
}

}  // namespace
}  // namespace zub
