// zub on the public benchmark datasets, when they are present: the itemset
// counts agreed by independent miners, and each written itemset checked
// against the data itself (its support, and that no item can be added).
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>

#include "support/brute_force.h"
#include "support/test_support.h"

namespace zub {
namespace {

using Bits = std::vector<std::uint64_t>;

struct Tidsets {
  std::vector<Bits> by_item;
  std::size_t words = 0;
  explicit Tidsets(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::vector<std::vector<int>> rows;
    int largest = 0;
    while (std::getline(in, line)) {
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
  Bits cover(const std::vector<int>& items) const {
    Bits b(words, ~std::uint64_t(0));
    for (int x : items)
      for (std::size_t w = 0; w < words; ++w) b[w] &= by_item[x][w];
    return b;
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
  const std::string dir = test::data_dir();
  if (dir.empty()) GTEST_SKIP() << "benchmark datasets not present";
  const Cell cell = GetParam();
  const std::string path = dir + "/" + cell.file;
  test::TempDir work;
  auto r = test::run_program(test::zub_binary(), {path, std::to_string(cell.minsup), "out"}, work.path());
  ASSERT_EQ(r.status, 0) << r.out;
  int lines = 0;
  const test::Mined written = test::parse_itemsets(work.read("out"), &lines);
  EXPECT_EQ(lines, cell.maximal);
  EXPECT_NE(work.read("testfile.txt").find("\nMFI: " + std::to_string(cell.maximal) + "\n"), std::string::npos);

  const Tidsets data(path);
  const int items = static_cast<int>(data.by_item.size());
  for (const auto& [itemset, support] : written) {
    const Bits cover = data.cover(itemset);
    ASSERT_EQ(Tidsets::count(cover), support);
    ASSERT_GE(support, cell.minsup);
    for (int x = 0; x < items; ++x) {
      if (std::binary_search(itemset.begin(), itemset.end(), x)) continue;
      int joint = 0;
      for (std::size_t w = 0; w < data.words; ++w) joint += __builtin_popcountll(cover[w] & data.by_item[x][w]);
      ASSERT_LT(joint, cell.minsup) << "item " << x << " extends an itemset of support " << support;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Smaller, RealData,
                         ::testing::Values(Cell{"chess.dat", 2000, 2419}, Cell{"chess.dat", 1500, 16303},
                                           Cell{"mushroom.dat", 1000, 467}, Cell{"mushroom.dat", 500, 1234},
                                           Cell{"mushroom.dat", 100, 5776}),
                         [](const auto& info) {
                           std::string name = info.param.file;
                           name = name.substr(0, name.find('.'));
                           return name + "_" + std::to_string(info.param.minsup);
                         });

// zub-mine on the same data: the projected miner finds the maximal itemsets
// that the lookahead miner finds.
TEST(RealDataMiners, ProjectedFindsWhatLookaheadFinds) {
  const std::string dir = test::data_dir();
  if (dir.empty()) GTEST_SKIP() << "benchmark datasets not present";
  test::TempDir work;
  for (const Cell& cell : {Cell{"chess.dat", 2000, 2419}, Cell{"mushroom.dat", 500, 1234}}) {
    const std::string path = dir + "/" + cell.file, minsup = std::to_string(cell.minsup);
    auto projected = test::run_program(test::zub_mine_binary(), {"--method", "projected", path, minsup}, work.path());
    auto lookahead = test::run_program(test::zub_mine_binary(), {path, minsup}, work.path());
    ASSERT_EQ(projected.status + lookahead.status, 0) << projected.err << lookahead.err;
    int lines = 0;
    EXPECT_EQ(test::parse_itemsets(projected.out, &lines), test::parse_itemsets(lookahead.out)) << cell.file;
    EXPECT_EQ(lines, cell.maximal) << cell.file;
  }
}

// The file decompressed into a pipe gives what the file gives; the table's
// count of maximal itemsets holds for both.
TEST(RealDataMiners, CompressedPipeGivesWhatTheFileGives) {
  const std::string dir = test::data_dir();
  if (dir.empty()) GTEST_SKIP() << "benchmark datasets not present";
  test::TempDir work;
  const std::string path = dir + "/T10I4D100K.dat";
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
  const std::string dir = test::data_dir();
  if (dir.empty()) GTEST_SKIP() << "benchmark datasets not present";
  const std::string path = dir + "/chess.dat";
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
  const int items = static_cast<int>(data.by_item.size());
  for (int x = 0; x < items; ++x) {
    if (Tidsets::count(data.by_item[x]) < minsup) continue;
    ASSERT_TRUE(all.count({x})) << "item " << x;
  }
  for (const auto& [itemset, support] : all) {
    const Bits cover = data.cover(itemset);
    ASSERT_EQ(Tidsets::count(cover), support);
    for (int x = itemset.back() + 1; x < items; ++x) {
      int joint = 0;
      for (std::size_t w = 0; w < data.words; ++w) joint += __builtin_popcountll(cover[w] & data.by_item[x][w]);
      if (joint < minsup) continue;
      test::Itemset bigger = itemset;
      bigger.push_back(x);
      ASSERT_TRUE(all.count(bigger)) << "a frequent extension is missing";
    }
  }
  EXPECT_EQ(run({"--target", "closed"}), test::closed_of(all));
  EXPECT_EQ(run({"--method", "projected"}), test::maximal_of(all));
  EXPECT_EQ(run({}), test::maximal_of(all));
}

}  // namespace
}  // namespace zub
