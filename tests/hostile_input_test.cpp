// The programs run end to end on input nobody checked: one row per case, each
// with the exit status and the message on standard output it must end with,
// what the output file and the run log hold afterwards. Whatever the input, a
// run ends with complete, correct output and status 0, or with a message and
// a non-zero status; never with a signal.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <regex>

#include "support/brute_force.h"
#include "support/test_support.h"

namespace zub {
namespace {

using test::Database;
using test::TempDir;

enum class Program { zub, zub_mine };

// Expected status of a failure whose exact value is not fixed: 1 to 125.
constexpr int kFails = -1;

const std::string kUsage = "usage: zub <infile> <MINSUP> [<outfile>]\n";
const std::string kNoMemory = "Not enough memory!\n";
// What "out" holds before a row that checks whether the run replaces it.
const std::string kStale = "1 2 3 (99)\n";

// What the output file "out" holds after the run.
struct OutFile {
  enum Kind { unchecked, absent, untouched, exact, itemsets } kind = unchecked;
  std::string text;   // exact
  test::Mined mined;  // itemsets: the itemsets and supports, in any order
};
OutFile out_absent() { return OutFile{OutFile::absent, "", {}}; }
OutFile out_untouched() { return OutFile{OutFile::untouched, "", {}}; }
OutFile out_exact(std::string text) { return OutFile{OutFile::exact, std::move(text), {}}; }
// The maximal itemsets that the brute-force miner finds in db.
OutFile out_maximal(const Database& db, int minsup) {
  return OutFile{OutFile::itemsets, "", test::brute_force_maximal(db, minsup)};
}

// What the run log "testfile.txt" holds after the run.
struct RunLog {
  enum Kind { unchecked, absent, empty, one_report, unchanged } kind = unchecked;
  int mfi = 0;  // one_report: its MFI figure
};
RunLog log_absent() { return RunLog{RunLog::absent, 0}; }
RunLog log_empty() { return RunLog{RunLog::empty, 0}; }
RunLog log_report(int mfi) { return RunLog{RunLog::one_report, mfi}; }
RunLog log_unchanged() { return RunLog{RunLog::unchanged, 0}; }

// Earlier content of the run log for the rows that fill the disk behind it.
std::string earlier_log() {
  std::string s;
  for (int k = 0; k < 5; ++k)
    s += "\n------------------------\nzub db " + std::to_string(k) +
         " out \nMFI: 3\nTime: 0.100\nNo. of F1: 3\nNo. of subset checking: 4\nNo. of projection: 0\n";
  return s;
}

using Setup = std::function<void(const TempDir&)>;

struct Row {
  std::string name;
  Program program;
  std::vector<std::string> args;  // run in a fresh directory prepared by `setup`
  Setup setup;
  int status;                     // exact, or kFails
  std::string message;            // standard output
  OutFile out;
  RunLog log;
  bool message_contains = false;  // the message need only contain `message`
  bool as_other_user = false;     // run as a user other than root
  unsigned long long address_space = 0;  // RLIMIT_AS of the run, bytes
  unsigned long long file_size = 0;      // RLIMIT_FSIZE of the run, bytes
  std::string stdout_path = "";          // standard output goes there instead
  std::string error_message = "";        // the error stream
  std::string stdin_path = "";           // standard input, a path in the run's directory
};

Setup files(std::vector<std::pair<std::string, std::string>> contents, bool stale_out = false) {
  return [contents, stale_out](const TempDir& dir) {
    for (const auto& [name, text] : contents) dir.write(name, text);
    if (stale_out) dir.write("out", kStale);
  };
}

// The length report of the single-path shortcut for one itemset of n items.
std::string length_report(int n) {
  std::string s = "1\n";
  for (int k = 1; k < n; ++k) s += "0\n";
  char tail[96];
  std::snprintf(tail, sizeof tail, "1\n\n\nF1: %d\nAVGlen: %d.00\nMFI: 1\n", n, n);
  return s + tail;
}

// One line of about 50 MB: ids 0 to distinct-1 over and over, or all distinct.
Setup long_line(bool all_distinct) {
  return [all_distinct](const TempDir& dir) {
    std::string line;
    line.reserve(50'000'100);
    for (int k = 0; line.size() < 50'000'000; ++k) line.append(std::to_string(all_distinct ? k : k % 1000)).push_back(' ');
    line.push_back('\n');
    dir.write("db", line);
  };
}

// How many ids the all-distinct long line holds.
int distinct_ids_on_long_line() {
  std::size_t size = 0;
  int k = 0;
  for (; size < 50'000'000; ++k) size += std::to_string(k).size() + 1;
  return k;
}

test::Itemset ids_below(int n) {
  test::Itemset all;
  for (int k = 0; k < n; ++k) all.push_back(k);
  return all;
}

Database pairs_chain(int n) {
  Database db;
  for (int k = 0; k < n; ++k) db.push_back({k, k + 1});
  return db;
}
std::string text_of(const Database& db) {
  std::string s;
  for (const auto& t : db) {
    for (int x : t) s.append(std::to_string(x)).push_back(' ');
    s.push_back('\n');
  }
  return s;
}

Setup unreadable_db() {
  return [](const TempDir& dir) {
    dir.write("db", "1 2\n1 2\n");
    std::filesystem::permissions(dir.path() / "db", std::filesystem::perms::none);
  };
}

const Database kThree = {{1, 2}, {1, 3}, {2, 3}};
const std::string kThreeText = "1 2\n1 3\n2 3\n";

std::vector<Row> rows() {
  const Program Z = Program::zub;
  const Program M = Program::zub_mine;
  const Setup three = files({{"db", kThreeText}});
  const Setup three_stale = files({{"db", kThreeText}}, true);
  std::vector<Row> r = {
      // The command line.
      {"no_arguments", Z, {}, files({}), 1, kUsage, out_absent(), log_absent()},
      {"one_argument", Z, {"db"}, three, 1, kUsage, out_absent(), log_absent()},
      {"fifth_argument", Z, {"db", "1", "out", "extra"}, three, 1, kUsage, out_absent(), log_absent()},
      {"sixth_argument", Z, {"db", "1", "out", "x", "y"}, three, 1, kUsage, out_absent(), log_absent()},
      {"minsup_percentage", Z, {"db", "5%", "out"}, three, 1, kUsage, out_absent(), log_absent()},
      {"minsup_empty", Z, {"db", "", "out"}, three, 1, kUsage, out_absent(), log_absent()},
      {"minsup_beyond_int", Z, {"db", "2147483648", "out"}, three, 1, kUsage, out_absent(), log_absent()},
      {"minsup_zero", Z, {"db", "0", "out"}, three, 0, "", out_maximal(kThree, 0), log_report(1)},
      {"minsup_negative", Z, {"db", "-1", "out"}, three, 0, "", out_maximal(kThree, -1), log_report(1)},
      {"minsup_above_transaction_count", Z, {"db", "4", "out"}, three_stale, 0, "", out_exact(""), log_empty()},

      // The transaction file's content.
      {"empty_file", Z, {"db", "1", "out"}, files({{"db", ""}}, true), 0, "", out_exact(""), log_empty()},
      {"only_line_feeds", Z, {"db", "1", "out"}, files({{"db", "\n\n\n"}}, true), 0, "", out_exact(""), log_empty()},
      {"crlf_line_ends", Z, {"db", "2", "out"}, files({{"db", "1 2\r\n1 2 3\r\n2 3\r\n"}}), 0, "",
       out_maximal({{1, 2}, {1, 2, 3}, {2, 3}}, 2), log_report(2)},
      {"nul_and_binary_bytes", Z, {"db", "1", "out"},
       files({{"db", std::string("1\0" "2\x01\xff" "3\n\x80" "2\x7f" "4\n\0\0\n", 14)}}), 0, "",
       out_maximal({{1, 2, 3}, {2, 4}, {}}, 1), log_report(2)},
      {"line_of_50_mb", Z, {"db", "1", "out"}, long_line(false), 0, length_report(1000),
       OutFile{OutFile::itemsets, "", {{ids_below(1000), 1}}}, log_empty()},
      {"id_2147483647", Z, {"db", "1", "out"}, files({{"db", "1 2\n2147483647\n"}}), 3, kNoMemory, out_absent(),
       log_empty()},
      {"id_2147483648", Z, {"db", "1", "out"}, files({{"db", "1 2\n2147483648 1\n"}}, true), 2,
       "db, line 2: item id is larger than 2147483647!\n", out_untouched(), log_empty()},
      {"ids_near_int_max", Z, {"db", "2", "out"}, files({{"db", "2147483000 5\n2147483646 5\n"}}), 3, kNoMemory,
       out_absent(), log_empty()},

      // Files that are not what they should be.
      {"missing_input", Z, {"missing.dat", "2", "out"}, files({}), 2, "missing.dat could not be opened!\n",
       out_absent(), log_empty()},
      {"directory_as_input", Z, {"sub", "1", "out"}, [](const TempDir& d) { std::filesystem::create_directory(d.path() / "sub"); },
       2, "sub could not be read!\n", out_absent(), log_empty()},
      {"dev_null_as_input", Z, {"/dev/null", "1", "out"}, files({}, true), 0, "", out_exact(""), log_empty()},
      {"output_in_missing_directory", Z, {"db", "1", "no/such/dir/out"}, three, 2,
       "no/such/dir/out could not be opened!\n", out_absent(), log_empty()},
      {"output_to_dev_full", Z, {"db", "1", "/dev/full"}, three, 2, "/dev/full could not be written!\n", out_absent(),
       log_empty()},
      {"run_log_is_a_directory", Z, {"db", "1", "out"},
       [](const TempDir& d) {
         d.write("db", kThreeText);
         std::filesystem::create_directory(d.path() / "testfile.txt");
       },
       2, "testfile.txt could not be opened; no run report is written.\n", out_maximal(kThree, 1), RunLog{}},
  };

  Row unreadable{"input_without_read_permission", Z, {"db", "1", "out"}, unreadable_db(), 2,
                 "db could not be opened!\n", out_absent(), log_empty()};
  unreadable.as_other_user = true;
  r.push_back(unreadable);

  // Files that reach the file-size limit: the output, and the run log.
  Row big_output{"output_beyond_file_size_limit", Z, {"db", "1", "out"}, files({{"db", text_of(pairs_chain(800))}}),
                 2, "out could not be written!\n", OutFile{}, log_empty()};
  big_output.file_size = 4096;
  r.push_back(big_output);
  Row full_log{"run_log_beyond_file_size_limit", Z, {"db", "1", "out"},
               files({{"db", kThreeText}, {"testfile.txt", earlier_log()}}), 2, "testfile.txt could not be written!\n",
               out_maximal(kThree, 1), log_unchanged()};
  full_log.file_size = earlier_log().size() + 40;
  r.push_back(full_log);

  // Standard output that cannot be written: the length report of a
  // single-path run is lost, so the run fails; a run that prints nothing is
  // not affected.
  Row report_lost{"length_report_to_dev_full", Z, {"db", "2", "out"}, files({{"db", "7 3 5\n3 7 5\n3\n"}}), 2, "",
                  out_exact("3 5 7 (2)\n"), log_empty()};
  report_lost.stdout_path = "/dev/full";
  report_lost.error_message = "zub: standard output could not be written!\n";
  r.push_back(report_lost);
  Row nothing_lost{"silent_run_with_stdout_to_dev_full", Z, {"db", "1", "out"}, three, 0, "", out_maximal(kThree, 1),
                   log_report(3)};
  nothing_lost.stdout_path = "/dev/full";
  r.push_back(nothing_lost);

  // A line of distinct ids makes millions of frequent items. Their pairs are
  // kept sparsely, so the one path they form is written; the limit keeps
  // the run from depending on what the machine would promise.
  Row distinct{"line_of_50_mb_distinct_ids", Z, {"db", "1", "out"}, long_line(true), 0,
               length_report(distinct_ids_on_long_line()), OutFile{}, log_empty()};
  distinct.address_space = 2ULL << 30;
  r.push_back(distinct);

  // zub-mine: messages go to the error stream (standard output carries
  // itemsets), no run log is kept, and the output file is always written.
  auto mine = [&](const char* name, std::vector<std::string> args, std::function<void(const TempDir&)> setup,
                  int status, const char* error, OutFile out) {
    Row row{name, M, std::move(args), std::move(setup), status, "", std::move(out), log_absent()};
    row.error_message = error;
    r.push_back(row);
  };
  mine("mine_empty_file", {"db", "1", "out"}, files({{"db", ""}}), 0, "", OutFile{OutFile::exact, "", {}});
  mine("mine_missing_input", {"missing.dat", "2"}, files({}), 2, "missing.dat could not be opened!\n", out_absent());
  mine("mine_directory_as_input", {"sub", "1"},
       [](const TempDir& d) { std::filesystem::create_directory(d.path() / "sub"); }, 2, "sub could not be read!\n",
       out_absent());
  mine("mine_id_2147483648", {"db", "1"}, files({{"db", "1 2\n2147483648 1\n"}}), 2,
       "db, line 2: item id is larger than 2147483647!\n", out_absent());
  for (const char* target : {"maximal", "closed", "all"})
    mine((std::string("mine_") + target + "_output_to_dev_full").c_str(), {"--target", target, "db", "1", "/dev/full"},
         three, 2, "/dev/full could not be written!\n", out_absent());
  mine("mine_output_in_missing_directory", {"db", "1", "no/such/dir/out"}, three, 2,
       "no/such/dir/out could not be opened!\n", out_absent());
  // Named items: a parenthesis would break the itemset line.
  mine("mine_name_with_open_parenthesis", {"--names", "db", "1", "out"}, files({{"db", "a b\nb f(x) c\n"}}), 2,
       "db, line 2: item name \"f(x)\" has a parenthesis!\n", out_absent());
  mine("mine_name_with_close_parenthesis", {"--names", "db", "1", "out"}, files({{"db", "\r\n\nx)\n"}}), 2,
       "db, line 3: item name \"x)\" has a parenthesis!\n", out_absent());
  // Standard input that cannot be read.
  mine("mine_stdin_is_a_directory", {"-", "1", "out"},
       [](const TempDir& d) { std::filesystem::create_directory(d.path() / "sub"); }, 2,
       "standard input could not be read!\n", out_absent());
  r.back().stdin_path = "sub";
  return r;
}

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

std::string binary_of(Program p) {
  if (p == Program::zub) return test::zub_binary();
#ifdef ZUB_MINE_BINARY
  return ZUB_MINE_BINARY;
#else
  return "";
#endif
}

// The run log holds exactly one run report of the given MFI figure.
void expect_one_report(const std::string& log, const std::string& binary, const std::vector<std::string>& args,
                       int mfi) {
  std::string command = binary + " ";
  for (const auto& a : args) command += a + " ";
  const std::string head = "\n------------------------\n" + command + "\nMFI: " + std::to_string(mfi) + "\n";
  ASSERT_EQ(log.substr(0, head.size()), head) << log;
  static const std::regex figures(
      "Time: -?[0-9]+\\.[0-9]{3}\nNo\\. of F1: [0-9]+\nNo\\. of subset checking: [0-9]+\nNo\\. of projection: [0-9]+\n");
  EXPECT_TRUE(std::regex_match(log.substr(head.size()), figures)) << log;
}

// Whether a user that is neither owner nor in the group may run `binary`:
// the file and every directory above it must let others in.
bool others_may_run(const std::filesystem::path& binary) {
  using std::filesystem::perms;
  std::error_code ec;
  for (auto p = std::filesystem::absolute(binary); ; p = p.parent_path()) {
    if ((std::filesystem::status(p, ec).permissions() & perms::others_exec) == perms::none || ec) return false;
    if (p == p.root_path()) return true;
  }
}

class Hostile : public ::testing::TestWithParam<Row> {};

TEST_P(Hostile, EndsWithStatusAndMessage) {
  const Row& row = GetParam();
  const std::string binary = binary_of(row.program);
  if (binary.empty()) GTEST_SKIP() << "zub-mine is not built in this tree";
  test::RunOptions options;
  if (row.address_space != 0) {
#ifdef ZUB_SANITIZED
    GTEST_SKIP() << "AddressSanitizer needs more address space than the limit; the Release build runs this row";
#endif
    options.address_space = row.address_space;
  }
  options.file_size = row.file_size;
  options.stdout_path = row.stdout_path;
  TempDir dir;
  row.setup(dir);
  if (!row.stdin_path.empty()) options.stdin_path = dir.file(row.stdin_path);
  if (row.as_other_user) {
    if (!test::other_user(options.uid, options.gid)) GTEST_SKIP() << "running as root and there is no user 'nobody'";
    if (geteuid() == 0 && !others_may_run(binary)) GTEST_SKIP() << "user 'nobody' may not run " << binary;
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
  }

  const test::ProcessResult r = test::run_program(binary, row.args, dir.path(), options);
  if (row.status == kFails) {
    EXPECT_TRUE(r.status >= 1 && r.status <= 125) << "status " << r.status;
  } else {
    EXPECT_EQ(r.status, row.status);
  }
  if (row.message_contains)
    EXPECT_NE(r.out.find(row.message), std::string::npos) << r.out;
  else if (row.message.size() > 4096)
    EXPECT_TRUE(r.out == row.message) << "standard output differs; its first line: " << r.out.substr(0, r.out.find('\n'));
  else
    EXPECT_EQ(r.out, row.message);
  EXPECT_EQ(r.err, row.error_message);

  switch (row.out.kind) {
    case OutFile::unchecked: break;
    case OutFile::absent: EXPECT_FALSE(dir.exists("out")); break;
    case OutFile::untouched: EXPECT_EQ(dir.read("out"), kStale); break;
    case OutFile::exact:
      EXPECT_TRUE(dir.exists("out"));
      EXPECT_EQ(dir.read("out"), row.out.text);
      break;
    case OutFile::itemsets: {
      ASSERT_TRUE(dir.exists("out"));
      const test::Mined written = test::parse_itemsets(dir.read("out"));
      EXPECT_EQ(written, row.out.mined) << "written:\n"
                                        << test::describe(written) << "expected:\n"
                                        << test::describe(row.out.mined);
      break;
    }
  }
  switch (row.log.kind) {
    case RunLog::unchecked: break;
    case RunLog::absent: EXPECT_FALSE(dir.exists("testfile.txt")); break;
    case RunLog::empty:
      EXPECT_TRUE(dir.exists("testfile.txt"));
      EXPECT_EQ(dir.read("testfile.txt"), "");
      break;
    case RunLog::unchanged: EXPECT_EQ(dir.read("testfile.txt"), earlier_log()); break;
    case RunLog::one_report: expect_one_report(dir.read("testfile.txt"), binary, row.args, row.log.mfi); break;
  }
}

INSTANTIATE_TEST_SUITE_P(Table, Hostile, ::testing::ValuesIn(rows()),
                         [](const ::testing::TestParamInfo<Row>& info) { return info.param.name; });

}  // namespace
}  // namespace zub
