#include "io/data.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/run_error.h"
#include "fuzz/fuzz_support.h"
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

// `passes` passes over `data`, each up to its end or an error.
std::vector<Lines> read_passes(Data& data, int passes) {
  std::vector<Lines> all(passes);
  Transaction t(1);
  for (Lines& lines : all)
    while (data.next(t) == Data::Status::transaction) lines.emplace_back(t.items, t.items + t.length);
  return all;
}

// Random transaction text: ids from 0 to INT_MAX, some with leading zeros,
// between runs of assorted separators (also the bytes next to '0' and '9',
// NUL and bytes above 127), with empty lines and CR LF line ends.
std::string random_text(std::mt19937& rng, std::size_t size) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  static const char separators[] = {' ', ' ', ' ', '\t', ',', '\r', '/', ':', 'a', '-', '\0', '\x80', '\xff'};
  std::string text;
  while (text.size() < size) {
    switch (pick(0, 9)) {
      case 0:
        text += '\n';
        break;
      case 1:
        text += "\r\n";
        break;
      case 2:
      case 3:
        for (int k = pick(1, 3); k > 0; --k) text += separators[pick(0, sizeof separators - 1)];
        break;
      default: {
        if (pick(0, 5) == 0) text.append(pick(0, 1) ? pick(1, 3) : pick(10, 30), '0');
        const int kind = pick(0, 4);
        const long long id = kind == 0 ? pick(0, 9)
                             : kind == 1 ? pick(0, 99999)
                             : kind == 2 ? pick(0, INT_MAX)
                                         : INT_MAX - pick(0, kind == 3 ? 9 : 100000);
        text += std::to_string(id);
        text += separators[pick(0, 3)];
      }
    }
  }
  return text;
}

TEST(Reader, RandomFilesReadAsTheReferenceReads) {
  // The 1 MiB block boundary falls at every offset of a stretch of random
  // text; half the files end without a line feed. Two passes each.
  const std::size_t block = 1 << 20;
  std::mt19937 rng(20240611);
  const std::string base = random_text(rng, block);
  test::TempDir dir;
  for (std::size_t shift = 0; shift < 80; ++shift) {
    // (The blank keeps a number cut at the end of `base` apart from the next.)
    std::string text = base.substr(0, block - shift - 1) + ' ' + random_text(rng, 200);
    if (shift % 2 == 0) text += '\n';
    else if (text.back() == '\n') text.back() = ' ';
    const fuzz::Reference expected = fuzz::reference_read(text);
    ASSERT_EQ(expected.error_line, 0);
    dir.write("db", text);
    Data data(dir.file("db").c_str());
    const std::vector<Lines> passes = read_passes(data, 2);
    EXPECT_EQ(data.error_message(), "") << "shift " << shift;
    EXPECT_EQ(passes[0], expected.transactions) << "shift " << shift;
    EXPECT_EQ(passes[1], expected.transactions) << "shift " << shift;
  }
  // Short files, read from a one-id transaction that has to grow.
  for (int k = 0; k < 300; ++k) {
    const std::string text = random_text(rng, static_cast<std::size_t>(k));
    dir.write("db", text);
    Data data(dir.file("db").c_str());
    Transaction t(1);
    Lines lines;
    while (data.next(t) == Data::Status::transaction) lines.emplace_back(t.items, t.items + t.length);
    EXPECT_EQ(data.error_message(), "") << k;
    EXPECT_EQ(lines, fuzz::reference_read(text).transactions) << k;
  }
}

// Reads `text` to its end or error; returns the error message.
std::string read_error(const test::TempDir& dir, const std::string& text, Lines& lines) {
  dir.write("db", text);
  Data data(dir.file("db").c_str());
  Transaction t(1);
  lines.clear();
  while (data.next(t) == Data::Status::transaction) lines.emplace_back(t.items, t.items + t.length);
  return data.error_message();
}

TEST(Reader, TooLargeIdAtAnyOffset) {
  // Just above the int range, with leading zeros, far above it, and beyond
  // 2^64, where a wrapped value would look small.
  const char* too_large[] = {"2147483648", "0002147483648", "2147483650", "9999999999", "21474836470",
                             "18446744073709551621", "1844674407370955161600000"};
  test::TempDir dir;
  const std::string message = dir.file("db") + ", line 2: item id is larger than 2147483647!";
  for (const char* id : too_large) {
    for (std::size_t shift = 0; shift < 20; ++shift) {
      Lines lines;
      const std::string text = "7 8\n" + std::string(shift, ' ') + "1 " + id + " 2\n3\n";
      EXPECT_EQ(read_error(dir, text, lines), message) << id << " shift " << shift;
      EXPECT_EQ(lines, (Lines{{7, 8}})) << id << " shift " << shift;
    }
  }
  // Across the block boundary: every split of the id, and the id ending
  // with the block or the file.
  const std::size_t block = 1 << 20;
  for (const char* id : too_large) {
    const std::size_t length = std::string(id).size();
    for (std::size_t shift = 0; shift <= length + 1; ++shift) {
      Lines lines;
      const std::string text = "1\n" + std::string(block - 2 - shift, ' ') + id;
      EXPECT_EQ(read_error(dir, text, lines), message) << id << " shift " << shift;
      EXPECT_EQ(lines, (Lines{{1}})) << id << " shift " << shift;
      EXPECT_EQ(read_error(dir, text + "\n", lines), message) << id << " shift " << shift;
    }
  }
}

TEST(Reader, LongestIdsInTheIntRange) {
  // Nine digits cannot leave the int range, ten can: both sides of that,
  // also split by the block boundary.
  EXPECT_EQ(read_all("999999999 1000000000 2147483647 02147483647\n"),
            (Lines{{999999999, 1000000000, INT_MAX, INT_MAX}}));
  const std::size_t block = 1 << 20;
  for (std::size_t shift = 0; shift <= 11; ++shift)
    EXPECT_EQ(read_all(std::string(block - shift, ',') + "2147483647,999999999"),
              (Lines{{INT_MAX, 999999999}}))
        << shift;
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

// The read end of a pipe that a thread fills with `content`.
struct Pipe {
  std::FILE* read = nullptr;
  std::thread writer;
  explicit Pipe(const std::string& content) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("no pipe");
    read = fdopen(fds[0], "r");
    writer = std::thread([fd = fds[1], content] {
      for (std::size_t at = 0; at < content.size();) {
        const ssize_t n = write(fd, content.data() + at, content.size() - at);
        if (n <= 0) break;
        at += static_cast<std::size_t>(n);
      }
      ::close(fd);
    });
  }
  ~Pipe() {
    writer.join();
    std::fclose(read);
  }
};

TEST(Reader, NamesBecomeIdsInOrderOfFirstAppearance) {
  test::TempDir dir;
  // Only blank, tab, comma, CR and LF separate: NUL, ';', digits and UTF-8
  // bytes are parts of names. A repeated name gives its id again.
  using namespace std::string_literals;
  dir.write("db", "milk bread\tbeer\r\nbread,,bread milk\n\n; x\0y 7 \xc3\xa9\nlast"s);
  Data data(dir.file("db").c_str(), Data::Options{.names = true});
  const Lines lines = {{0, 1, 2}, {1, 1, 0}, {}, {3, 4, 5, 6}, {7}};
  EXPECT_EQ(read_passes(data, 2), (std::vector<Lines>{lines, lines}));
  data.close();
  EXPECT_EQ(data.take_names(), (std::vector<std::string>{"milk", "bread", "beer", ";", "x\0y"s, "7", "\xc3\xa9", "last"}));
}

TEST(Reader, NameWithAParenthesisNamesItsLine) {
  test::TempDir dir;
  const std::string longer(70, 'w');
  const std::pair<std::string, std::string> cases[] = {
      {"a b\nc x(y z\n", "line 2: item name \"x(y\""},
      {"a)\n", "line 1: item name \"a)\""},
      {"\n\n(" + longer + "\n", "line 3: item name \"(" + longer.substr(0, 59) + "...\""},
  };
  for (const auto& [content, message] : cases) {
    dir.write("db", content);
    Data data(dir.file("db").c_str(), Data::Options{.names = true});
    Transaction t;
    while (data.next(t) == Data::Status::transaction) {
    }
    EXPECT_EQ(data.error_message(), dir.file("db") + ", " + message + " has a parenthesis!");
  }
}

TEST(Reader, NamesAcrossBlockBoundaries) {
  // The 1 MiB block boundary before, inside and after the name "abcdefg",
  // and a name longer than a block.
  const std::size_t block = 1 << 20;
  test::TempDir dir;
  for (std::size_t shift = 0; shift <= 9; ++shift) {
    dir.write("db", std::string(block - shift, ' ') + "abcdefg hi\nhi");
    Data data(dir.file("db").c_str(), Data::Options{.names = true});
    EXPECT_EQ(read_passes(data, 1)[0], (Lines{{0, 1}, {1}})) << shift;
    EXPECT_EQ(data.take_names(), (std::vector<std::string>{"abcdefg", "hi"})) << shift;
  }
  const std::string huge(block + block / 2, 'n');
  dir.write("db", "x " + huge + "\n" + huge + " x\n");
  Data data(dir.file("db").c_str(), Data::Options{.names = true});
  const Lines lines = {{0, 1}, {1, 0}};
  EXPECT_EQ(read_passes(data, 2), (std::vector<Lines>{lines, lines}));
  EXPECT_EQ(data.take_names(), (std::vector<std::string>{"x", huge}));
}

TEST(Reader, StreamThatCannotBeRewoundIsKeptInMemory) {
  // Three blocks of ids, the last line without a line feed.
  std::string content;
  Lines lines;
  for (int k = 0; content.size() < (3u << 20); ++k) {
    lines.push_back({k, k % 7, 1000000 + k});
    content += std::to_string(k) + " " + std::to_string(k % 7) + " " + std::to_string(1000000 + k) + "\n";
  }
  content.pop_back();
  {
    Pipe pipe(content);
    Data data(pipe.read, "the pipe", Data::Options{.keep_unseekable = true});
    EXPECT_TRUE(data.in_memory());
    EXPECT_EQ(read_passes(data, 3), (std::vector<Lines>{lines, lines, lines}));
  }
  {
    // Without keeping, as zub reads: the end of the first pass cannot rewind.
    Pipe pipe("1 2\n");
    Data data(pipe.read, "the pipe", Data::Options{});
    EXPECT_FALSE(data.in_memory());
    EXPECT_EQ(read_passes(data, 2), (std::vector<Lines>{{{1, 2}}, {}}));
    EXPECT_EQ(data.error_message(), "the pipe could not be read!");
  }
  test::TempDir dir;
  dir.write("db", "1\n");
  Data file(dir.file("db").c_str(), Data::Options{.keep_unseekable = true});
  EXPECT_FALSE(file.in_memory()) << "a seekable file is read again";
}

TEST(Reader, OpenStreamPassesStartWhereItStood) {
  std::FILE* f = std::tmpfile();
  std::fputs("9 9\n1 2\n3\n", f);
  std::rewind(f);
  char first[8];
  ASSERT_NE(std::fgets(first, sizeof first, f), nullptr);
  {
    Data data(f, "stream", Data::Options{});
    EXPECT_EQ(read_passes(data, 2), (std::vector<Lines>{{{1, 2}, {3}}, {{1, 2}, {3}}}));
  }
  EXPECT_EQ(std::fseek(f, 0, SEEK_SET), 0) << "the stream stays open";
  std::fclose(f);
}

TEST(Reader, MissingFileIsNotOpen) {
  Data data("/nonexistent/zub/file");
  EXPECT_FALSE(data.isOpen());
}

}  // namespace
}  // namespace zub
