// A file read in byte ranges (io/byte_ranges.h) against the fuzz targets'
// reference reader: every range size from one byte up and small blocks, so
// that cuts fall within ids, between a carriage return and its line feed,
// inside lines that span many ranges, and behind a last line without a line
// feed; the ranges' transactions, in order, are the file's, each range
// with the digest of its own lines' bytes, whatever the blocks, and another
// digest where one of those bytes changes, and a bound on its ids. Failures
// name the line within the range. Each case runs with the byte loop and,
// where the processor has it, the masked loop.
#include "io/byte_ranges.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "support/reading.h"
#include "support/test_support.h"

namespace zub {
namespace {

using namespace zub::test;

bool masked_reading_here() { return range_detail::masked_reading_supported(); }
std::vector<ReadLoop> loops_here() {
  if (masked_reading_here()) return {ReadLoop::bytes, ReadLoop::masks};
  return {ReadLoop::bytes};
}

struct Ranged {
  Lines lines;                      // every range's transactions, in order
  std::vector<RangeRead> reads;     // by range
  std::vector<Lines> by_range;
};

// `text` as a file read in ranges of `range_bytes` by a reader of
// `block_bytes` blocks with `loop`.
Ranged read_in_ranges(const std::string& text, std::uint64_t range_bytes, std::size_t block_bytes,
                      ReadLoop loop = ReadLoop::bytes) {
  TempDir dir;
  dir.write("db", text);
  const int fd = ::open(dir.file("db").c_str(), O_RDONLY);
  EXPECT_GE(fd, 0);
  Ranged r;
  RangeReader reader(fd, block_bytes, loop);
  EXPECT_EQ(reader.masked(), loop == ReadLoop::masks && masked_reading_here());
  for (const ByteRange& range : split_ranges(0, text.size(), range_bytes)) {
    std::vector<std::pair<long long, int>> ids;
    r.reads.push_back(reader.read_lines(range, fuzz::StampedIds{&ids}));
    Lines& lines = r.by_range.emplace_back(static_cast<std::size_t>(r.reads.back().lines));
    for (const auto& [line, id] : ids) {
      // A failed range's ids stop within its failing line, which it does not count.
      if (line == r.reads.back().lines && r.reads.back().failure != RangeRead::Failure::none) continue;
      EXPECT_LT(line, r.reads.back().lines) << "an id behind the range's lines";
      if (line < r.reads.back().lines) lines[static_cast<std::size_t>(line)].push_back(id);
    }
    r.lines.insert(r.lines.end(), lines.begin(), lines.end());
  }
  ::close(fd);
  return r;
}

// The first byte of each line of `text`.
std::vector<std::size_t> line_starts(const std::string& text) {
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (i == 0 || text[i - 1] == '\n') starts.push_back(i);
  return starts;
}

// The bytes of the lines whose first byte lies in [begin, end): from the
// first such line start to the next line start behind the last (or the end
// of the text). Empty where the range holds no line start.
std::string range_bytes_of(const std::string& text, const std::vector<std::size_t>& starts, std::uint64_t begin,
                           std::uint64_t end) {
  const auto first = std::lower_bound(starts.begin(), starts.end(), begin);
  const auto behind = std::lower_bound(first, starts.end(), end);
  if (first == behind) return std::string();
  const std::size_t to = behind == starts.end() ? text.size() : *behind;
  return text.substr(*first, to - *first);
}

PassDigest digest_of(const std::string& bytes, long long lines) {
  ByteDigest d;
  d.add(bytes.data(), bytes.size());
  return PassDigest{d.value(), lines};
}

// The ranges hold the reference's transactions in order, each range's
// digest (of its lines' bytes in one piece) and count its own.
void expect_reads_as_reference(const std::string& text, std::uint64_t range_bytes, std::size_t block_bytes,
                               ReadLoop loop) {
  SCOPED_TRACE("ranges of " + std::to_string(range_bytes) + " bytes, blocks of " + std::to_string(block_bytes) +
               (loop == ReadLoop::masks ? ", masks" : ", bytes"));
  const fuzz::Reference expected = fuzz::reference_read(text);
  ASSERT_EQ(expected.error_line, 0);
  const Ranged r = read_in_ranges(text, range_bytes, block_bytes, loop);
  ASSERT_EQ(r.lines, expected.transactions);
  const std::vector<ByteRange> ranges = split_ranges(0, text.size(), range_bytes);
  const std::vector<std::size_t> starts = line_starts(text);
  for (std::size_t k = 0; k < r.reads.size(); ++k) {
    const auto lines = static_cast<long long>(r.by_range[k].size());
    EXPECT_EQ(r.reads[k].digest, digest_of(range_bytes_of(text, starts, ranges[k].begin, ranges[k].end), lines))
        << "range " << k;
    EXPECT_EQ(r.reads[k].lines, lines) << "range " << k;
    EXPECT_EQ(r.reads[k].failure, RangeRead::Failure::none);
    // Every id of 10000 or more has its bits in the range's bound.
    std::uint64_t bits = 0;
    for (const auto& line : r.by_range[k])
      for (int id : line)
        if (id >= 10000) bits |= static_cast<std::uint64_t>(id);
    EXPECT_EQ(bits & ~r.reads[k].long_id_bits, 0u) << "range " << k;
  }
}

// ... with every loop this processor runs.
void expect_reads_as_reference(const std::string& text, std::uint64_t range_bytes, std::size_t block_bytes) {
  for (ReadLoop loop : loops_here()) expect_reads_as_reference(text, range_bytes, block_bytes, loop);
}

TEST(ByteRanges, DigestTakesBytesInAnyPiecesAndChangesWithAnyByte) {
  std::mt19937 rng(3);
  const std::string text = random_text(rng, 300);
  const PassDigest whole = digest_of(text, 0);
  for (std::size_t piece : {1, 3, 7, 8, 13, 32, 33, 64}) {
    ByteDigest d;
    for (std::size_t at = 0; at < text.size(); at += piece) d.add(text.data() + at, std::min(piece, text.size() - at));
    EXPECT_EQ(PassDigest({d.value(), 0}), whole) << "pieces of " << piece;
  }
  for (std::size_t at = 0; at < text.size(); ++at) {
    std::string changed = text;
    changed[at] = static_cast<char>(changed[at] ^ (1 << (at % 8)));
    EXPECT_NE(digest_of(changed, 0), whole) << "byte " << at;
  }
  EXPECT_NE(digest_of(text + '\0', 0), whole) << "a zero byte more";
  EXPECT_NE(digest_of("", 0), digest_of(std::string(1, '\0'), 0));
}

TEST(ByteRanges, SplitCoversTheBytesOnce) {
  EXPECT_TRUE(split_ranges(5, 5, 3).empty());
  const std::vector<ByteRange> r = split_ranges(2, 12, 4);
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].begin, 2u);
  EXPECT_EQ(r[0].end, 6u);
  EXPECT_EQ(r[1].begin, 6u);
  EXPECT_EQ(r[2].end, 12u);
  EXPECT_EQ(split_ranges(0, 3, 0).size(), 3u) << "ranges of at least one byte";
}

TEST(ByteRanges, EveryCutReadsTheFileOnce) {
  const std::string cases[] = {
      "",  "\n", "\n\n\n", "7", "1 2\n3", "1 2\n3\n", "1\r\n2\r\n", "\r\n\r\n12\r", "  \n4  ",
      "000000000000000000042 0\n2147483647,02147483647\n", "a1b2c3\n\0" "5\n",
  };
  for (const std::string& text : cases)
    for (std::uint64_t range = 1; range <= text.size() + 1; ++range)
      for (std::size_t block : {std::size_t(1), std::size_t(2), std::size_t(3), std::size_t(1) << 20})
        expect_reads_as_reference(text, range, block);
}

TEST(ByteRanges, RandomTextAndLongLinesReadAsTheReference) {
  std::mt19937 rng(29);
  for (int round = 0; round < 6; ++round) {
    std::string text = random_text(rng, 3000 + 500 * round);
    if (round % 2 == 1) text += "17 18";  // a last line without a line feed
    if (round >= 4) {
      // A line of thousands of ids across many ranges and blocks.
      std::string line;
      for (int k = 0; k < 3000; ++k) line += std::to_string(k * 7919 % 100000) + " ";
      text.insert(text.size() / 2, "\n" + line + "\n");
    }
    for (std::uint64_t range : {1, 2, 3, 5, 8, 13, 64, 777, 100000})
      for (std::size_t block : {std::size_t(1), std::size_t(7), std::size_t(64), std::size_t(1) << 20})
        expect_reads_as_reference(text, range, block);
  }
}

TEST(ByteRanges, TooLargeIdFailsAtItsLineWithinTheRange) {
  const std::string text = "1 2\n3\n4 2147483648 5\n6\n";
  for (std::uint64_t range = 1; range <= text.size(); ++range) {
    for (std::size_t block : {std::size_t(1), std::size_t(4), std::size_t(1) << 20}) {
      for (ReadLoop loop : loops_here()) {
        SCOPED_TRACE("range " + std::to_string(range) + ", block " + std::to_string(block) +
                     (loop == ReadLoop::masks ? ", masks" : ", bytes"));
        const Ranged r = read_in_ranges(text, range, block, loop);
        long long before = 0;
        int failed = 0;
        for (const RangeRead& read : r.reads) {
          if (read.failure == RangeRead::Failure::none) {
            before += failed == 0 ? read.lines : 0;
            continue;
          }
          ++failed;
          EXPECT_EQ(read.failure, RangeRead::Failure::id_too_large);
          EXPECT_EQ(before + read.failed_line, 3);
          EXPECT_EQ(read.failed_line, read.lines + 1);
        }
        EXPECT_EQ(failed, 1);
      }
    }
  }
}

// Ids and lines placed around the masked loop's chunks of 56 bytes (and
// the bytes before and behind each): ids of 1 to 12 digits ending at every
// offset, runs of leading zeros, line feeds and carriage returns next to
// them, lines longer than a chunk.
TEST(ByteRanges, IdsAroundTheChunksReadAsTheReference) {
  if (!masked_reading_here()) GTEST_SKIP() << "this processor has no AVX2, BMI2 or POPCNT: the masked loop is not used";
  std::mt19937 rng(56);
  for (int digits = 1; digits <= 12; ++digits) {
    std::string text;
    for (int offset = 0; offset < 120; ++offset) {
      text += std::string(static_cast<std::size_t>(offset % 7), ' ');
      const int lead = offset % 5 == 0 ? offset : 0;  // leading zeros
      std::string id = std::to_string(std::uniform_int_distribution<long long>(0, 2147483647)(rng));
      id = id.substr(0, static_cast<std::size_t>(digits));
      text += std::string(static_cast<std::size_t>(lead), '0') + id + (offset % 3 == 0 ? "\r\n" : " ");
      if (offset % 11 == 0) text += "\n\n";
    }
    for (std::uint64_t range : {1, 7, 56, 57, 1000, 100000})
      for (std::size_t block : {std::size_t(1), std::size_t(55), std::size_t(64), std::size_t(1) << 20})
        expect_reads_as_reference(text, range, block, ReadLoop::masks);
  }
}

TEST(ByteRanges, ReadingStopsWhereTheVisitorSays) {
  TempDir dir;
  dir.write("db", "1\n2\n3\n4\n");
  const int fd = ::open(dir.file("db").c_str(), O_RDONLY);
  RangeReader reader(fd, 2);
  Lines seen;
  const RangeRead read = reader.read({0, 8}, [&](const int* ids, int n) {
    seen.emplace_back(ids, ids + n);
    return seen.size() < 2;
  });
  EXPECT_EQ(seen, (Lines{{1}, {2}}));
  EXPECT_EQ(read.lines, 2);
  EXPECT_TRUE(reader.has_letters({0, 8}) == false);
  dir.write("words", "1 \xc3\xa9\n");
  const int words = ::open(dir.file("words").c_str(), O_RDONLY);
  RangeReader other(words);
  EXPECT_TRUE(other.has_letters({0, 5}));
  EXPECT_FALSE(other.has_letters({0, 2}));
  ::close(words);
  ::close(fd);
}

}  // namespace
}  // namespace zub
