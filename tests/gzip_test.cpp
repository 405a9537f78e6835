// gzip input: the reader gives the transactions of the decompressed text, in
// every pass, from files and pipes, one member or several; damaged streams
// are read failures. End to end, zub and zub-mine write for a gzip file or
// pipe exactly what they write for the plain file.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/run_error.h"
#include "fuzz/fuzz_support.h"
#include "support/reading.h"
#include "support/test_support.h"

namespace zub {
namespace {

using namespace zub::test;

std::vector<Lines> read_gz(const std::string& path, int passes) {
  Data data(path.c_str());
  EXPECT_TRUE(data.isOpen()) << path;
  std::vector<Lines> all = read_passes(data, passes);
  EXPECT_EQ(data.error_message(), "") << path;
  return all;
}

TEST(Gzip, RandomFilesReadAsThePlainText) {
  // Decompressed blocks and compressed input both cross the 1 MiB block
  // boundary: 3 MiB stored (level 0) is a compressed first block of 1 MiB.
  const std::pair<std::size_t, int> cases[] = {{0, 6},          {1, 6},          {200, 1},           {70000, 9},
                                               {kBlock - 1, 6}, {kBlock + 1, 6}, {3 * kBlock, 0}, {3 * kBlock, 9}};
  std::mt19937 rng(7001);
  TempDir dir;
  for (const auto& [size, level] : cases) {
    std::string text = random_text(rng, size);
    if (size % 2 == 1) text += " 7";  // a last line without a line feed
    const Lines expected = fuzz::reference_read(text).transactions;
    dir.write("plain", text);
    dir.write("packed", gzip(text, level));
    EXPECT_EQ(read_gz(dir.file("packed"), 2), (std::vector<Lines>{expected, expected})) << size << " " << level;
    EXPECT_EQ(read_gz(dir.file("plain"), 1)[0], expected) << size;
  }
  // The same text as names: the same ids, the same words.
  const std::string text = random_text(rng, 2 * kBlock);
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
  // 1f without 8b, or alone, is a separator of plain text.
  const std::tuple<const char*, std::string, Lines> cases[] = {
      {"plain.gz", "1 2\n3\n", {{1, 2}, {3}}},      {"packed.dat", gzip("1 2\n3\n"), {{1, 2}, {3}}},
      {"db", "\x1f" "5 6\n\x1f\x8b" "7\n", {{5, 6}, {7}}}, {"db", "\x1f", {{}}}, {"db", "\x8b\x1f" "4\n", {{4}}}};
  TempDir dir;
  for (const auto& [name, content, lines] : cases) {
    dir.write(name, content);
    EXPECT_EQ(read_gz(dir.file(name), 1)[0], lines) << name;
  }
}

TEST(Gzip, MembersBackToBackReadAsOneText) {
  // Cut at random places into members of assorted levels, empty members
  // among them; the first member larger than a block in one case. Read from
  // a file, and from a pipe kept for later passes.
  std::mt19937 rng(7002);
  TempDir dir;
  for (int round = 0; round < 8; ++round) {
    const std::size_t size = round == 0 ? 3 * kBlock : std::uniform_int_distribution<std::size_t>(0, 300000)(rng);
    const std::string text = random_text(rng, size);
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
    EXPECT_EQ(read_gz(dir.file("packed"), 2), (std::vector<Lines>{expected, expected})) << "round " << round;
    std::string reference;
    EXPECT_TRUE(fuzz::reference_gunzip(packed, reference));
    EXPECT_EQ(reference, text) << "the test's own decompression, round " << round;
    if (round > 1) continue;
    through_pipe(dir.file("packed"), [&](Data& data) {
      EXPECT_TRUE(data.in_memory());
      EXPECT_EQ(read_passes(data, 3), (std::vector<Lines>{expected, expected, expected}));
      EXPECT_EQ(data.error_message(), "");
    });
  }
}

// Reads `data` until the error that must come and checks its message. What
// was read before it are the first transactions of `partial`, the text that
// the test's own decompression got out before the failure; when that is the
// whole text, every line but the unterminated last one.
void expect_failure(Data& data, const std::string& name, const std::string& partial, bool whole) {
  Transaction t(1);
  Lines lines;
  Data::Status status;
  while ((status = data.next(t)) == Data::Status::transaction) lines.emplace_back(t.items, t.items + t.length);
  ASSERT_EQ(status, Data::Status::error);
  EXPECT_EQ(data.error_message(), name + " could not be read!");
  EXPECT_EQ(data.next(t), Data::Status::error) << "an error is final";
  const Lines all = fuzz::reference_read(partial).transactions;
  ASSERT_LE(lines.size(), all.size());
  EXPECT_TRUE(std::equal(lines.begin(), lines.end(), all.begin()));
  if (whole) {
    EXPECT_EQ(lines.size() + 1, all.size());
  }
}

TEST(Gzip, DamagedStreamIsAReadFailure) {
  std::mt19937 rng(7003);
  std::string text = random_text(rng, 2 * kBlock, true);
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
    SCOPED_TRACE(what);
    dir.write("db.gz", bytes);
    std::string partial;
    EXPECT_FALSE(fuzz::reference_gunzip(bytes, partial)) << "the test's own decompression";
    const bool whole_text = partial == text || partial == text + "1 2\n3 4\n5";
    Data data(dir.file("db.gz").c_str());
    expect_failure(data, dir.file("db.gz"), partial, whole_text);
    // The same from a pipe kept for a second pass.
    through_pipe(dir.file("db.gz"), [&](Data& piped) { expect_failure(piped, "the pipe", partial, whole_text); });
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

// ---- The programs, end to end (mine_file: Api.EveryTargetAgreesWithBruteForce).

// examples/sample.dat in `dir` as "sample.dat"; gzip-compressed as
// "sample.gz" (one member) and "packed" (two members, no suffix); its gzip
// data cut in the middle ("cut.gz") and in the trailer ("trailer.gz").
void write_samples(const TempDir& dir) {
  const std::string sample = read_file(std::string(ZUB_SOURCE_DIR) + "/examples/sample.dat");
  const std::string whole = gzip(sample);
  dir.write("sample.dat", sample);
  dir.write("sample.gz", gzip(sample, 9));
  dir.write("packed", gzip(sample.substr(0, 300)) + gzip(sample.substr(300)));
  dir.write("cut.gz", whole.substr(0, whole.size() / 2));
  dir.write("trailer.gz", whole.substr(0, whole.size() - 5));
}

TEST(GzipPrograms, ZubWritesWhatItWritesForThePlainFile) {
  TempDir dir;
  write_samples(dir);
  for (const char* minsup : {"4", "8", "12"}) {
    dir.write("testfile.txt", "");
    auto plain = run_program(zub_binary(), {"sample.dat", minsup, "plain.out"}, dir.path());
    ASSERT_EQ(plain.status, 0) << plain.out;
    const std::string itemsets = dir.read("plain.out"), report = without_time(dir.read("testfile.txt"));
    ASSERT_NE(itemsets, "");
    ASSERT_NE(report.find("\nMFI: "), std::string::npos) << report;
    for (const char* input : {"sample.gz", "packed"}) {
      SCOPED_TRACE(input + std::string(" at ") + minsup);
      dir.write("testfile.txt", "");
      auto r = run_program(zub_binary(), {input, minsup, "gz.out"}, dir.path());
      EXPECT_EQ(r.status, 0) << r.out;
      EXPECT_EQ(r.out, plain.out);
      EXPECT_EQ(dir.read("gz.out"), itemsets);
      EXPECT_EQ(without_time(dir.read("testfile.txt")), report);
    }
  }
  // A damaged file: status 2 and the reader's message, no itemsets, no report.
  const std::string log = dir.read("testfile.txt");
  auto r = run_program(zub_binary(), {"trailer.gz", "8", "cut.out"}, dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "trailer.gz could not be read!\n");
  EXPECT_TRUE(!dir.exists("cut.out") || dir.read("cut.out").empty());
  EXPECT_EQ(dir.read("testfile.txt"), log);
}

TEST(GzipPrograms, ZubMineWritesWhatItWritesForThePlainFile) {
  TempDir dir;
  write_samples(dir);
  const std::string mine = zub_mine_binary();
  for (const std::string target : {"maximal", "closed", "all"}) {
    // One thread: the work counters of --stats do not vary.
    const std::string options = "--stats --threads 1 --target " + target;
    auto plain = run_program(mine, {"--stats", "--threads", "1", "--target", target, "sample.dat", "20%"}, dir.path());
    ASSERT_EQ(plain.status, 0) << plain.err;
    ASSERT_NE(plain.out, "");
    // The file, the file as standard input, and gzip's own output through a pipe.
    const ProcessResult runs[] = {
        run_program(mine, {"--stats", "--threads", "1", "--target", target, "sample.gz", "20%"}, dir.path()),
        run_program(mine, {"--stats", "--threads", "1", "--target", target, "-", "20%"}, dir.path(),
                    dir.file("sample.gz")),
        run_program("/bin/sh", {"-c", "gzip -c sample.dat | '" + mine + "' " + options + " - 20%"}, dir.path()),
    };
    for (const ProcessResult& r : runs) {
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(r.out, plain.out) << target;
      EXPECT_EQ(without_time(r.err), without_time(plain.err)) << target;
    }
  }
  dir.write("named.gz", gzip("milk bread\nbread beer milk\nbeer\nmilk bread\n"));
  EXPECT_EQ(run_program(mine, {"--names", "named.gz", "2"}, dir.path()).out, "beer (2)\nbread milk (3)\n");
  // Damaged: status 2 and the reader's message; nothing on standard output.
  const std::pair<ProcessResult, std::string> damaged[] = {
      {run_program(mine, {"cut.gz", "8"}, dir.path()), "cut.gz could not be read!\n"},
      {run_program("/bin/sh", {"-c", "cat cut.gz | '" + mine + "' - 8"}, dir.path()),
       "standard input could not be read!\n"}};
  for (const auto& [r, message] : damaged) {
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, message);
    EXPECT_EQ(r.out, "");
  }
}

}  // namespace
}  // namespace zub
