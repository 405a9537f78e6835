// A file or a folder of part files split into byte ranges cut at line
// starts: the shares' transactions, one after another, are the input's, each
// once, whatever the number of shares; a line's number within its file is
// found again from a share's stream; a share cuts a file where the
// byte-range reader of the counting pass cuts it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <random>

#include "io/byte_ranges.h"
#include "io/data.h"
#include "io/line_ranges.h"
#include "io/transaction.h"
#include "support/test_support.h"

namespace zub {
namespace {

using test::TempDir;

// The transactions of a reader, each as its ids.
std::vector<std::vector<int>> read_all(Data& data) {
  std::vector<std::vector<int>> lines;
  Transaction t(8);
  while (data.getNextTransaction(&t) != nullptr) lines.emplace_back(t.items, t.items + t.length);
  return lines;
}

std::vector<std::vector<int>> shares_read(const std::vector<InputFile>& files, int shares) {
  std::vector<std::vector<int>> all;
  for (int s = 0; s < shares; ++s) {
    std::vector<FilePiece> pieces;
    std::string why;
    EXPECT_TRUE(share_of(files, s, shares, pieces, why)) << why;
    PieceStream stream(pieces);
    EXPECT_NE(stream.stream(), nullptr);
    Data data(stream.stream(), "share", Data::Options{});
    for (auto& line : read_all(data)) all.push_back(std::move(line));
  }
  return all;
}

TEST(LineRanges, EveryLineOnceInOrderForAnyNumberOfShares) {
  std::mt19937 rng(5);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int round = 0; round < 30; ++round) {
    TempDir dir;
    // Parts of random lines: empty lines, long lines, a last line without
    // its line feed, empty parts.
    const int parts = pick(1, 5);
    std::vector<InputFile> files;
    std::string whole;
    for (int p = 0; p < parts; ++p) {
      std::string text;
      for (int l = 0, n = pick(0, 40); l < n; ++l) {
        for (int k = 0, m = pick(0, l % 7 == 0 ? 300 : 6); k < m; ++k) text += std::to_string(pick(0, 99)) + " ";
        if (l + 1 < n || pick(0, 3) > 0) text += "\n";
      }
      if (!text.empty() && text.back() != '\n') text += '\n';  // as the stream ends a part's last line
      const std::string name = "part-" + std::to_string(p);
      // Without its last line feed where that leaves the same lines.
      const bool drop = pick(0, 2) == 0 && text.size() >= 2 && text[text.size() - 2] != '\n';
      dir.write(name, text.substr(0, text.size() - (drop ? 1 : 0)));
      files.push_back({dir.file(name), static_cast<long long>(std::filesystem::file_size(dir.path() / name))});
      whole += text;
    }
    dir.write("whole", whole);
    Data one(dir.file("whole").c_str());
    const auto expected = read_all(one);
    for (int shares : {1, 2, 3, 7, 64})
      EXPECT_EQ(shares_read(files, shares), expected) << "round " << round << ", " << shares << " shares";
  }
}

// A share of one file holds the lines that the byte-range reader finds in
// the share's bytes: both cut by one rule, whatever the cut hits (a line's
// middle, a CRLF, a line longer than a share).
TEST(LineRanges, ASharesLinesAreTheByteRangeReadersOfItsBytes) {
  std::mt19937 rng(11);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int round = 0; round < 20; ++round) {
    TempDir dir;
    std::string text;
    for (int l = 0, n = pick(1, 30); l < n; ++l) {
      for (int k = 0, m = pick(0, l % 5 == 0 ? 200 : 5); k < m; ++k) text += std::to_string(pick(0, 999)) + " ";
      text += pick(0, 3) == 0 ? "\r\n" : "\n";
    }
    if (pick(0, 1) == 0) text.pop_back();  // a last line without its line feed
    dir.write("db", text);
    const std::vector<InputFile> files{{dir.file("db"), static_cast<long long>(text.size())}};
    const int fd = ::open(dir.file("db").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    RangeReader reader(fd, 7);  // blocks smaller than a line
    for (int shares : {1, 2, 5, 13}) {
      for (int s = 0; s < shares; ++s) {
        const auto bound = [&](int k) { return static_cast<std::uint64_t>(text.size() * k / shares); };
        std::vector<std::vector<int>> by_range;
        const RangeRead read = reader.read({bound(s), bound(s + 1)}, [&](const int* ids, int n) {
          by_range.emplace_back(ids, ids + n);
          return true;
        });
        ASSERT_EQ(read.failure, RangeRead::Failure::none);
        std::vector<FilePiece> pieces;
        std::string why;
        ASSERT_TRUE(share_of(files, s, shares, pieces, why)) << why;
        PieceStream stream(pieces);
        Data data(stream.stream(), "share", Data::Options{});
        EXPECT_EQ(read_all(data), by_range) << "round " << round << ", share " << s << " of " << shares;
      }
    }
    ::close(fd);
  }
}

TEST(LineRanges, PartsOfAFolderAndLinesLocated) {
  TempDir dir;
  std::filesystem::create_directory(dir.path() / "f");
  dir.write("f/part-00001", "4 5\n6\n");
  dir.write("f/part-00000", "1\n2 3\n");
  dir.write("f/_SUCCESS", "");
  dir.write("f/.part-00000.crc", "x");
  std::vector<InputFile> parts;
  std::string why;
  ASSERT_TRUE(list_parts(dir.file("f"), parts, why)) << why;
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].path, dir.file("f") + "/part-00000");
  // A share of both parts: its line 3 is the second part's first.
  std::vector<FilePiece> pieces;
  ASSERT_TRUE(share_of(parts, 0, 1, pieces, why));
  PieceStream stream(pieces);
  Data data(stream.stream(), "share", Data::Options{});
  EXPECT_EQ(read_all(data).size(), 4u);
  int piece = -1;
  long long line = 0;
  stream.locate(3, piece, line);
  EXPECT_EQ(piece, 1);
  EXPECT_EQ(line, 1);
  EXPECT_EQ(stream.lines(), (std::vector<long long>{2, 2}));
  // A part that cannot be read is named.
  std::filesystem::create_symlink(dir.path() / "gone", dir.path() / "f" / "part-00002");
  EXPECT_FALSE(list_parts(dir.file("f"), parts, why));
  EXPECT_EQ(why, dir.file("f") + "/part-00002");
}

}  // namespace
}  // namespace zub
