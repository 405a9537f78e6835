// zub run end to end on input nobody checked: one row per case, each with the
// exit status, what it must print, and what the output file and the run log
// hold afterwards. Whatever the input, a run ends with complete, correct
// output and status 0, or with a message and a non-zero status; never with a
// signal, and never with its temporary output left behind. Rows marked
// mine() run zub-mine, for the output files both programs share; its other
// rejected inputs are the table in zub_mine_test.cpp.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <functional>
#include <regex>

#include "support/brute_force.h"
#include "support/reading.h"
#include "support/test_support.h"

namespace zub {
namespace {

using test::Database;
using test::TempDir;

const std::string kUsage = "usage: zub <infile> <MINSUP> [<outfile>]\n";
const std::string kStale = "1 2 3 (99)\n";  // "out" before a row that checks the run replaces it

// What the output file "out" holds after the run.
struct OutFile {
  enum Kind { unchecked, absent, exact, itemsets } kind = unchecked;
  std::string text;   // exact
  test::Mined mined;  // itemsets: the itemsets and supports, in any order
};
OutFile out_absent() { return {OutFile::absent, "", {}}; }
OutFile out_exact(std::string text) { return {OutFile::exact, std::move(text), {}}; }
OutFile out_maximal(const Database& db, int minsup) {  // as the brute-force miner finds them
  return {OutFile::itemsets, "", test::brute_force_maximal(db, minsup)};
}

// What the run log "testfile.txt" holds after the run, beside what it held before.
struct RunLog {
  enum Kind { unchecked, absent, unchanged, one_report } kind = unchecked;
  int mfi = 0;            // one_report: its MFI figure
  std::string figures{};  // and, when given, the figures after the time
};
RunLog log_absent() { return {RunLog::absent}; }
RunLog log_unchanged() { return {RunLog::unchanged}; }
RunLog log_report(int mfi, std::string figures = "") { return {RunLog::one_report, mfi, std::move(figures)}; }

using Setup = std::function<void(const TempDir&)>;

struct Row {
  std::string name;
  std::vector<std::string> args;  // run in a fresh directory prepared by `setup`
  Setup setup;
  int status;
  std::string message;  // standard output
  OutFile out;
  RunLog log;
  test::RunOptions options{};  // limits, standard output elsewhere
  std::string error_message{};  // the error stream
  bool as_other_user = false;   // run as a user other than root
  bool zub_mine = false;        // run zub-mine instead of zub
  Row& other_user() { return as_other_user = true, *this; }
  // zub-mine, whose messages go to the error stream.
  Row& mine() {
    zub_mine = true;
    error_message = message;
    message.clear();
    return *this;
  }
  Row& stdin_from(std::string name) { return options.stdin_path = std::move(name), *this; }  // in the run's directory
  Row& file_size(unsigned long long bytes) { return options.file_size = bytes, *this; }
  Row& address_space(unsigned long long bytes) { return options.address_space = bytes, *this; }
  Row& stdout_to(std::string path, std::string error) {
    options.stdout_path = std::move(path);
    error_message = std::move(error);
    return *this;
  }
};
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

Setup files(std::vector<std::pair<std::string, std::string>> contents, bool stale_out = false) {
  return [contents, stale_out](const TempDir& dir) {
    for (const auto& [name, text] : contents) dir.write(name, text);
    if (stale_out) dir.write("out", kStale);
  };
}
Setup with_subdir(const char* name, Setup then = files({})) {
  return [=](const TempDir& dir) {
    std::filesystem::create_directory(dir.path() / name);
    then(dir);
  };
}

// The input "db" holding `text`, and "out" another name of it: a symbolic
// link or a hard link.
Setup linked_output(std::string text, bool symbolic) {
  return [=](const TempDir& dir) {
    dir.write("db", text);
    if (symbolic)
      std::filesystem::create_symlink("db", dir.path() / "out");
    else
      std::filesystem::create_hard_link(dir.path() / "db", dir.path() / "out");
  };
}

// Earlier reports in the run log, for the rows that append behind them.
std::string earlier_log() {
  std::string s;
  for (int k = 0; k < 5; ++k)
    s += "\n------------------------\nzub db " + std::to_string(k) +
         " out \nMFI: 3\nTime: 0.100\nNo. of F1: 3\nNo. of subset checking: 4\nNo. of projection: 0\n";
  return s;
}

// The length report of the single-path shortcut for one itemset of n items.
std::string length_report(int n) {
  std::string s = "1\n";
  for (int k = 1; k < n; ++k) s += "0\n";
  return s + "1\n\n\nF1: " + std::to_string(n) + "\nAVGlen: " + std::to_string(n) + ".00\nMFI: 1\n";
}

// One line of about 50 MB: ids 0 to 999 over and over, or all distinct.
std::string line_of_50_mb(bool all_distinct) {
  std::string line;
  line.reserve(50'000'100);
  for (int k = 0; line.size() < 50'000'000; ++k) line.append(std::to_string(all_distinct ? k : k % 1000)).push_back(' ');
  return line + "\n";
}
int distinct_ids_on_the_line() {
  std::size_t size = 0;
  int k = 0;
  for (; size < 50'000'000; ++k) size += std::to_string(k).size() + 1;
  return k;
}

const Database kThree = {{1, 2}, {1, 3}, {2, 3}};
const std::string kThreeText = "1 2\n1 3\n2 3\n";

void same_file_rows(std::vector<Row>& r);

std::vector<Row> rows() {
  const Setup three = files({{"db", kThreeText}});
  std::vector<Row> r;
  // The command line: a wrong number of arguments, or a MINSUP that is not a
  // whole number in the int range. Nothing is read or written.
  const std::pair<const char*, std::vector<std::string>> usage[] = {
      {"no_arguments", {}}, {"one_argument", {"db"}}, {"fifth_argument", {"db", "1", "out", "extra"}},
      {"sixth_argument", {"db", "1", "out", "x", "y"}}, {"minsup_empty", {"db", "", "out"}},
      {"minsup_blank", {"db", " ", "out"}}, {"minsup_word", {"db", "abc", "out"}},
      {"minsup_percentage", {"db", "5%", "out"}}, {"minsup_exponent", {"db", "1e3", "out"}},
      {"minsup_decimal", {"db", "2.5", "out"}}, {"minsup_sign_only", {"db", "+", "out"}},
      {"minsup_two_signs", {"db", "--1", "out"}}, {"minsup_two_numbers", {"db", "7 7", "out"}},
      {"minsup_above_int", {"db", "2147483648", "out"}}, {"minsup_below_int", {"db", "-2147483649", "out"}},
      {"minsup_of_20_digits", {"db", "99999999999999999999", "out"}},
  };
  for (const auto& [name, args] : usage) r.push_back({name, args, three, 1, kUsage, out_absent(), log_absent()});

  std::string chain;
  for (int k = 0; k < 800; ++k) chain += std::to_string(k) + " " + std::to_string(k + 1) + "\n";
  test::Itemset thousand;
  for (int k = 0; k < 1000; ++k) thousand.push_back(k);
  r.insert(r.end(), {
      // The worked example; a run without an output file appends its report
      // behind the earlier ones.
      {"worked_example", {"db", "1", "out"}, three, 0, "", out_exact("3 2 (1)\n3 1 (1)\n2 1 (1)\n"),
       log_report(3, "No. of F1: 3\nNo. of subset checking: 4\nNo. of projection: 0\n")},
      {"run_log_with_earlier_reports", {"db", "1"}, files({{"db", kThreeText}, {"testfile.txt", earlier_log()}}), 0,
       "", out_absent(), log_report(3)},
      // Odd supports, odd content; no id is no item, even at MINSUP 0.
      {"minsup_zero", {"db", "0", "out"}, three, 0, "", out_maximal(kThree, 0), log_report(1)},
      {"minsup_most_negative", {"db", "-2147483648", "out"}, three, 0, "", out_maximal(kThree, INT_MIN), log_report(1)},
      {"minsup_with_blanks_and_plus", {"db", " +2 ", "out"}, three, 0, "", out_maximal(kThree, 2), log_report(3)},
      {"minsup_above_transaction_count", {"db", "2147483647", "out"}, files({{"db", kThreeText}}, true), 0, "",
       out_exact(""), log_unchanged()},
      {"empty_file", {"db", "1", "out"}, files({{"db", ""}}, true), 0, "", out_exact(""), log_unchanged()},
      {"only_line_feeds", {"db", "1", "out"}, files({{"db", "\n\n\n"}}, true), 0, "", out_exact(""), log_unchanged()},
      {"empty_file_at_minsup_zero", {"db", "0", "out"}, files({{"db", ""}}, true), 0, "", out_exact(""),
       log_unchanged()},
      {"only_line_feeds_at_minsup_zero", {"db", "0", "out"}, files({{"db", "\n\n\n"}}, true), 0, "", out_exact(""),
       log_unchanged()},
      {"only_blanks_at_minsup_zero", {"db", "0", "out"}, files({{"db", "  \t\n"}}, true), 0, "", out_exact(""),
       log_unchanged()},
      {"crlf_line_ends", {"db", "2", "out"}, files({{"db", "1 2\r\n1 2 3\r\n2 3\r\n"}}), 0, "",
       out_maximal({{1, 2}, {1, 2, 3}, {2, 3}}, 2), log_report(2)},
      {"nul_and_binary_bytes", {"db", "1", "out"},
       files({{"db", std::string("1\0" "2\x01\xff" "3\n\x80" "2\x7f" "4\n\0\0\n", 14)}}), 0, "",
       out_maximal({{1, 2, 3}, {2, 4}, {}}, 1), log_report(2)},
      // A single path: its length report, and no run report.
      {"single_path", {"db", "2", "out"}, files({{"db", "1 2\n1 2 3\n"}}), 0, length_report(2), out_exact("1 2 (2)\n"),
       log_unchanged()},
      {"single_path_without_output_file", {"db", "2"}, files({{"db", "7 3 5\n3 7 5\n3\n"}}), 0, length_report(3),
       out_absent(), log_unchanged()},
      {"repeated_ids_and_no_final_line_feed", {"db", "3", "out"}, files({{"db", "5 5 5 9\n5 6\n6 5"}}), 0,
       length_report(1), out_exact("5 (3)\n"), log_unchanged()},
      // Ids near the int range cost memory by their number, not their size.
      {"id_2147483647", {"db", "1", "out"}, files({{"db", "1 2\n2147483647\n"}}), 0, "",
       out_exact("2147483647 (1)\n2 1 (1)\n"), log_report(2)},
      {"id_2147483648", {"db", "1", "out"}, files({{"db", "1 2\n2147483648 1\n"}}, true), 2,
       "db, line 2: item id is larger than 2147483647!\n", out_exact(kStale), log_unchanged()},
      {"ids_near_int_max", {"db", "2", "out"}, files({{"db", "2147483000 5\n2147483646 5\n"}}), 0, length_report(1),
       out_exact("5 (2)\n"), log_unchanged()},

      // Files that are not what they should be.
      {"missing_input", {"missing.dat", "2", "out"}, files({}), 2, "missing.dat could not be opened!\n", out_absent(),
       log_unchanged()},
      {"directory_as_input", {"sub", "1", "out"}, with_subdir("sub"), 2, "sub could not be read!\n", out_absent(),
       log_unchanged()},
      {"dev_null_as_input", {"/dev/null", "1", "out"}, files({}, true), 0, "", out_exact(""), log_unchanged()},
      {"output_in_missing_directory", {"db", "1", "no/such/dir/out"}, three, 2,
       "no/such/dir/out could not be opened!\n", out_absent(), log_unchanged()},
      {"output_to_dev_full", {"db", "1", "/dev/full"}, three, 2, "/dev/full could not be written!\n", out_absent(),
       log_unchanged()},
      {"run_log_is_a_directory", {"db", "1", "out"}, with_subdir("testfile.txt", three), 2,
       "testfile.txt could not be opened; no run report is written.\n", out_maximal(kThree, 1), RunLog{}},
      Row{"input_without_read_permission", {"db", "1", "out"},
          [](const TempDir& d) {
            d.write("db", "1 2\n1 2\n");
            std::filesystem::permissions(d.path() / "db", std::filesystem::perms::none);
          },
          2, "db could not be opened!\n", out_absent(), log_unchanged()}
          .other_user(),

      // Files that reach the file-size limit: the output, which keeps the
      // earlier run's itemsets, and the run log, which must come out as it was.
      Row{"output_beyond_file_size_limit", {"db", "1", "out"}, files({{"db", chain}}, true), 2,
          "out could not be written!\n", out_exact(kStale), log_unchanged()}
          .file_size(4096),
      Row{"mine_output_beyond_file_size_limit", {"--target", "all", "db", "1", "out"}, files({{"db", chain}}, true), 2,
          "out could not be written!\n", out_exact(kStale), log_absent()}
          .file_size(4096)
          .mine(),
      Row{"run_log_beyond_file_size_limit", {"db", "1", "out"}, files({{"db", kThreeText}, {"testfile.txt", earlier_log()}}),
          2, "testfile.txt could not be written!\n", out_maximal(kThree, 1), log_unchanged()}
          .file_size(earlier_log().size() + 40),

      // Standard output that cannot be written: the length report of a
      // single-path run is lost, so the run fails; a run that prints nothing
      // is not affected.
      Row{"length_report_to_dev_full", {"db", "2", "out"}, files({{"db", "7 3 5\n3 7 5\n3\n"}}), 2, "",
          out_exact("3 5 7 (2)\n"), log_unchanged()}
          .stdout_to("/dev/full", "zub: standard output could not be written!\n"),
      Row{"silent_run_with_stdout_to_dev_full", {"db", "1", "out"}, three, 0, "", out_maximal(kThree, 1), log_report(3)}
          .stdout_to("/dev/full", ""),

      // Lines of 50 MB. Distinct ids make millions of frequent items, whose
      // pairs are kept sparsely, so the one path they form is written; the
      // limit keeps the run from depending on what the machine would promise.
      {"line_of_50_mb", {"db", "1", "out"}, [](const TempDir& d) { d.write("db", line_of_50_mb(false)); }, 0,
       length_report(1000), {OutFile::itemsets, "", {{thousand, 1}}}, log_unchanged()},
      Row{"line_of_50_mb_distinct_ids", {"db", "1", "out"}, [](const TempDir& d) { d.write("db", line_of_50_mb(true)); },
          0, length_report(distinct_ids_on_the_line()), OutFile{}, log_unchanged()}
          .address_space(2ULL << 30),
  });
  same_file_rows(r);
  return r;
}

// An output that is the input file, by any name: refused before anything is
// written, the input left as it was. Devices are no such file.
void same_file_rows(std::vector<Row>& r) {
  const std::string same = "out is the input file; it would be overwritten!\n";
  const std::string packed = test::gzip(kThreeText);
  for (bool mine : {false, true}) {
    const std::string p = mine ? "mine_" : "";
    std::vector<Row> rows = {
        {p + "output_is_the_input", {"out", "1", "out"}, files({{"out", kThreeText}}), 2, same, out_exact(kThreeText),
         log_absent()},
        {p + "output_is_a_symbolic_link_to_the_input", {"db", "1", "out"}, linked_output(kThreeText, true), 2, same,
         out_exact(kThreeText), log_absent()},
        {p + "output_is_a_hard_link_to_the_input", {"db", "1", "out"}, linked_output(kThreeText, false), 2, same,
         out_exact(kThreeText), log_absent()},
        {p + "output_is_the_gzip_input", {"out", "1", "out"}, files({{"out", packed}}), 2, same, out_exact(packed),
         log_absent()},
        {p + "dev_null_as_input_and_output", {"/dev/null", "1", "/dev/null"}, files({}), 0, "", out_absent(),
         mine ? log_absent() : log_unchanged()},
    };
    for (Row& row : rows) r.push_back(mine ? row.mine() : row);
  }
  for (const char* target : {"closed", "all", "rules"})
    r.push_back(Row{std::string("mine_output_is_the_input_for_") + target, {"--target", target, "out", "1", "out"},
                    files({{"out", kThreeText}}), 2, same, out_exact(kThreeText), log_absent()}
                    .mine());
  r.push_back(Row{"mine_output_is_the_file_on_standard_input", {"-", "1", "out"}, files({{"out", kThreeText}}), 2, same,
                  out_exact(kThreeText), log_absent()}
                  .mine()
                  .stdin_from("out"));
}

// The run log holds exactly one run report of the given MFI figure (and
// the given figures after the time).
void expect_one_report(const std::string& log, const std::vector<std::string>& args, const RunLog& expected) {
  std::string command = test::zub_binary() + " ";
  for (const auto& a : args) command += a + " ";
  const std::string head = "\n------------------------\n" + command + "\nMFI: " + std::to_string(expected.mfi) + "\n";
  ASSERT_EQ(log.substr(0, head.size()), head) << log;
  static const std::regex figures(
      "Time: -?[0-9]+\\.[0-9]{3}\nNo\\. of F1: [0-9]+\nNo\\. of subset checking: [0-9]+\nNo\\. of projection: [0-9]+\n");
  EXPECT_TRUE(std::regex_match(log.substr(head.size()), figures)) << log;
  const std::size_t at = log.find("\nNo. of F1:");
  EXPECT_TRUE(expected.figures.empty() || log.substr(at + 1) == expected.figures) << log;
}

// Whether a user that is neither owner nor in the group may run `binary`:
// the file and every directory above it must let others in.
bool others_may_run(const std::filesystem::path& binary) {
  using std::filesystem::perms;
  std::error_code ec;
  for (auto p = std::filesystem::absolute(binary);; p = p.parent_path()) {
    if ((std::filesystem::status(p, ec).permissions() & perms::others_exec) == perms::none || ec) return false;
    if (p == p.root_path()) return true;
  }
}

class Hostile : public ::testing::TestWithParam<Row> {};

TEST_P(Hostile, EndsWithStatusAndMessage) {
  const Row& row = GetParam();
  test::RunOptions options = row.options;
#ifdef ZUB_SANITIZED
  if (options.address_space != 0)
    GTEST_SKIP() << "AddressSanitizer needs more address space than the limit; the Release build runs this row";
#endif
  TempDir dir;
  row.setup(dir);
  const std::string binary = row.zub_mine ? test::zub_mine_binary() : test::zub_binary();
  if (row.as_other_user) {
    if (!test::other_user(options.uid, options.gid)) GTEST_SKIP() << "running as root and there is no user 'nobody'";
    if (geteuid() == 0 && !others_may_run(binary)) GTEST_SKIP() << "user 'nobody' may not run " << binary;
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
  }
  if (!options.stdin_path.empty()) options.stdin_path = dir.file(options.stdin_path);
  const std::string log_before = dir.exists("testfile.txt") ? dir.read("testfile.txt") : "";

  const test::ProcessResult r = test::run_program(binary, row.args, dir.path(), options);
  EXPECT_EQ(r.status, row.status);
  if (row.message.size() > 4096)
    EXPECT_TRUE(r.out == row.message) << "standard output differs; its first line: " << r.out.substr(0, r.out.find('\n'));
  else
    EXPECT_EQ(r.out, row.message);
  EXPECT_EQ(r.err, row.error_message);

  switch (row.out.kind) {
    case OutFile::unchecked: break;
    case OutFile::absent: EXPECT_FALSE(dir.exists("out")); break;
    case OutFile::exact:
      EXPECT_TRUE(dir.exists("out"));
      EXPECT_EQ(dir.read("out"), row.out.text);
      break;
    case OutFile::itemsets: {
      ASSERT_TRUE(dir.exists("out"));
      const test::Mined written = test::parse_itemsets(dir.read("out"));
      EXPECT_EQ(written, row.out.mined) << "written:\n" << test::describe(written) << "expected:\n"
                                        << test::describe(row.out.mined);
      break;
    }
  }
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    EXPECT_EQ(entry.path().filename().string().find(".zub-"), std::string::npos) << "left behind: " << entry.path();
  switch (row.log.kind) {
    case RunLog::unchecked: break;
    case RunLog::absent: EXPECT_FALSE(dir.exists("testfile.txt")); break;
    case RunLog::unchanged:
      EXPECT_TRUE(dir.exists("testfile.txt"));
      EXPECT_EQ(dir.read("testfile.txt"), log_before);
      break;
    case RunLog::one_report: {
      const std::string log = dir.read("testfile.txt");
      ASSERT_EQ(log.substr(0, log_before.size()), log_before) << "earlier reports are kept";
      expect_one_report(log.substr(log_before.size()), row.args, row.log);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Table, Hostile, ::testing::ValuesIn(rows()),
                         [](const ::testing::TestParamInfo<Row>& info) { return info.param.name; });

}  // namespace
}  // namespace zub
