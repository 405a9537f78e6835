// The zub program run end to end in a directory of its own.
#include "driver/driver.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace zub {
namespace {

using test::run_program;
using test::TempDir;

const std::string kUsageLine = "usage: zub <infile> <MINSUP> [<outfile>]\n";

TEST(Minsup, AcceptsSignDigitsAndBlanksOnly) {
  int v = 99;
  EXPECT_TRUE(parse_minsup("20", v));
  EXPECT_EQ(v, 20);
  EXPECT_TRUE(parse_minsup("  +7 ", v));
  EXPECT_EQ(v, 7);
  EXPECT_TRUE(parse_minsup("-3", v));
  EXPECT_EQ(v, -3);
  EXPECT_TRUE(parse_minsup("0", v));
  EXPECT_EQ(v, 0);
  EXPECT_TRUE(parse_minsup("2147483647", v));
  EXPECT_EQ(v, 2147483647);
  for (const char* bad : {"", " ", "abc", "5%", "1e3", "2.5", "+", "--1", "7 7", "2147483648",
                          "99999999999999999999"})
    EXPECT_FALSE(parse_minsup(bad, v)) << '"' << bad << '"';
}

TEST(Zub, TooFewArgumentsIsAUsageError) {
  TempDir dir;
  for (auto args : {std::vector<std::string>{}, std::vector<std::string>{"db"}}) {
    auto r = run_program(test::zub_binary(), args, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, kUsageLine);
  }
  EXPECT_FALSE(dir.exists("testfile.txt"));
}

TEST(Zub, SupportThatIsNotANumberIsAUsageError) {
  TempDir dir;
  dir.write("db", "1 2\n");
  for (const char* bad : {"5%", "x", "", "3 4"}) {
    auto r = run_program(test::zub_binary(), {"db", bad}, dir.path());
    EXPECT_EQ(r.status, 1) << bad;
    EXPECT_EQ(r.out, kUsageLine);
  }
}

TEST(Zub, UnreadableInputLeavesTheRunLog) {
  TempDir dir;
  auto r = run_program(test::zub_binary(), {"missing.dat", "2", "out"}, dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "missing.dat could not be opened!\n");
  EXPECT_TRUE(dir.exists("testfile.txt"));
  EXPECT_EQ(dir.read("testfile.txt"), "");
  EXPECT_FALSE(dir.exists("out"));
}

TEST(Zub, NoFrequentItemEndsSilently) {
  TempDir dir;
  dir.write("db", "1 2\n3\n\n");
  auto r = run_program(test::zub_binary(), {"db", "2", "out"}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(dir.exists("out"));
  EXPECT_EQ(dir.read("testfile.txt"), "");
}

TEST(Zub, SinglePathIsTheOneMaximalItemset) {
  TempDir dir;
  dir.write("db", "1 2\n1 2 3\n");
  auto r = run_program(test::zub_binary(), {"db", "2", "out"}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(dir.read("out"), "1 2 (2)\n");
  EXPECT_EQ(r.out, "1\n0\n1\n\n\nF1: 2\nAVGlen: 2.00\nMFI: 1\n");
  EXPECT_EQ(dir.read("testfile.txt"), "") << "the shortcut appends no run report";
}

TEST(Zub, SinglePathOfThreeItemsWithoutOutputFile) {
  TempDir dir;
  dir.write("db", "7 3 5\n3 7 5\n3\n");
  auto r = run_program(test::zub_binary(), {"db", "2"}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "1\n0\n0\n1\n\n\nF1: 3\nAVGlen: 3.00\nMFI: 1\n");
  r = run_program(test::zub_binary(), {"db", "2", "out"}, dir.path());
  EXPECT_EQ(dir.read("out"), "3 5 7 (2)\n");
}

TEST(Zub, RepeatedIdsAndAMissingFinalLineFeed) {
  TempDir dir;
  dir.write("db", "5 5 5 9\n5 6\n6 5");
  auto r = run_program(test::zub_binary(), {"db", "3", "out"}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(dir.read("out"), "5 (3)\n");
}

TEST(Zub, OverlongIdIsAnInputError) {
  TempDir dir;
  dir.write("db", "1 2\n1 99999999999\n");
  auto r = run_program(test::zub_binary(), {"db", "1", "out"}, dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "db, line 2: item id is larger than 2147483647!\n");
  EXPECT_FALSE(dir.exists("out"));
}

TEST(Zub, DirectoryAsInputIsAReadError) {
  TempDir dir;
  std::filesystem::create_directory(dir.path() / "sub");
  auto r = run_program(test::zub_binary(), {"sub", "1"}, dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "sub could not be read!\n");
}

TEST(Zub, OutputFileThatCannotBeOpened) {
  TempDir dir;
  dir.write("db", "1 2\n1 2\n");
  auto r = run_program(test::zub_binary(), {"db", "1", "no/such/dir/out"}, dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "no/such/dir/out could not be opened!\n");
}

TEST(Zub, FullDiskIsAWriteError) {
  TempDir dir;
  dir.write("db", "1 2\n1 2\n");
  auto r = run_program(test::zub_binary(), {"db", "1", "/dev/full"}, dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "/dev/full could not be written!\n");
}

TEST(Zub, FifthArgumentMeansNoOutputFile) {
  TempDir dir;
  dir.write("db", "1 2\n1 2\n");
  auto r = run_program(test::zub_binary(), {"db", "1", "out", "extra"}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(dir.exists("out"));
}

TEST(Zub, UnwritableRunLogIsReportedAndTheRunGoesOn) {
  TempDir dir;
  dir.write("db", "1 2\n1 2\n");
  std::filesystem::create_directory(dir.path() / "testfile.txt");
  auto r = run_program(test::zub_binary(), {"db", "1", "out"}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1),
            "testfile.txt could not be opened; no run report is written.\n");
  EXPECT_EQ(dir.read("out"), "1 2 (2)\n");
}

}  // namespace
}  // namespace zub
