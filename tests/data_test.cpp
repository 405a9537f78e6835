#include "io/data.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "fp_tree/run_error.h"
#include "support/test_support.h"

namespace zub {
namespace {

using Lines = std::vector<std::vector<int>>;

// Every transaction of one pass over `content`.
Lines read_all(const std::string& content) {
  test::TempDir dir;
  dir.write("db", content);
  Data data(dir.file("db").c_str());
  EXPECT_TRUE(data.isOpen());
  Transaction t(50);
  Lines lines;
  while (data.getNextTransaction(&t) != nullptr) lines.emplace_back(t.items, t.items + t.length);
  return lines;
}

TEST(Reader, FileFormat) {
  EXPECT_EQ(read_all(""), Lines{});
  EXPECT_EQ(read_all("3 5 7\n"), (Lines{{3, 5, 7}}));
  EXPECT_EQ(read_all("\n\n"), (Lines{{}, {}}));
  EXPECT_EQ(read_all("1\r\n"), (Lines{{1}}));
  EXPECT_EQ(read_all("1 2\n1,2\n"), (Lines{{1, 2}, {1, 2}}));
  EXPECT_EQ(read_all("-5 a7b\t08\n"), (Lines{{5, 7, 8}}));
  EXPECT_EQ(read_all("4 4 4\n"), (Lines{{4, 4, 4}}));
  EXPECT_EQ(read_all("no digits here\n2\n"), (Lines{{}, {2}}));
  EXPECT_EQ(read_all(std::string("1\0" "2\n", 4)), (Lines{{1, 2}}));
}

TEST(Reader, LastLineWithoutLineFeedIsATransaction) {
  EXPECT_EQ(read_all("3 5 7"), (Lines{{3, 5, 7}}));
  EXPECT_EQ(read_all("1\n2 3"), (Lines{{1}, {2, 3}}));
  EXPECT_EQ(read_all("1\n  "), (Lines{{1}, {}}));
}

TEST(Reader, LongLinesGrowTheTransaction) {
  std::string line;
  std::vector<int> expected;
  for (int k = 0; k < 51; ++k) {
    line += std::to_string(k * 7) + " ";
    expected.push_back(k * 7);
  }
  test::TempDir dir;
  dir.write("db", line + "\n");
  Data data(dir.file("db").c_str());
  Transaction t(50);
  ASSERT_NE(data.getNextTransaction(&t), nullptr);
  EXPECT_EQ(t.capacity, 100);
  EXPECT_EQ(std::vector<int>(t.items, t.items + t.length), expected);
}

TEST(Transaction, GrowthStopsAtTheIntRange) {
  EXPECT_EQ(Transaction::grown_capacity(0), 2);
  EXPECT_EQ(Transaction::grown_capacity(50), 100);
  EXPECT_EQ(Transaction::grown_capacity(1 << 29), 1 << 30);
  EXPECT_EQ(Transaction::grown_capacity(1 << 30), INT_MAX);
  EXPECT_EQ(Transaction::grown_capacity(1677721600), INT_MAX) << "50 doubled 25 times, then once more";
  EXPECT_EQ(Transaction::grown_capacity(INT_MAX - 1), INT_MAX);
}

TEST(Reader, NumbersAcrossBlockBoundaries) {
  // Lines of growing length put ids on every offset of the 1 MiB read blocks.
  std::string content;
  Lines expected;
  for (int k = 0; content.size() < (3u << 20); ++k) {
    std::vector<int> ids{k, 1000000 + k, k % 97};
    expected.push_back(ids);
    content += std::to_string(ids[0]) + " " + std::to_string(ids[1]) + " " + std::to_string(ids[2]) + "\n";
  }
  EXPECT_EQ(read_all(content), expected);
}

TEST(Reader, BlockBoundaryAtEveryOffsetOfANumber) {
  // The reader takes the file in blocks of 1 MiB: put that boundary before,
  // inside and just after the id 1234567, and before and after its separator.
  const std::size_t block = 1 << 20;
  for (std::size_t shift = 0; shift <= 9; ++shift) {
    std::string text(block - shift, ' ');
    text += "1234567 89\n5";
    EXPECT_EQ(read_all(text), (Lines{{1234567, 89}, {5}})) << "boundary " << shift << " bytes before the id";
    std::string lf(block - shift, '\n');
    lf += "1234567\n";
    const Lines lines = read_all(lf);
    ASSERT_EQ(lines.size(), block - shift + 1);
    EXPECT_EQ(lines.back(), (std::vector<int>{1234567}));
  }
}

TEST(Reader, EndOfFileRewindsForASecondPass) {
  test::TempDir dir;
  dir.write("db", "1 2\n\n3\n4");
  Data data(dir.file("db").c_str());
  Transaction t(1);
  for (int pass = 0; pass < 2; ++pass) {
    Lines lines;
    while (data.getNextTransaction(&t) != nullptr) lines.emplace_back(t.items, t.items + t.length);
    EXPECT_EQ(lines, (Lines{{1, 2}, {}, {3}, {4}})) << "pass " << pass;
  }
}

TEST(Reader, LargestIdIsAccepted) {
  EXPECT_EQ(read_all("2147483647 0\n"), (Lines{{2147483647, 0}}));
  EXPECT_EQ(read_all("000000000000000000042\n"), (Lines{{42}}));
}

TEST(Reader, OverlongIdNamesFileAndLine) {
  test::TempDir dir;
  dir.write("db", "1\n2\n5 2147483648\n");
  Data data(dir.file("db").c_str());
  Transaction t;
  EXPECT_EQ(data.next(t), Data::Status::transaction);
  EXPECT_EQ(data.next(t), Data::Status::transaction);
  EXPECT_EQ(data.next(t), Data::Status::error);
  EXPECT_EQ(data.error_message(), dir.file("db") + ", line 3: item id is larger than 2147483647!");
  EXPECT_EQ(data.next(t), Data::Status::error) << "an error is final";
  try {
    data.getNextTransaction(&t);
    ADD_FAILURE() << "no RunError";
  } catch (const RunError& e) {
    EXPECT_EQ(e.status(), kExitFile);
  }
}

TEST(Reader, ReadErrorIsReportedNotLoopedOn) {
  test::TempDir dir;
  // Opening a directory succeeds; reading it fails.
  Data data(dir.path().c_str());
  ASSERT_TRUE(data.isOpen());
  Transaction t;
  EXPECT_EQ(data.next(t), Data::Status::error);
  EXPECT_EQ(data.error_message(), dir.path().string() + " could not be read!");
}

TEST(Reader, MissingFileIsNotOpen) {
  Data data("/nonexistent/zub/file");
  EXPECT_FALSE(data.isOpen());
}

}  // namespace
}  // namespace zub
