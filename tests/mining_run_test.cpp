// The mining run's set-up and the registry of open MFI-trees.
#include <gtest/gtest.h>

#include "support/brute_force.h"
#include "support/prepared.h"

namespace zub {
namespace {

using test::Prepared;

TEST(MiningRun, WithoutSinglePrefix) {
  Prepared p("1 2\n1 3\n2 3\n", 1);
  EXPECT_EQ(p.ctx->FIRST_TREE_POS, -1);
  EXPECT_EQ(p.ctx->mfitrees[0], &p.root_mfi());
  EXPECT_EQ(p.tree().mfi_tree, &p.root_mfi());
  EXPECT_EQ(p.list().len, 0);
  EXPECT_EQ(p.ctx->Max_Width, 2);
  EXPECT_EQ(p.ctx->MFI_NO, 5000);
  EXPECT_EQ(p.tem().count, 0);
}

const char* kTwoItemPrefix = "1 2 3 4\n1 2 3\n2 1 4 5\n1 2 5 3\n1 2\n2 1 6\n";

TEST(MiningRun, SinglePrefixGoesOntoTheStack) {
  Prepared p(kTwoItemPrefix, 1);
  EXPECT_EQ(p.main.single_prefix, 2);
  EXPECT_EQ(p.ctx->FIRST_TREE_POS, 1);
  EXPECT_EQ(p.ctx->mfitrees[2], &p.root_mfi());
  EXPECT_EQ(p.ctx->mfitrees[0], nullptr);
  EXPECT_EQ(p.file_ids(p.stack_items()), (std::vector<int>{1, 2}));
  EXPECT_EQ(p.tree().num_items, p.main.frequent - 2);

  p.tree().Mine_Max(nullptr);
  for (std::size_t slot = 0; slot < p.ctx->mfitrees.size(); ++slot)
    EXPECT_EQ(p.ctx->mfitrees[slot], slot == 2 ? &p.root_mfi() : nullptr) << slot;
  test::Database db{{1, 2, 3, 4}, {1, 2, 3}, {1, 2, 4, 5}, {1, 2, 3, 5}, {1, 2}, {1, 2, 6}};
  const test::Mined expected = test::brute_force_maximal(db, 1);
  EXPECT_EQ(p.root_mfi().mfi_count, static_cast<int>(expected.size()));
  for (std::size_t k = 0; k < p.ctx->supp.size(); ++k) EXPECT_EQ(p.ctx->current_fi[k], false);
}

TEST(MiningRun, EveryItemsetBeginsWithThePrefix) {
  test::TempDir dir;
  dir.write("db", kTwoItemPrefix);
  auto r = test::run_program(test::zub_binary(), {"db", "1", "out"}, dir.path());
  ASSERT_EQ(r.status, 0);
  const std::string out = dir.read("out");
  int lines = 0;
  for (std::size_t at = 0; at < out.size(); at = out.find('\n', at) + 1) {
    EXPECT_EQ(out.substr(at, 4), "1 2 ");
    ++lines;
  }
  EXPECT_EQ(lines, 4);
  EXPECT_NE(dir.read("testfile.txt").find("\nMFI: 4\n"), std::string::npos);
  EXPECT_NE(dir.read("testfile.txt").find("\nNo. of F1: 4\n"), std::string::npos) << "6 items less the prefix";
}

TEST(MineMax, NothingToMineBelowCoveredLength) {
  Prepared p("1 2\n1 3\n2 3\n", 1);
  p.tree().covered_len = p.tree().num_items;
  EXPECT_EQ(p.tree().Mine_Max(nullptr), 0);
  EXPECT_EQ(p.root_mfi().mfi_count, 0);
}

TEST(MineMax, RunReportOfTheWorkedExample) {
  test::TempDir dir;
  dir.write("db", "1 2\n1 3\n2 3\n");
  auto r = test::run_program(test::zub_binary(), {"db", "1", "out"}, dir.path());
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(dir.read("out"), "3 2 (1)\n3 1 (1)\n2 1 (1)\n");
  const std::string log = dir.read("testfile.txt");
  const std::string head = "\n------------------------\n" + test::zub_binary() + " db 1 out \nMFI: 3\nTime: ";
  EXPECT_EQ(log.substr(0, head.size()), head);
  const std::size_t tail_at = log.find("\nNo. of F1:");
  ASSERT_NE(tail_at, std::string::npos);
  EXPECT_EQ(log.substr(tail_at), "\nNo. of F1: 3\nNo. of subset checking: 4\nNo. of projection: 0\n");
  // A second run appends a second report.
  test::run_program(test::zub_binary(), {"db", "1"}, dir.path());
  const std::string twice = dir.read("testfile.txt");
  EXPECT_EQ(twice.substr(0, log.size()), log);
  EXPECT_NE(twice.find(" db 1 \nMFI: 3\n", log.size()), std::string::npos);
}

}  // namespace
}  // namespace zub
