// zub-mine-mpi started by mpirun with 1 to 4 ranks (oversubscribed) on
// random databases, against the brute force and against zub-mine: every
// target, both maximal methods, length limits, percentages, threads,
// names, part folders, standard input, gzip and the formats; then the
// failures: a bad argument, a part that cannot be opened, a bad line in a
// later rank's range (of a file, of a folder's part), a rank killed while
// rank 0 writes; and a real dataset's maximal itemsets (a share read in
// two byte ranges). Each rank must receive the positions the
// plan counted for it.
#include <gtest/gtest.h>
#include <signal.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <thread>

#include "support/brute_force.h"
#include "support/random_db.h"
#include "support/test_support.h"

namespace zub {
namespace {

using test::ProcessResult;
using test::TempDir;

#if defined(ZUB_MINE_MPI_BINARY) && defined(ZUB_MPIRUN)
constexpr bool kBuilt = true;
const char* const kMpiBinary = ZUB_MINE_MPI_BINARY;
const char* const kMpirun = ZUB_MPIRUN;
#else
constexpr bool kBuilt = false;
const char* const kMpiBinary = "";
const char* const kMpirun = "";
#endif

class Mpi : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!kBuilt) GTEST_SKIP() << "zub-mine-mpi is not built: MPI was not found, or the build lacks -DZUB_MPI=ON";
    // mpirun refuses root without these (CI runs as root).
    setenv("OMPI_ALLOW_RUN_AS_ROOT", "1", 0);
    setenv("OMPI_ALLOW_RUN_AS_ROOT_CONFIRM", "1", 0);
  }
  // zub-mine-mpi on `ranks` ranks, in `dir`.
  static ProcessResult mpi(const TempDir& dir, int ranks, const std::vector<std::string>& args,
                           const std::string& stdin_path = "") {
    std::vector<std::string> all{"--oversubscribe", "-np", std::to_string(ranks), kMpiBinary};
    all.insert(all.end(), args.begin(), args.end());
    return test::run_program(kMpirun, all, dir.path(), stdin_path);
  }
  static ProcessResult mine(const TempDir& dir, const std::vector<std::string>& args) {
    return test::run_program(test::zub_mine_binary(), args, dir.path());
  }
};

// The file's lines split into `parts` part files of `folder` (some empty),
// beside a _SUCCESS marker and a hidden file, which are not data.
void write_parts(const TempDir& dir, const std::string& folder, const std::string& text, int parts) {
  std::filesystem::create_directory(dir.path() / folder);
  std::size_t at = 0;
  for (int p = 0; p < parts; ++p) {
    std::size_t end = p + 1 == parts ? text.size() : text.find('\n', at + (text.size() - at) / (parts - p));
    end = end == std::string::npos ? text.size() : std::min(text.size(), end + 1);
    char name[32];
    std::snprintf(name, sizeof name, "/part-%05d", p);
    dir.write(folder + name, text.substr(at, end - at));
    at = end;
  }
  dir.write(folder + "/_SUCCESS", "");
  dir.write(folder + "/.part-00000.crc", "1 2 3\n");
}

// Every rank received as many positions as the plan counted for it (the
// plan balances the ranks on those counts).
void expect_received_as_planned(const std::string& err, int ranks, const std::string& what) {
  int seen = 0;
  for (std::size_t at = err.find("rank "); at != std::string::npos; at = err.find("rank ", at + 1)) {
    long long received = -1, planned = -2;
    int rank = -1;
    if (std::sscanf(err.c_str() + at, "rank %d: units %*d (estimated size %*d), positions received %lld (planned %lld)",
                    &rank, &received, &planned) != 3)
      continue;
    EXPECT_EQ(received, planned) << what << ", rank " << rank;
    ++seen;
  }
  EXPECT_EQ(seen, ranks) << what << "\n" << err;
}

// Each random database mined by one configuration: ranks 1 to 4 in turn,
// the four targets in turn, options drawn from the seed.
TEST_F(Mpi, EveryTargetAgreesWithBruteForceAndZubMine) {
  const char* targets[] = {"all", "maximal", "closed", "rules"};
  for (std::uint32_t seed = 1; seed <= 24; ++seed) {
    const test::RandomDb db = test::random_db(seed, seed % 5 == 0);
    std::mt19937 rng(seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    TempDir dir;
    dir.write("db", db.text);
    const std::string target = targets[seed % 4];
    const int ranks = 1 + static_cast<int>(seed / 4) % 4;
    const int minsup = pick(1, 6);
    std::vector<std::string> args{"--target", target};
    const bool limited = pick(0, 3) == 0;
    if (limited) args.insert(args.end(), {"--min-len", "2", "--max-len", std::to_string(pick(2, 4))});
    if (target == "maximal" && pick(0, 1) == 1) args.insert(args.end(), {"--method", "projected"});
    const std::string threads = pick(0, 3) == 0 ? "2" : "1";
    std::string input = "db";
    if (pick(0, 2) == 0) {
      write_parts(dir, "parts", db.text, pick(1, 5));
      input = "parts";
    }
    const std::string what = "seed " + std::to_string(seed) + ", " + target + ", " + std::to_string(ranks) +
                             " ranks, " + threads + " threads, " + input + (limited ? ", limited" : "");
    std::vector<std::string> one = args, many = args;
    one.insert(one.end(), {"--threads", "1", "db", std::to_string(minsup)});
    many.insert(many.end(), {"--threads", threads, "--stats", input, std::to_string(minsup), "out"});
    const ProcessResult expected = mine(dir, one);
    const ProcessResult got = mpi(dir, ranks, many);
    ASSERT_EQ(got.status, 0) << what << "\n" << got.err;
    expect_received_as_planned(got.err, ranks, what);
    const std::string out = dir.read("out");
    // The all-itemsets and rules bytes do not depend on the ranks; the
    // others' lines may come in another order.
    if ((target == "all" || target == "rules") && threads == "1") {
      EXPECT_EQ(out, expected.out) << what;
      continue;
    }
    if (target == "rules") continue;  // rules on two threads: the same bytes too, checked above on one
    const test::Mined found = test::parse_itemsets(out);
    EXPECT_EQ(found, test::parse_itemsets(expected.out)) << what;
    if (limited) continue;
    const test::Mined frequent = test::brute_force_frequent(db.transactions, minsup);
    const test::Mined truth = target == "all"     ? frequent
                              : target == "closed" ? test::closed_of(frequent)
                                                   : test::brute_force_maximal(db.transactions, minsup);
    EXPECT_EQ(found, truth) << what << "\n" << test::describe(found);
  }
}

// A gzip file and standard input are read by rank 0 and scattered; names
// read by ranges are numbered as one process numbers them; the formats
// and sorted items.
TEST_F(Mpi, NamesStandardInputGzipAndFormats) {
  TempDir dir;
  std::mt19937 rng(7);
  std::string text, words_text;
  const char* words[] = {"milk", "bread", "eggs", "jam", "tea", "rice", "salt", "oil", "beans", "figs"};
  for (int t = 0; t < 400; ++t) {
    for (int k = 0, n = std::uniform_int_distribution<int>(0, 7)(rng); k < n; ++k) {
      const int item = std::uniform_int_distribution<int>(0, 9)(rng) / (k % 2 + 1);
      text += std::to_string(item * 7) + " ";
      words_text += std::string(words[item]) + (k + 1 < n ? "," : "");
    }
    text += "\n";
    words_text += "\n";
  }
  dir.write("db", text);
  dir.write("words", words_text);
  write_parts(dir, "words_parts", words_text, 3);
  gzFile gz = gzopen(dir.file("db.gz").c_str(), "wb");
  ASSERT_NE(gz, nullptr);
  gzwrite(gz, text.data(), static_cast<unsigned>(text.size()));
  gzclose(gz);
  const std::string all = mine(dir, {"--threads", "1", "--target", "all", "db", "20"}).out;
  for (int ranks : {2, 3}) {
    EXPECT_EQ(mpi(dir, ranks, {"--target", "all", "db.gz", "20"}).out, all) << ranks << " ranks, gzip";
    EXPECT_EQ(mpi(dir, ranks, {"--target", "all", "-", "20"}, dir.file("db")).out, all) << ranks << " ranks, stdin";
  }
  const std::vector<std::vector<std::string>> styles = {
      {"--target", "all", "--names", "--format", "csv"},
      {"--target", "closed", "--names", "--format", "json", "--sort-items"},
      {"--target", "rules", "--names", "--sort-items", "--min-confidence", "0.5"},
      {"--target", "maximal", "--names", "--sort-items"}};
  for (const auto& style : styles) {
    std::vector<std::string> one = style, many = style;
    one.insert(one.end(), {"--threads", "1", "words", "5%"});
    many.insert(many.end(), {"--threads", "1", "words_parts", "5%"});
    const std::string expected = mine(dir, one).out;
    const ProcessResult got = mpi(dir, 3, many);
    ASSERT_EQ(got.status, 0) << style[1] << "\n" << got.err;
    // Sorted items make each line the same; the lines of closed and maximal
    // itemsets may come in another order.
    std::vector<std::string> a, b;
    std::istringstream ea(expected), gb(got.out);
    for (std::string l; std::getline(ea, l);) a.push_back(l);
    for (std::string l; std::getline(gb, l);) b.push_back(l);
    if (style[1] == "closed" || style[1] == "maximal") {
      std::sort(a.begin(), a.end());
      std::sort(b.begin(), b.end());
    }
    EXPECT_EQ(b, a) << style[1];
    EXPECT_FALSE(a.empty()) << style[1];
  }
}

// The same bytes for every number of ranks (all itemsets on one thread, as
// zub-mine writes them), and again for a second run with the same ranks
// (every target); --stats names each rank's units and bytes.
TEST_F(Mpi, SameBytesForEveryNumberOfRanksAndRun) {
  TempDir dir;
  const test::RandomDb db = test::random_db(99, true);
  dir.write("db", db.text);
  const std::string expected = mine(dir, {"--threads", "1", "--target", "all", "db", "3"}).out;
  for (int ranks = 1; ranks <= 4; ++ranks)
    EXPECT_EQ(mpi(dir, ranks, {"--threads", "1", "--target", "all", "db", "3"}).out, expected) << ranks;
  for (const char* target : {"maximal", "closed"}) {
    const ProcessResult first = mpi(dir, 3, {"--threads", "2", "--stats", "--target", target, "db", "3"});
    EXPECT_EQ(mpi(dir, 3, {"--threads", "2", "--target", target, "db", "3"}).out, first.out) << target;
    EXPECT_NE(first.err.find("ranks: 3\n"), std::string::npos) << first.err;
    EXPECT_NE(first.err.find("rank 2: units "), std::string::npos) << first.err;
  }
}

// A real dataset with many units, where rank 0 mines and writes at once:
// the maximal itemsets of zub-mine for 1 and 3 ranks, each rank receiving
// what the plan counted (of the dataset twice at 20: its items frequent at 10).
TEST_F(Mpi, MaximalItemsetsOfARealDataset) {
  const std::string file = test::dataset("T10I4D100K.dat");
  if (file.empty()) GTEST_SKIP() << test::no_dataset("T10I4D100K.dat");
  TempDir dir;
  // Twice over, so that one rank reads its share in two byte ranges (of 4
  // MiB) on its two threads and reads them again one after the other.
  std::ifstream in(file, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  dir.write("db", text + text);
  const test::Mined expected = test::parse_itemsets(mine(dir, {"--threads", "1", "db", "20"}).out);
  for (int ranks : {1, 3}) {
    const ProcessResult got = mpi(dir, ranks, {"--threads", "2", "--stats", "db", "20"});
    ASSERT_EQ(got.status, 0) << got.err;
    EXPECT_EQ(test::parse_itemsets(got.out), expected) << ranks << " ranks";
    expect_received_as_planned(got.err, ranks, std::to_string(ranks) + " ranks");
  }
}

// The peak memory --stats reports for `rank`, in MB; -1 if not found.
double rank_peak_mb(const std::string& stats, int rank) {
  const std::string head = "rank " + std::to_string(rank) + ": ";
  const std::size_t line = stats.find(head);
  if (line == std::string::npos) return -1;
  const std::size_t at = stats.find("peak memory ", line);
  return at == std::string::npos ? -1 : std::atof(stats.c_str() + at + 12);
}

// Wide lines (all of n ids, then each half, MINSUP 1): each rank's closure
// units of ids whose transactions all hold a rarer id end at once, as one
// process's do; checking each one's closure over the whole line took 4.7 s
// of processor time a rank at 40,000 ids. And the maximal units, one per
// id and nearly all finding nothing, reach rank 0 a message of many units
// at a time: a message each piled up at rank 0 (200,000 ids: 156 MB
// against rank 1's 55) and took it seconds at a million.
TEST_F(Mpi, WideLinesEndSoon) {
  TempDir dir;
  auto halves = [](int n) {
    std::string all, low, high;
    for (int x = 0; x < n; ++x) (x < n / 2 ? low : high) += std::to_string(x) + " ", all += std::to_string(x) + " ";
    return all + "\n" + low + "\n" + high + "\n";
  };
  dir.write("wide", halves(200000));
  {
    const ProcessResult got = mpi(dir, 2, {"--stats", "wide", "1"});
    ASSERT_EQ(got.status, 0) << got.err;
    EXPECT_EQ(test::parse_itemsets(got.out), test::parse_itemsets(mine(dir, {"wide", "1"}).out));
    const double writer = rank_peak_mb(got.err, 0), other = rank_peak_mb(got.err, 1);
    ASSERT_GT(other, 0) << got.err;
    EXPECT_LT(writer, other + 40) << got.err;
  }
  dir.write("db", halves(40000));
  test::RunOptions bounds;
  bounds.cpu_seconds = 3;  // each rank's; about 0.3 s
  for (const std::vector<std::string>& target : {std::vector<std::string>{"--target", "closed"},
                                                 std::vector<std::string>{"--target", "rules", "--max-len", "1"}}) {
    std::vector<std::string> args{"--oversubscribe", "-np", "2", kMpiBinary};
    args.insert(args.end(), target.begin(), target.end());
    args.insert(args.end(), {"db", "1"});
    const ProcessResult got = test::run_program(kMpirun, args, dir.path(), bounds);
    ASSERT_EQ(got.status, 0) << target[1] << ": " << got.err;
    std::vector<std::string> one = target;
    one.insert(one.end(), {"db", "1"});
    EXPECT_EQ(test::parse_itemsets(got.out), test::parse_itemsets(mine(dir, one).out)) << target[1];
  }
}

TEST_F(Mpi, FailuresAreReportedOnceAndLeaveNoOutput) {
  TempDir dir;
  std::string text;
  for (int t = 0; t < 3000; ++t) text += std::to_string(t % 7) + " " + std::to_string(t % 5 + 10) + "\n";
  dir.write("db", text);
  // A bad argument: rank 0 says it once.
  ProcessResult r = mpi(dir, 3, {"--target", "bogus", "db", "2"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.find("zub-mine-mpi: --target must be"), r.err.rfind("zub-mine-mpi: --target must be")) << r.err;
  EXPECT_NE(r.err.find("zub-mine-mpi: --target must be"), std::string::npos) << r.err;
  // zub-mine's other layouts cannot be cut into byte ranges: refused once.
  r = mpi(dir, 2, {"--separator", ",", "db", "2"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("zub-mine-mpi: --separator, --header and --input single are read by zub-mine only"),
            std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("--input single are read"), r.err.rfind("--input single are read")) << r.err;
  // A part that cannot be opened.
  write_parts(dir, "parts", text, 3);
  std::filesystem::create_symlink(dir.path() / "nowhere", dir.path() / "parts" / "part-00009");
  r = mpi(dir, 2, {"parts", "2", "out"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("rank 0: parts/part-00009 could not be opened!"), std::string::npos) << r.err;
  // A bad line in rank 2's range of 4 (at about 60% of the bytes): its
  // line number in the file, as zub-mine gives it.
  dir.write("bad", text + text.substr(0, text.size() / 4 / 4 * 4) + "\n1 99999999999 2\n" + text);
  const ProcessResult one = mine(dir, {"bad", "2"});
  r = mpi(dir, 4, {"bad", "2", "out"});
  EXPECT_EQ(r.status, one.status);
  EXPECT_NE(r.err.find("rank 2: " + one.err), std::string::npos) << r.err << " against " << one.err;
  EXPECT_FALSE(dir.exists("out"));
  // The same in a folder, in the middle part: its line within that part,
  // whose first lines rank 0 read (of 3; rank 1 reads the bad line).
  std::filesystem::remove(dir.path() / "parts" / "part-00009");
  const std::string bad_part = text + "1 99999999999 2\n" + text;
  dir.write("parts/part-00000", text);
  dir.write("parts/part-00001", bad_part);
  dir.write("parts/part-00002", text);
  r = mpi(dir, 3, {"parts", "2", "out"});
  EXPECT_EQ(r.status, one.status);
  EXPECT_NE(r.err.find("rank 1: parts/part-00001, line 3001: item id is larger than 2147483647!"), std::string::npos)
      << r.err;
  EXPECT_FALSE(dir.exists("out"));
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    EXPECT_EQ(entry.path().filename().string().find(".out.zub-"), std::string::npos) << entry.path();
}

// A rank killed while rank 0 gathers the results: the job ends with a
// failure and neither the output nor its temporary is left.
TEST_F(Mpi, KilledRankEndsTheJobWithoutOutput) {
  TempDir dir;
  std::mt19937 rng(3);
  std::string text;  // dense enough for millions of itemsets at support 2
  for (int t = 0; t < 300; ++t) {
    for (int k = 0; k < 21; ++k)
      if (std::uniform_int_distribution<int>(0, 3)(rng) < 3) text += std::to_string(k) + " ";
    text += "\n";
  }
  dir.write("db", text);
  // Each rank's process id, for the kill: the shell becomes the program.
  const std::string command = "echo $$ > pid.$OMPI_COMM_WORLD_RANK; exec '" + std::string(kMpiBinary) +
                              "' --threads 1 --target all db 2 out";
  test::StartedProgram job(kMpirun, {"--oversubscribe", "-np", "2", "/bin/sh", "-c", command}, dir.path(), {});
  // Rank 0 opens its temporary once the input is read.
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  auto temporary = [&] {
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      if (entry.path().filename().string().rfind(".out.zub-", 0) == 0) return true;
    return false;
  };
  while (!temporary() && !job.ended() && std::chrono::steady_clock::now() < give_up)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(temporary()) << "rank 0 opened no output";
  ASSERT_TRUE(dir.exists("pid.1"));
  ASSERT_FALSE(job.ended()) << "the run ended before rank 1 could be killed";
  ::kill(std::stoi(dir.read("pid.1")), SIGKILL);
  const ProcessResult r = job.wait();
  EXPECT_NE(r.status, 0) << r.err;
  EXPECT_FALSE(dir.exists("out"));
  EXPECT_FALSE(temporary());
}

}  // namespace
}  // namespace zub
