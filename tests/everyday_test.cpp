// What real data and habits bring: memory that follows the distinct items
// however large their ids, files that change while they are read, files
// with words, help and version. (Large ids against the brute force:
// MinersProperty; files without ids: the hostile-input table and ZubMine.)
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "common/run_error.h"
#include "trees/fi_tree.h"
#include "trees/range_passes.h"
#include "io/data.h"
#include "support/random_db.h"
#include "support/tree_checks.h"
#include "support/test_support.h"

namespace zub {
namespace {

using namespace zub::test;

// Under address-space limits: many distinct ids near the int range, by zub
// and zub-mine; and three lines sharing 20,000 ids, whose two closed itemsets
// are found in memory that grows with the items, not with their square (800
// MB before).
TEST(LargeIds, MemoryFollowsTheDistinctIds) {
#ifdef ZUB_SANITIZED
  GTEST_SKIP() << "address-space limits do not work under the sanitizers";
#endif
  TempDir dir;
  std::string text, shared;
  std::mt19937 rng(5);
  for (int t = 0; t < 2000; ++t) {
    for (int k = 0; k < 8; ++k) text += std::to_string(2147483647 - static_cast<int>(rng() % 300) * 7000000) + " ";
    text += "\n";
  }
  dir.write("db", text);
  RunOptions limit;
  limit.address_space = 96ull << 20;
  for (const std::string& program : {zub_binary(), zub_mine_binary()}) {
    const ProcessResult r = run_program(program, {"db", "20", "out"}, dir.path(), limit);
    EXPECT_EQ(r.status, 0) << program << ": " << r.out << r.err;
    EXPECT_FALSE(dir.read("out").empty());
  }
  for (int x = 1; x <= 20000; ++x) shared += std::to_string(x) + " ";
  dir.write("shared", shared + "0\n" + shared + "0\n" + shared + "\n");
  limit.address_space = 200ull << 20;
  const ProcessResult r = run_program(zub_mine_binary(), {"--target", "closed", "shared", "2"}, dir.path(), limit);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2);
}

// The second pass must read what the first counted; an append is not read.
// As one stream, and in ranges (of a few bytes, on several threads).
TEST(ChangedFile, SecondPassSeesAnotherFile) {
  const std::string original = "1 2 3\n1 2 3\n2 3\n1 4\n";
  struct Case {
    const char* name;
    std::string changed;
    bool fails;
  };
  const Case cases[] = {
      {"truncated to 6 bytes", "1 2 3\n", true},
      {"emptied", "", true},
      {"a line changed, same length", "1 2 3\n1 2 4\n2 3\n1 4\n", true},
      {"ids moved between lines", "1 2 3\n1 2 3\n2 4\n1 3\n", true},
      {"ids swapped within a line", "1 2 3\n1 3 2\n2 3\n1 4\n", true},
      {"lines appended", original + "5 6\n7\n", false},
  };
  for (const Case& c : cases) {
    for (const int threads : {0, 1, 3}) {  // 0: as one stream
      SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(threads) + " threads");
      TempDir dir;
      dir.write("db", original);
      Data data(dir.file("db").c_str());
      Settings settings;
      settings.threshold = 2;
      settings.tuning.read_range_bytes = 3;
      ByteSource source;
      ASSERT_TRUE(data.byte_source(source));
      ItemCounts counts =
          threads == 0 ? count_items(data) : count_items_in_ranges(data, source, settings.tuning, threads, {}, {}, nullptr);
      dir.write("db", c.changed);
      try {
        test::second_pass(settings, data, counts, std::max(threads, 1));
        EXPECT_FALSE(c.fails);
      } catch (const RunError& e) {
        EXPECT_TRUE(c.fails);
        EXPECT_EQ(e.status(), kExitFile);
        EXPECT_EQ(std::string(e.what()), dir.file("db") + " changed while it was read!");
      }
    }
  }
}

TEST(Words, WithoutNamesTheRunSaysSo) {
  TempDir dir;
  dir.write("words", "milk bread\nbread beer\n");
  dir.write("mixed", "milk 1 bread\n1\n");
  const std::string kSay = "no item ids found; for items given as words use --names\n";
  std::string out, err;
  EXPECT_EQ(run_mine_in_process({dir.file("words"), "1"}, &out, &err), 0);
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, kSay);
  EXPECT_EQ(run_mine_in_process({dir.file("mixed"), "1"}, &out, &err), 0);
  EXPECT_EQ(out, "1 (2)\n");
  EXPECT_EQ(err, "");
  EXPECT_EQ(run_mine_in_process({"--names", dir.file("words"), "2"}, &out, &err), 0);
  EXPECT_EQ(out, "bread (2)\n");
  EXPECT_EQ(err, "");
}

TEST(HelpAndVersion, GoToStandardOutputAndAFailedWriteFails) {
  TempDir dir;
  const std::string version = std::string(" ") + ZUB_VERSION_TEXT + "\n";
  struct Case {
    std::string program;
    std::vector<std::string> args;
    std::string begins;
  };
  const Case cases[] = {
      {zub_binary(), {"--help"}, "usage: zub <infile> <MINSUP> [<outfile>]\n"},
      {zub_binary(), {"--version"}, "zub" + version},
      {zub_mine_binary(), {"--help"}, "usage: zub-mine "},
      {zub_mine_binary(), {"-h"}, "usage: zub-mine "},
      {zub_mine_binary(), {"--version"}, "zub-mine" + version},
  };
  for (const Case& c : cases) {
    ProcessResult r = run_program(c.program, c.args, dir.path());
    EXPECT_EQ(r.status, 0) << c.args[0];
    EXPECT_EQ(r.out.substr(0, c.begins.size()), c.begins) << c.args[0];
    EXPECT_EQ(r.err, "");
    RunOptions full;
    full.stdout_path = "/dev/full";
    r = run_program(c.program, c.args, dir.path(), full);
    EXPECT_EQ(r.status, 2) << c.program << " " << c.args[0] << " to a full device";
    EXPECT_NE(r.err.find("standard output could not be written!"), std::string::npos) << r.err;
  }
  const ProcessResult usage = run_program(zub_binary(), {"--help", "1"}, dir.path());
  EXPECT_EQ(usage.status, 2) << "a file named --help";
  EXPECT_EQ(run_program(zub_binary(), {}, dir.path()).out, "usage: zub <infile> <MINSUP> [<outfile>]\n");
}

// The progress reports go to standard error only and leave the itemsets alone.
TEST(Progress, LeavesTheOutputAsItIs) {
  const RandomDb db = random_db(7, true);
  TempDir dir;
  dir.write("db", db.text);
  std::string plain, shown, err;
  ASSERT_EQ(run_mine_in_process({dir.file("db"), "2"}, &plain), 0);
  ASSERT_EQ(run_mine_in_process({"--progress", dir.file("db"), "2"}, &shown, &err), 0);
  EXPECT_EQ(shown, plain);
  if (!err.empty()) {
    EXPECT_EQ(err.back(), '\n') << "a line per report where standard error is no terminal";
  }
}

}  // namespace
}  // namespace zub
