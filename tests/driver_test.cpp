// The zub program run end to end in a directory of its own. The failures and
// odd inputs are the table in hostile_input_test.cpp.
#include "driver/driver.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace zub {
namespace {

using test::run_program;
using test::TempDir;

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

}  // namespace
}  // namespace zub
