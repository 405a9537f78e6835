// gzip input: the reader gives the transactions of the decompressed text, in
// every pass, from files and pipes, one member or several; damaged streams
// are read failures. End to end, zub, zub-mine and mine_file write for a
// gzip file or pipe exactly what they write for the plain file.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/run_error.h"
#include "fuzz/fuzz_support.h"
#include "io/data.h"
#include "support/random_db.h"
#include "support/test_support.h"
#include "zub/zub.h"

namespace zub {
namespace {

using Lines = std::vector<std::vector<int>>;
using test::TempDir;

constexpr std::size_t kBlock = std::size_t(1) << 20;  // the reader's block size

// `text` as one gzip member, made with zlib's deflate at `level` (0 stores).
std::string gzip(const std::string& text, int level = Z_DEFAULT_COMPRESSION) {
  z_stream zs{};
  if (deflateInit2(&zs, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2");
  std::string out(deflateBound(&zs, static_cast<uLong>(text.size())), '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  zs.avail_in = static_cast<uInt>(text.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  const int status = deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  if (status != Z_STREAM_END) throw std::runtime_error("deflate");
  return out;
}

// Transaction text with ids of every size, runs of separators (also NUL and
// bytes above 127), empty lines and CR LF ends; `wide` ids compress worse.
std::string random_text(std::mt19937& rng, std::size_t size, bool wide) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  static const char separators[] = {' ', ' ', '\t', ',', ';', '\0', '\x80', '\xff'};
  std::string text;
  while (text.size() < size) {
    switch (pick(0, 11)) {
      case 0: text += '\n'; break;
      case 1: text += "\r\n"; break;
      case 2: text += separators[pick(0, sizeof separators - 1)]; break;
      default:
        text += std::to_string(wide ? pick(0, 2147483647) : pick(0, 300));
        text += separators[pick(0, 2)];
    }
  }
  return text;
}

// `passes` passes over `data`, each up to its end or an error.
std::vector<Lines> read_passes(Data& data, int passes) {
  std::vector<Lines> all(passes);
  Transaction t(1);
  for (Lines& lines : all)
    while (data.next(t) == Data::Status::transaction) lines.emplace_back(t.items, t.items + t.length);
  return all;
}

std::vector<Lines> read_file(const std::string& path, int passes, const Data::Options& options = {}) {
  Data data(path.c_str(), options);
  EXPECT_TRUE(data.isOpen()) << path;
  std::vector<Lines> all = read_passes(data, passes);
  EXPECT_EQ(data.error_message(), "") << path;
  return all;
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
    // Drained first: the reader may have stopped early at a failure.
    char rest[4096];
    while (std::fread(rest, 1, sizeof rest, read) > 0) {
    }
    writer.join();
    std::fclose(read);
  }
};

TEST(Gzip, RandomFilesReadAsThePlainText) {
  // Decompressed blocks and compressed input both cross the 1 MiB block
  // boundary: 3 MiB stored (level 0) is a compressed first block of 1 MiB.
  struct Case {
    std::size_t size;
    bool wide;
    int level;
  };
  const Case cases[] = {{0, false, 6},        {1, false, 6},         {200, true, 1},      {70000, false, 9},
                        {kBlock - 1, true, 6}, {kBlock + 1, false, 6}, {3 * kBlock, true, 0}, {3 * kBlock, true, 9},
                        {5 * kBlock, false, 6}};
  std::mt19937 rng(7001);
  TempDir dir;
  for (const Case& c : cases) {
    std::string text = random_text(rng, c.size, c.wide);
    if (c.size % 2 == 1) text += " 7";  // a last line without a line feed
    const Lines expected = fuzz::reference_read(text).transactions;
    dir.write("plain", text);
    dir.write("packed", gzip(text, c.level));
    const auto packed = read_file(dir.file("packed"), 2);
    EXPECT_EQ(packed, read_file(dir.file("plain"), 2)) << c.size << " level " << c.level;
    EXPECT_EQ(packed[0], expected) << c.size << " level " << c.level;
    EXPECT_EQ(packed[1], expected) << c.size << " level " << c.level;
  }
  // The same text as names: the same ids, the same words.
  const std::string text = random_text(rng, 2 * kBlock, false);
  dir.write("plain", text);
  dir.write("packed", gzip(text));
  Data plain(dir.file("plain").c_str(), Data::Options{.names = true});
  Data packed(dir.file("packed").c_str(), Data::Options{.names = true});
  EXPECT_EQ(read_passes(packed, 2), read_passes(plain, 2));
  EXPECT_EQ(packed.error_message(), "");
  const std::vector<std::string> words = plain.take_names();
  EXPECT_GT(words.size(), 100u);
  EXPECT_EQ(packed.take_names(), words);
}

TEST(Gzip, ToldByTheFirstTwoBytesNotTheName) {
  TempDir dir;
  dir.write("plain.gz", "1 2\n3\n");
  EXPECT_EQ(read_file(dir.file("plain.gz"), 1)[0], (Lines{{1, 2}, {3}}));
  dir.write("packed.dat", gzip("1 2\n3\n"));
  EXPECT_EQ(read_file(dir.file("packed.dat"), 1)[0], (Lines{{1, 2}, {3}}));
  // 1f without 8b, or alone, is a separator of plain text.
  dir.write("db", "\x1f" "5 6\n\x1f\x8b" "7\n");
  EXPECT_EQ(read_file(dir.file("db"), 1)[0], (Lines{{5, 6}, {7}}));
  dir.write("db", "\x1f");
  EXPECT_EQ(read_file(dir.file("db"), 1)[0], (Lines{{}}));
  dir.write("db", "\x8b\x1f" "4\n");
  EXPECT_EQ(read_file(dir.file("db"), 1)[0], (Lines{{4}}));
}

TEST(Gzip, MembersBackToBackReadAsOneText) {
  // Cut at random places into members of assorted levels, empty members
  // among them; the first member larger than a block in one case.
  std::mt19937 rng(7002);
  TempDir dir;
  for (int round = 0; round < 8; ++round) {
    const std::size_t size = round == 0 ? 3 * kBlock : std::uniform_int_distribution<std::size_t>(0, 300000)(rng);
    const std::string text = random_text(rng, size, round % 2 == 0);
    std::vector<std::size_t> cuts = {0, text.size()};
    for (int k = 0; k < 4; ++k) cuts.push_back(std::uniform_int_distribution<std::size_t>(0, text.size())(rng));
    if (round == 0) cuts.push_back(kBlock + 12345);
    std::sort(cuts.begin(), cuts.end());
    std::string packed;
    for (std::size_t k = 0; k + 1 < cuts.size(); ++k)
      packed += gzip(text.substr(cuts[k], cuts[k + 1] - cuts[k]), round == 0 ? 0 : static_cast<int>(k % 10));
    if (round == 1) packed += gzip("");
    dir.write("packed", packed);
    const Lines expected = fuzz::reference_read(text).transactions;
    EXPECT_EQ(read_file(dir.file("packed"), 2), (std::vector<Lines>{expected, expected})) << "round " << round;
    std::string reference;
    EXPECT_TRUE(fuzz::reference_gunzip(packed, reference));
    EXPECT_EQ(reference, text) << "the test's own decompression, round " << round;
  }
}

// Reads `data` until the error that must come and checks its message. What
// was read before it are the first transactions of `partial`, the text that
// the test's own decompression got out before the failure; when that is the
// whole text, every line but the unterminated last one.
void expect_failure(Data& data, const std::string& name, const std::string& partial, bool whole,
                    const std::string& what) {
  Transaction t(1);
  Lines lines;
  Data::Status status;
  while ((status = data.next(t)) == Data::Status::transaction) lines.emplace_back(t.items, t.items + t.length);
  ASSERT_EQ(status, Data::Status::error) << what;
  EXPECT_EQ(data.error_message(), name + " could not be read!") << what;
  EXPECT_EQ(data.next(t), Data::Status::error) << what << ": an error is final";
  const Lines all = fuzz::reference_read(partial).transactions;
  ASSERT_LE(lines.size(), all.size()) << what;
  EXPECT_TRUE(std::equal(lines.begin(), lines.end(), all.begin())) << what;
  if (whole) {
    EXPECT_EQ(lines.size() + 1, all.size()) << what;
  }
}

TEST(Gzip, DamagedStreamIsAReadFailure) {
  std::mt19937 rng(7003);
  std::string text = random_text(rng, 2 * kBlock, false);
  text.back() = '5';  // the last line is a transaction only when the stream is whole
  const std::string whole = gzip(text, 0);  // stored: every byte of the data is the text's
  const std::string small = gzip("1 2\n3 4\n5");
  const std::size_t n = whole.size();
  std::string flipped_data = whole, flipped_crc = whole, flipped_size = whole, bad_header = whole;
  flipped_data[n / 2] ^= 0x04;
  flipped_crc[n - 6] ^= 0x01;
  flipped_size[n - 2] ^= 0x01;
  bad_header[2] = 9;  // no such compression method
  const std::pair<std::string, std::string> cases[] = {
      {whole.substr(0, 2), "the magic alone"},
      {whole.substr(0, 10), "the header alone"},
      {whole.substr(0, kBlock + 3), "cut after the first block"},
      {whole.substr(0, n - 9), "cut before the trailer"},
      {whole.substr(0, n - 1), "cut in the trailer"},
      {flipped_data, "a changed byte of data"},
      {flipped_crc, "a wrong check value"},
      {flipped_size, "a wrong length"},
      {bad_header, "a bad header"},
      {whole + "junk\n", "bytes after the member"},
      {whole + std::string(1, '\0'), "a zero byte after the member"},
      {whole + small.substr(0, small.size() - 3), "a second member cut short"},
      {whole + std::string("\x1f\x8b"), "a second magic alone"},
  };
  TempDir dir;
  for (const auto& [bytes, what] : cases) {
    dir.write("db.gz", bytes);
    std::string partial;
    EXPECT_FALSE(fuzz::reference_gunzip(bytes, partial)) << what << ": the test's own decompression";
    const bool whole_text = partial == text || partial == text + "1 2\n3 4\n5";
    Data data(dir.file("db.gz").c_str());
    expect_failure(data, dir.file("db.gz"), partial, whole_text, what);
    // The same from a pipe that is kept for a second pass.
    Pipe pipe(bytes);
    Data piped(pipe.read, "the pipe", Data::Options{.keep_unseekable = true});
    expect_failure(piped, "the pipe", partial, whole_text, what);
  }
  // The caller that treats a failure as the end of the run gets RunError.
  dir.write("db.gz", whole.substr(0, n - 1));
  Data data(dir.file("db.gz").c_str());
  Transaction t;
  try {
    while (data.getNextTransaction(&t) != nullptr) {
    }
    ADD_FAILURE() << "no RunError";
  } catch (const RunError& e) {
    EXPECT_EQ(e.status(), kExitFile);
    EXPECT_EQ(std::string(e.what()), dir.file("db.gz") + " could not be read!");
  }
}

TEST(Gzip, PipeIsDecompressedWhileRecorded) {
  std::mt19937 rng(7004);
  const std::string text = random_text(rng, 3 * kBlock, true);
  const Lines expected = fuzz::reference_read(text).transactions;
  {
    Pipe pipe(gzip(text.substr(0, kBlock)) + gzip(text.substr(kBlock)));
    Data data(pipe.read, "the pipe", Data::Options{.keep_unseekable = true});
    EXPECT_TRUE(data.in_memory());
    EXPECT_EQ(read_passes(data, 3), (std::vector<Lines>{expected, expected, expected}));
    EXPECT_EQ(data.error_message(), "");
  }
  // An open seekable stream: gzip data behind a line read before; the
  // passes start where the stream stood.
  std::FILE* f = std::tmpfile();
  const std::string packed = "9 9\n" + gzip("1 2\n3\n");
  std::fwrite(packed.data(), 1, packed.size(), f);
  std::rewind(f);
  char first[8];
  ASSERT_NE(std::fgets(first, sizeof first, f), nullptr);
  {
    Data data(f, "stream", Data::Options{});
    EXPECT_FALSE(data.in_memory());
    EXPECT_EQ(read_passes(data, 2), (std::vector<Lines>{{{1, 2}, {3}}, {{1, 2}, {3}}}));
  }
  std::fclose(f);
}

// ---- The programs and the API, end to end.

// The run report's counters: every line of the last report but the command
// line and the processor time.
std::string counters(const std::string& log) {
  const std::size_t at = log.rfind("------------------------\n");
  if (at == std::string::npos) return "no run report";
  std::string kept;
  std::size_t line = log.find('\n', at + 25);  // behind the command line
  while (line != std::string::npos && line + 1 < log.size()) {
    const std::size_t next = log.find('\n', line + 1);
    const std::string text = log.substr(line + 1, next - line);
    if (text.rfind("Time:", 0) != 0) kept += text;
    line = next;
  }
  return kept;
}

// The --stats summary without its processor time.
std::string stats_without_time(const std::string& err) {
  std::string kept;
  for (std::size_t at = 0; at < err.size();) {
    const std::size_t end = err.find('\n', at);
    const std::string line = err.substr(at, end - at + 1);
    if (line.rfind("processor time:", 0) != 0) kept += line;
    at = end == std::string::npos ? err.size() : end + 1;
  }
  return kept;
}

TEST(GzipPrograms, ZubWritesWhatItWritesForThePlainFile) {
  TempDir dir;
  const std::string sample = test::read_file(std::string(ZUB_SOURCE_DIR) + "/examples/sample.dat");
  dir.write("sample.dat", sample);
  dir.write("sample.gz", gzip(sample));
  dir.write("packed", gzip(sample.substr(0, 300)) + gzip(sample.substr(300)));  // no suffix, two members
  for (const char* minsup : {"4", "8", "12"}) {
    auto plain = test::run_program(test::zub_binary(), {"sample.dat", minsup, "plain.out"}, dir.path());
    ASSERT_EQ(plain.status, 0) << plain.out;
    const std::string itemsets = dir.read("plain.out");
    const std::string report = counters(dir.read("testfile.txt"));
    ASSERT_NE(itemsets, "");
    ASSERT_NE(report.find("MFI: "), std::string::npos) << report;
    for (const char* input : {"sample.gz", "packed"}) {
      auto r = test::run_program(test::zub_binary(), {input, minsup, "gz.out"}, dir.path());
      EXPECT_EQ(r.status, 0) << r.out;
      EXPECT_EQ(r.out, plain.out) << input << " at " << minsup;
      EXPECT_EQ(dir.read("gz.out"), itemsets) << input << " at " << minsup;
      EXPECT_EQ(counters(dir.read("testfile.txt")), report) << input << " at " << minsup;
    }
  }
  // A damaged file: status 2 and the reader's message, no itemsets, no report.
  const std::string packed = gzip(sample);
  dir.write("cut.gz", packed.substr(0, packed.size() - 5));
  const std::string log = dir.read("testfile.txt");
  auto r = test::run_program(test::zub_binary(), {"cut.gz", "8", "cut.out"}, dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "cut.gz could not be read!\n");
  EXPECT_TRUE(!dir.exists("cut.out") || dir.read("cut.out").empty());
  EXPECT_EQ(dir.read("testfile.txt"), log);
}

TEST(GzipPrograms, ZubMineWritesWhatItWritesForThePlainFile) {
  TempDir dir;
  const std::string sample = test::read_file(std::string(ZUB_SOURCE_DIR) + "/examples/sample.dat");
  dir.write("sample.dat", sample);
  dir.write("sample.gz", gzip(sample, 9));
  const std::string mine = test::zub_mine_binary();
  for (const char* target : {"maximal", "closed", "all"}) {
    const std::vector<std::string> options = {"--stats", "--target", target};
    auto with = [&](std::vector<std::string> args) {
      args.insert(args.begin(), options.begin(), options.end());
      return args;
    };
    auto plain = test::run_program(mine, with({"sample.dat", "20%"}), dir.path());
    ASSERT_EQ(plain.status, 0) << plain.err;
    ASSERT_NE(plain.out, "");
    // The file, the file as standard input, and gzip's own output through a pipe.
    std::string joined;
    for (const std::string& o : options) joined += o + " ";
    const test::ProcessResult runs[] = {
        test::run_program(mine, with({"sample.gz", "20%"}), dir.path()),
        test::run_program(mine, with({"-", "20%"}), dir.path(), dir.file("sample.gz")),
        test::run_program("/bin/sh", {"-c", "gzip -c sample.dat | '" + mine + "' " + joined + "- 20%"}, dir.path()),
    };
    for (const test::ProcessResult& r : runs) {
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(r.out, plain.out) << target;
      EXPECT_EQ(stats_without_time(r.err), stats_without_time(plain.err)) << target;
    }
  }
  // Named items.
  const std::string named = "milk bread\nbread beer milk\nbeer\nmilk bread\n";
  dir.write("named", named);
  dir.write("named.gz", gzip(named));
  const auto plain = test::run_program(mine, {"--names", "named", "2"}, dir.path());
  EXPECT_EQ(plain.out, "beer (2)\nbread milk (3)\n");
  EXPECT_EQ(test::run_program(mine, {"--names", "named.gz", "2"}, dir.path()).out, plain.out);
  // Damaged: status 2 and the reader's message; nothing on standard output.
  const std::string packed = gzip(sample);
  dir.write("cut.gz", packed.substr(0, packed.size() / 2));
  auto r = test::run_program(mine, {"cut.gz", "8"}, dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "cut.gz could not be read!\n");
  EXPECT_EQ(r.out, "");
  r = test::run_program("/bin/sh", {"-c", "cat cut.gz | '" + mine + "' - 8"}, dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "standard input could not be read!\n");
  EXPECT_EQ(r.out, "");
}

TEST(GzipPrograms, MineFileGivesWhatItGivesForThePlainFile) {
  TempDir dir;
  for (std::uint32_t seed = 300; seed < 320; ++seed) {
    const test::RandomDb db = test::random_db(seed);
    dir.write("db", db.text);
    dir.write("db.gz", gzip(db.text));
    for (const Target target : {Target::maximal, Target::closed, Target::all}) {
      const Support minsup = Support::count(2);
      const Summary plain = mine_file(dir.file("db"), target, minsup, [](auto, int) {});
      const Summary packed = mine_file(dir.file("db.gz"), target, minsup, [](auto, int) {});
      EXPECT_EQ(packed.transactions, plain.transactions) << seed;
      EXPECT_EQ(packed.frequent_items, plain.frequent_items) << seed;
      EXPECT_EQ(packed.itemsets, plain.itemsets) << seed;
      EXPECT_EQ(mine_file(dir.file("db.gz"), target, minsup), mine_file(dir.file("db"), target, minsup)) << seed;
    }
  }
  const std::string packed = gzip("1 2\n1 2\n");
  dir.write("cut.gz", packed.substr(0, packed.size() - 1));
  try {
    mine_file(dir.file("cut.gz"), Target::maximal, Support::count(1));
    ADD_FAILURE() << "no zub::Error";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), Error::Kind::file);
    EXPECT_EQ(std::string(e.what()), dir.file("cut.gz") + " could not be read!");
  }
}

}  // namespace
}  // namespace zub
