// The reader: ids and names read from files and streams in blocks of 1 MiB,
// checked against examples and against the fuzz targets' reference reader;
// ids beyond the int range, and streams that cannot be rewound.
#include "io/data.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "support/reading.h"
#include "support/test_support.h"

namespace zub {
namespace {

using namespace std::string_literals;
using namespace zub::test;

struct Read {
  std::vector<Lines> passes;
  std::string error;  // the file named "db"
  std::vector<std::string> names;
};

// `content` read from a file, `passes` times.
Read read(const std::string& content, int passes = 1, Data::Options options = {}) {
  test::TempDir dir;
  dir.write("db", content);
  Data data(dir.file("db").c_str(), options);
  EXPECT_TRUE(data.isOpen());
  Read r{read_passes(data, passes), data.error_message(), data.take_names()};
  if (r.error.rfind(dir.file("db"), 0) == 0) r.error = "db" + r.error.substr(dir.file("db").size());
  return r;
}

TEST(Reader, FileFormat) {
  const std::pair<std::string, Lines> cases[] = {
      {"", {}}, {"3 5 7\n", {{3, 5, 7}}}, {"\n\n", {{}, {}}}, {"1\r\n", {{1}}}, {"1 2\n1,2\n", {{1, 2}, {1, 2}}},
      {"-5 a7b\t08\n", {{5, 7, 8}}}, {"4 4 4\n", {{4, 4, 4}}}, {"no digits here\n2\n", {{}, {2}}},
      {"1\0" "2\n"s, {{1, 2}}}, {"000000000000000000042 0\n", {{42, 0}}},
      {"999999999 1000000000 2147483647 02147483647\n", {{999999999, 1000000000, INT_MAX, INT_MAX}}},
      // The last line without a line feed is a transaction.
      {"3 5 7", {{3, 5, 7}}}, {"1\n2 3", {{1}, {2, 3}}}, {"1\n  ", {{1}, {}}},
  };
  for (const auto& [content, lines] : cases) {
    const Read r = read(content, 2);
    EXPECT_EQ(r.passes, (std::vector<Lines>{lines, lines})) << content;
    EXPECT_EQ(r.error, "");
  }
}

TEST(Reader, RandomFilesReadAsTheReferenceReads) {
  // The block boundary falls at every offset of a stretch of random text;
  // half the files end without a line feed. Two passes each.
  std::mt19937 rng(20240611);
  const std::string base = random_text(rng, kBlock);
  for (std::size_t shift = 0; shift < 80; ++shift) {
    // (The blank keeps a number cut at the end of `base` apart from the next.)
    std::string text = base.substr(0, kBlock - shift - 1) + ' ' + random_text(rng, 200);
    if (shift % 2 == 0) text += '\n';
    else if (text.back() == '\n') text.back() = ' ';
    const fuzz::Reference expected = fuzz::reference_read(text);
    ASSERT_EQ(expected.error_line, 0);
    const Read r = read(text, 2);
    EXPECT_EQ(r.error, "") << "shift " << shift;
    EXPECT_EQ(r.passes, (std::vector<Lines>{expected.transactions, expected.transactions})) << "shift " << shift;
  }
  // Short files, read into a one-id transaction that has to grow.
  for (int k = 0; k < 300; ++k) {
    const std::string text = random_text(rng, static_cast<std::size_t>(k));
    const Read r = read(text);
    EXPECT_EQ(r.error, "") << k;
    EXPECT_EQ(r.passes[0], fuzz::reference_read(text).transactions) << k;
  }
}

TEST(Reader, TooLargeIdAtAnyOffsetEndsTheReading) {
  // Just above the int range, with leading zeros, far above it, and beyond
  // 2^64, where a wrapped value would look small.
  const std::string too_large[] = {"2147483648", "0002147483648", "2147483650", "9999999999", "21474836470",
                                   "18446744073709551621", "1844674407370955161600000"};
  const std::string message = "db, line 2: item id is larger than 2147483647!";
  for (const std::string& id : too_large) {
    for (std::size_t shift = 0; shift < 20; ++shift) {
      const Read r = read("7 8\n" + std::string(shift, ' ') + "1 " + id + " 2\n3\n", 2);
      EXPECT_EQ(r.error, message) << id << " shift " << shift;
      EXPECT_EQ(r.passes, (std::vector<Lines>{{{7, 8}}, {}})) << id << " shift " << shift << ": an error is final";
    }
    // Across the block boundary: every split of the id, and the id ending
    // with the block or the file.
    for (std::size_t shift = 0; shift <= id.size() + 1; ++shift) {
      for (const char* end : {"", "\n"}) {
        const Read r = read("1\n" + std::string(kBlock - 2 - shift, ' ') + id + end);
        EXPECT_EQ(r.error, message) << id << " shift " << shift;
        EXPECT_EQ(r.passes[0], (Lines{{1}})) << id << " shift " << shift;
      }
    }
  }
}

TEST(Transaction, GrowthStopsAtTheIntRange) {
  // Doubling past 2^30 entries must not wrap to a negative capacity.
  const std::pair<int, int> cases[] = {{0, 2},          {50, 100},           {1 << 29, 1 << 30},
                                       {1 << 30, INT_MAX}, {1677721600, INT_MAX}, {INT_MAX - 1, INT_MAX}};
  for (auto [from, to] : cases) EXPECT_EQ(Transaction::grown_capacity(from), to) << from;
}

TEST(Reader, NamesBecomeIdsInOrderOfFirstAppearance) {
  // Only blank, tab, comma, CR and LF separate: NUL, ';', digits and UTF-8
  // bytes are parts of names. A repeated name gives its id again.
  const Read r = read("milk bread\tbeer\r\nbread,,bread milk\n\n; x\0y 7 \xc3\xa9\nlast"s, 2, {.names = true});
  const Lines lines = {{0, 1, 2}, {1, 1, 0}, {}, {3, 4, 5, 6}, {7}};
  EXPECT_EQ(r.passes, (std::vector<Lines>{lines, lines}));
  EXPECT_EQ(r.names, (std::vector<std::string>{"milk", "bread", "beer", ";", "x\0y"s, "7", "\xc3\xa9", "last"}));

  // The block boundary before, inside and after a name, and a name longer
  // than a block.
  for (std::size_t shift = 0; shift <= 9; ++shift) {
    const Read r = read(std::string(kBlock - shift, ' ') + "abcdefg hi\nhi", 1, {.names = true});
    EXPECT_EQ(r.passes[0], (Lines{{0, 1}, {1}})) << shift;
    EXPECT_EQ(r.names, (std::vector<std::string>{"abcdefg", "hi"})) << shift;
  }
  const std::string huge(kBlock + kBlock / 2, 'n');
  const Read long_name = read("x " + huge + "\n" + huge + " x\n", 2, {.names = true});
  EXPECT_EQ(long_name.passes, (std::vector<Lines>{{{0, 1}, {1, 0}}, {{0, 1}, {1, 0}}}));
  EXPECT_TRUE(long_name.names == (std::vector<std::string>{"x", huge}));
  // A parenthesis would break the itemset lines; a long name is shown cut
  // after 60 bytes. (zub-mine's table has the shorter ones.)
  const std::string longer(70, 'w');
  EXPECT_EQ(read("\n\n(" + longer + ")\n", 1, {.names = true}).error,
            "db, line 3: item name \"(" + longer.substr(0, 59) + "...\" has a parenthesis!");
}

TEST(Reader, StreamThatCannotBeRewoundIsKeptInMemory) {
  // Three blocks of ids, the last line without a line feed: read from a
  // file, and from a pipe, kept for the later passes.
  std::string content;
  Lines lines;
  for (int k = 0; content.size() < 3 * kBlock; ++k) {
    lines.push_back({k, k % 7, 1000000 + k});
    content += std::to_string(k) + " " + std::to_string(k % 7) + " " + std::to_string(1000000 + k) + "\n";
  }
  content.pop_back();
  test::TempDir dir;
  dir.write("db", content);
  EXPECT_TRUE(read(content, 1, {.keep_unseekable = true}).passes[0] == lines);
  for (const bool keep : {true, false}) {
    // Without keeping, as zub reads, the end of the first pass cannot rewind.
    through_pipe(dir.file("db"), [&](Data& data) {
      EXPECT_EQ(data.in_memory(), keep);
      const std::vector<Lines> passes = read_passes(data, 3);
      EXPECT_TRUE(passes == (keep ? std::vector<Lines>{lines, lines, lines} : std::vector<Lines>{lines, {}, {}}));
      EXPECT_EQ(data.error_message(), keep ? "" : "the pipe could not be read!");
    }, keep);
  }
}

TEST(Reader, OpenStreamPassesStartWhereItStood) {
  for (const std::string& rest : {std::string("1 2\n3\n"), gzip("1 2\n3\n")}) {  // plain or gzip behind a line
    std::FILE* f = std::tmpfile();
    const std::string content = "9 9\n" + rest;
    std::fwrite(content.data(), 1, content.size(), f);
    std::rewind(f);
    char first[8];
    ASSERT_NE(std::fgets(first, sizeof first, f), nullptr);
    {
      Data data(f, "stream", Data::Options{.keep_unseekable = true});
      EXPECT_FALSE(data.in_memory()) << "a stream that can be rewound is read again";
      EXPECT_EQ(read_passes(data, 2), (std::vector<Lines>{{{1, 2}, {3}}, {{1, 2}, {3}}}));
    }
    EXPECT_EQ(std::fseek(f, 0, SEEK_SET), 0) << "the stream stays open";
    std::fclose(f);
  }
}

}  // namespace
}  // namespace zub
