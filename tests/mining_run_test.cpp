// zub end to end: the single prefix in every itemset, and the run report.
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace zub {
namespace {

const char* kTwoItemPrefix = "1 2 3 4\n1 2 3\n2 1 4 5\n1 2 5 3\n1 2\n2 1 6\n";

TEST(Zub, EveryItemsetBeginsWithTheSinglePrefix) {
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

TEST(Zub, RunReportOfTheWorkedExample) {
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
