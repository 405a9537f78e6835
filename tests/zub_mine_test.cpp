// zub-mine run end to end: its targets, supports as counts and percentages,
// named items, standard input, standard output and pipes, --stats and
// --help, and every input it rejects (also the length limits' values).
#include <gtest/gtest.h>

#include <regex>

#include "driver/mine_cli.h"
#include "support/brute_force.h"
#include "support/random_db.h"
#include "support/test_support.h"

namespace zub {
namespace {

using test::ProcessResult;
using test::TempDir;

using test::mine;
using test::shell;

// Frequent at 1: {1}3 {2}3 {3}2 {4}1 {1 2}2 {1 3}2 {2 3}2 {2 4}1 {1 2 3}2.
const char* kDb = "1 2 3\n1 2 3\n1\n2 4\n";

TEST(ZubMine, EachTargetToAFileOrStandardOutput) {
  TempDir dir;
  dir.write("db", kDb);
  dir.write("--odd", kDb);
  const std::string maximal = "4 2 (1)\n3 1 2 (2)\n";
  // The closed sets with each one's core item first: 3 2 1 is 3's closure.
  const std::string closed = "4 2 (1)\n3 2 1 (2)\n2 (3)\n1 (3)\n";
  const std::string all = "4 (1)\n4 2 (1)\n3 (2)\n3 2 (2)\n3 1 (2)\n3 1 2 (2)\n2 (3)\n2 1 (2)\n1 (3)\n";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"db", "1"}, maximal},
      {{"--method", "projected", "db", "1"}, maximal},
      {{"--target=maximal", "--method=lookahead", "db", "1"}, maximal},
      {{"db", "1", "--target", "closed"}, closed},  // options may follow the arguments
      {{"--target", "maximal", "--target", "all", "db", "1"}, all},  // the last value counts
      {{"--", "--odd", "1"}, maximal},  // -- ends the options
  };
  for (const auto& [args, expected] : cases) {
    for (const std::string to : {"", "-", "out"}) {  // standard output, by default or named, or a file
      std::vector<std::string> with_output = args;
      if (!to.empty()) with_output.push_back(to);
      with_output.insert(with_output.begin(), "--threads=1");  // the one-thread order
      const ProcessResult r = mine(dir, with_output);
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(r.err, "");
      EXPECT_EQ(to == "out" ? dir.read("out") : r.out, expected) << args[0] << " to \"" << to << '"';
    }
  }
  EXPECT_FALSE(dir.exists("testfile.txt")) << "zub-mine keeps no run log";

  // The one-path shortcut, without zub's length report; and unlike zub, an
  // output file is written even when nothing is frequent.
  dir.write("path", "5 6\n5 6 7\n");
  EXPECT_EQ(mine(dir, {"path", "2"}).out, "5 6 (2)\n");
  mine(dir, {"path", "3", "out"});
  EXPECT_EQ(dir.read("out"), "");
}

TEST(ZubMine, PercentagesBecomeTheSmallestCountReachingTheShare) {
  TempDir dir;
  // 3196 transactions: 9 in all, 7 in 80, 8 in 79.
  std::string db;
  for (int t = 0; t < 3196; ++t) db += std::string("9") + (t < 80 ? " 7" : "") + (t >= 100 && t < 179 ? " 8" : "") + "\n";
  dir.write("db", db);
  const std::pair<const char*, std::string> cases[] = {
      {"2.5%", "9 7 (80)\n"},            // 79.9 transactions: 80
      {"2.5031289111%", "9 7 (80)\n"},  // 80 / 3196 is 2.50312891113...%: a hair below 80
      {"2.5031289112%", "9 (3196)\n"},  // a hair above 80: 81
      {"100%", "9 (3196)\n"},
  };
  for (const auto& [minsup, expected] : cases) EXPECT_EQ(mine(dir, {"db", minsup}).out, expected) << minsup;
  EXPECT_NE(mine(dir, {"--stats", "db", "2.5%"}).err.find("\nminimum support: 80\n"), std::string::npos);
  // 0% is the count 0: every id from 0 to the largest is frequent.
  const auto zero = mine(dir, {"db", "0%"}).out;
  EXPECT_EQ(test::parse_itemsets(zero), (test::Mined{{{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 0}}));
  EXPECT_EQ(zero, mine(dir, {"db", "0"}).out);
  // A share above 0 of no transactions still asks for one; without an id
  // there is no item, even at 0.
  for (const char* empty : {"", "\n\n\n", "  \t\n"}) {
    dir.write("empty", empty);
    for (const char* target : {"maximal", "closed", "all"})
      for (const char* minsup : {"50%", "0%", "0"})
        EXPECT_EQ(mine(dir, {"--target", target, "empty", minsup}).out, "") << target << " at " << minsup;
  }
}

TEST(ZubMine, MinsupParsing) {
  // Exact ratios: floating point would make 7% of 100 and 14% of 50 one more.
  const std::tuple<const char*, int, int> good[] = {  // minsup, transactions, count
      {" +20 ", 1000, 20}, {"0", 10, 0},    {"7%", 100, 7},   {"14%", 50, 7},   {"100.000%", 9, 9},
      {"0.0%", 10, 0},     {"33.3%", 3, 1}, {"0.1%", 1001, 2}, {"50%", 0, 1},    {" 1% ", 2147483647, 21474837},
      {"0.0000000000000001%", 5, 1}};
  for (const auto& [text, transactions, threshold] : good) {
    MinSupport m;
    std::string why;
    ASSERT_TRUE(parse_mine_minsup(text, m, why)) << text << ": " << why;
    EXPECT_EQ(m.resolve(transactions), threshold) << text;
  }
  // (Also rejected, with their messages: the rows of RejectedInputs.)
  for (const char* bad : {"", "abc", "1e3", "2.5", "100.5%", ".5%", "-5%", "5%%", "2.5 %", "%", "0x10%",
                          "2.12345678901234567%", "2147483648"}) {
    MinSupport m;
    std::string why;
    EXPECT_FALSE(parse_mine_minsup(bad, m, why)) << '"' << bad << '"';
  }
}

TEST(ZubMine, StatsAndHelp) {
  TempDir dir;
  dir.write("db", kDb);
  const ProcessResult stats = mine(dir, {"--stats", "--threads", "1", "--target", "all", "db", "1"});
  const std::string head =
      "transactions: 4\nminimum support: 1\nfrequent items: 4\nitemsets: 9\n"
      "  of length 1: 4\n  of length 2: 4\n  of length 3: 1\nprocessor time: ";
  EXPECT_EQ(stats.err.substr(0, head.size()), head);
  const std::size_t at = stats.err.find(" s\nsubset checks: ");
  ASSERT_NE(at, std::string::npos) << stats.err;
  const std::string tail = " s\nsubset checks: 0\nprojections: 1\nthreads: 1\nwall time reading: ";
  EXPECT_EQ(stats.err.substr(at, tail.size()), tail);
  EXPECT_NE(stats.err.find(" s\nwall time mining: "), std::string::npos) << stats.err;
  // Under length limits it counts what is written.
  dir.write("lengths", "1 2 3 4\n1 2 3\n2 3 4 5\n1 2 3 4 5\n");
  const ProcessResult limited = mine(dir, {"--stats", "--target", "closed", "--min-len=4", "lengths", "2"});
  EXPECT_NE(limited.err.find("itemsets: 2\n  of length 1: 0\n  of length 2: 0\n  of length 3: 0\n  of length 4: 2\n"),
            std::string::npos)
      << limited.err;

  const ProcessResult help = mine(dir, {"db", "--help", "--bogus"});  // help ends the reading of options
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.err, "");
  EXPECT_EQ(help.out.substr(0, help.out.find('\n')), kMineUsage);
  for (const char* option : {"\n  --target maximal|closed|all|rules ", "\n  --method lookahead|projected|closure|cfi-tree ",
                             "\n  --names ", "\n  --min-confidence C ", "\n  --stats ", "\n  --help "})
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
}

// A name for every id, with bytes that only --names reads as parts of names,
// and itemset lines of such names read back as ids.
const char* kPrefixes[] = {"w", "\xc3\xa9", "a;b", "#-"};
std::string name_of(int id) { return kPrefixes[id % 4] + std::to_string(id); }
test::Mined ids_of_names(const std::string& text) {
  return test::parse_itemsets(std::regex_replace(text, std::regex("w|\xc3\xa9|a;b|#-"), ""));
}

TEST(ZubMine, NamesGiveTheItemsetsOfTheSameFileWithIds) {
  TempDir dir;
  const char* separators[] = {" ", "\t", ",", " , "};
  for (std::uint32_t seed = 1; seed <= 12; ++seed) {
    const test::RandomDb db = test::random_db(seed, seed % 3 == 0);
    std::string ids, names;
    for (const auto& t : db.transactions) {
      for (std::size_t k = 0; k < t.size(); ++k) {
        ids += std::to_string(t[k]) + " ";
        names += (k > 0 ? separators[(seed + k) % 4] : "") + name_of(t[k]);
      }
      ids += "\n";
      names += seed % 2 ? "\r\n" : "\n";
    }
    dir.write("ids", ids);
    dir.write("names", names);
    const std::string minsup = std::to_string(2 + seed % 2);
    for (const char* target : {"maximal", "closed", "all"}) {
      std::string by_id, by_name;
      ASSERT_EQ(test::run_mine_in_process({"--target", target, dir.file("ids"), minsup}, &by_id), 0);
      ASSERT_EQ(test::run_mine_in_process({"--names", "--target", target, dir.file("names"), minsup}, &by_name), 0);
      EXPECT_EQ(ids_of_names(by_name), test::parse_itemsets(by_id)) << "seed " << seed << ", " << target;
    }
  }
  // The count 0 makes every set of words frequent; without a word there is
  // no item (where ids would have the id 0).
  dir.write("few", "b a\na c\n");
  EXPECT_EQ(mine(dir, {"--names", "few", "0"}).out, "a c b (0)\n");
  dir.write("empty", "");
  EXPECT_EQ(mine(dir, {"--names", "empty", "0"}).out, "");
}

TEST(ZubMine, StandardInputAndOutputAsPipes) {
  TempDir dir;
  dir.write("db", test::random_db(7, true).text);
  dir.write("names", "milk bread\nbread beer milk\nbeer\nmilk bread\n");
  const std::string expected = mine(dir, {"--target", "closed", "db", "2"}).out;
  ASSERT_NE(expected, "");
  EXPECT_EQ(test::run_program(test::zub_mine_binary(), {"--target", "closed", "-", "2"}, dir.path(), dir.file("db")).out,
            expected)
      << "standard input from a file";
  for (const std::string command : {"cat db | \"$M\" --target closed - 2", "cat db | \"$M\" --target closed /dev/stdin 2"}) {
    const ProcessResult r = shell(dir, command);
    EXPECT_EQ(r.status, 0) << command << ": " << r.err;
    EXPECT_EQ(r.out, expected) << command;
  }
  EXPECT_EQ(shell(dir, "cat names | \"$M\" --names - 2").out, "beer (2)\nbread milk (3)\n");
  EXPECT_EQ(mine(dir, {"--names", "names", "2"}).out, "beer (2)\nbread milk (3)\n");

  // 18 items in every transaction: 262143 itemsets, far more than a pipe
  // holds. A reader that stops early ends the run by SIGPIPE, quietly, also
  // when the parent ignored that signal.
  std::string line;
  for (int x = 0; x < 18; ++x) line += std::to_string(x) + " ";
  dir.write("big", line + "\n" + line + "\n");
  for (const std::string prelude : {"", "trap '' PIPE; "}) {
    const ProcessResult r = shell(dir, prelude + "{ \"$M\" --target all big 1; echo \"status $?\" >&2; } | head -n 2");
    EXPECT_EQ(r.status, 0);
    int lines = 0;
    test::parse_itemsets(r.out, &lines);
    EXPECT_EQ(lines, 2);
    EXPECT_EQ(r.err, "status 141\n") << "ended by the closed pipe, with no message";
  }
  const ProcessResult full = shell(dir, "\"$M\" big 1 > /dev/full");
  EXPECT_EQ(full.status, 2);
  EXPECT_EQ(full.err, "standard output could not be written!\n");
#ifndef ZUB_SANITIZED
  // About 130 MB of ids kept from a pipe, under a limit of 100 MB.
  const ProcessResult r = shell(dir, "ulimit -v 100000; yes '1 2 3 4 5 6 7 8 9' | head -c 60000000 | \"$M\" - 1");
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "Not enough memory!\n");
#endif
}

TEST(ZubMine, RejectedInputs) {
  TempDir dir;
  dir.write("db", kDb);
  dir.write("long", "1 2\n1 99999999999\n");
  dir.write("open", "a b\nb f(x) c\n");
  dir.write("close", "\r\n\nx)\n");
  std::filesystem::create_directory(dir.path() / "sub");
  const std::string missing = "missing arguments: <infile> and <minsup> are needed";
  // A wrong command line: the reason and the usage line, status 1.
  const std::pair<std::vector<std::string>, std::string> usage[] = {
      {{}, missing}, {{"db"}, missing}, {{"db", "1", "out", "more"}, "too many arguments: more"},
      {{"--frobnicate", "db", "1", "out"}, "unknown option --frobnicate"}, {{"-t", "db", "1"}, "unknown option -t"},
      {{"--target", "best", "db", "1"}, "--target must be maximal, closed, all or rules, not \"best\""},
      {{"db", "1", "--target"}, "--target needs a value: maximal|closed|all|rules"},
      {{"--method", "fast", "db", "1"},
       "--method must be lookahead or projected (maximal), closure or cfi-tree (closed), not \"fast\""},
      {{"--target", "all", "--method", "projected", "db", "1"},
       "--method chooses the maximal or the closed miner; it does not go with --target all"},
      {{"--stats=yes", "db", "1"}, "--stats takes no value"}, {{"--names=yes", "db", "1"}, "--names takes no value"},
      {{"db", "many", "out"},
       "<minsup> must be a count of transactions from 0 to 2147483647 (\"20\") or a percentage of them (\"2.5%\"), not "
       "\"many\""},
      {{"db", "2147483648"},
       "<minsup> must be a count of transactions from 0 to 2147483647 (\"20\") or a percentage of them (\"2.5%\"), not "
       "\"2147483648\""},
      {{"db", "-3"}, "the minimum support cannot be negative: -3"}, {{"db", "101%"}, "a percentage must be from 0 to 100, not 101%"},
      {{"db", "1.%"}, "a percentage is digits with an optional decimal part, as \"2.5%\", not \"1.%\""},
      {{"db", "1.00000000000000001%"}, "a percentage takes at most 16 decimals: 1.00000000000000001%"},
      {{"--min-len", "0", "db", "2"}, "--min-len must be a whole number of items from 1 to 2147483647, not \"0\""},
      {{"--max-len", "0", "db", "2"}, "--max-len must be a whole number of items from 1 to 2147483647, not \"0\""},
      {{"--max-len", "-2", "db", "2"}, "--max-len must be a whole number of items from 1 to 2147483647, not \"-2\""},
      {{"--min-len=2x", "db", "2"}, "--min-len must be a whole number of items from 1 to 2147483647, not \"2x\""},
      {{"--max-len", "2147483648", "db", "2"},
       "--max-len must be a whole number of items from 1 to 2147483647, not \"2147483648\""},
      {{"--min-len", "99999999999999999999", "db", "2"},
       "--min-len must be a whole number of items from 1 to 2147483647, not \"99999999999999999999\""},
      {{"--max-len", "2", "--min-len", "3", "db", "2"}, "--min-len 3 is above --max-len 2"},
      {{"--max-len"}, "--max-len needs a value: M"},
      {{"--threads", "0", "db", "2"}, "--threads must be a whole number from 1 to 2147483647, not \"0\""},
      {{"--threads", "2147483648", "db", "2"}, "--threads must be a whole number from 1 to 2147483647, not \"2147483648\""},
      {{"--format", "xml", "db", "2"}, "--format must be plain, csv or json, not \"xml\""},
      {{"--sort-items=yes", "db", "2"}, "--sort-items takes no value"},
      // The input layouts: one rejected value each.
      {{"--separator", "", "db", "2"},
       "--separator must be one character (or \"tab\"), not a quote or a line break, not \"\""},
      {{"--separator", ";;", "db", "2"},
       "--separator must be one character (or \"tab\"), not a quote or a line break, not \";;\""},
      {{"--separator", "\"", "db", "2"},
       "--separator must be one character (or \"tab\"), not a quote or a line break, not \"\"\""},
      {{"--separator", "\n", "db", "2"},
       "--separator must be one character (or \"tab\"), not a quote or a line break, not \"\n\""},
      {{"--separator"}, "--separator needs a value: C"},
      {{"--header=yes", "db", "2"}, "--header takes no value"},
      {{"--input", "long", "db", "2"}, "--input must be basket or single, not \"long\""},
      {{"--input", "single", "--columns", "1", "db", "2"},
       "--columns must be two columns, each a number from 1 or a name of the header, as \"1,2\" or "
       "\"order,product\", not \"1\""},
      {{"--input", "single", "--columns", "1,2,3", "db", "2"},
       "--columns must be two columns, each a number from 1 or a name of the header, as \"1,2\" or "
       "\"order,product\", not \"1,2,3\""},
      {{"--input", "single", "--columns", "0,1", "db", "2"},
       "--columns must be two columns, each a number from 1 or a name of the header, as \"1,2\" or "
       "\"order,product\", not \"0,1\""},
      {{"--input", "single", "--columns", ",2", "db", "2"},
       "--columns must be two columns, each a number from 1 or a name of the header, as \"1,2\" or "
       "\"order,product\", not \",2\""},
      {{"--input", "single", "--columns", "2,02", "db", "2"}, "--columns must name two different columns, not \"2,02\""},
      {{"--columns", "1,2", "db", "2"}, "--columns goes with --input single"},
      {{"--all-measures", "--format", "csv", "db", "2"}, "--all-measures goes with --target rules and --format csv or json"},
      {{"--all-measures", "--target", "rules", "db", "2"},
       "--all-measures goes with --target rules and --format csv or json"},
      {{"--all-measures=yes", "db", "2"}, "--all-measures takes no value"},
      {{"--input", "single", "--columns", "order,2", "db", "2"},
       "--columns names a column of the header: add --header, or give the columns' numbers"},
  };
  for (const auto& [args, reason] : usage) {
    const ProcessResult r = mine(dir, args);
    EXPECT_EQ(r.status, 1) << reason;
    EXPECT_EQ(r.out, "") << reason;
    EXPECT_EQ(r.err, "zub-mine: " + reason + "\n" + kMineUsage + "\n");
  }
  // A file that cannot be read or written, or input it may not hold: the
  // message alone, status 2. The output file is opened only once the input
  // is read.
  const std::pair<std::vector<std::string>, std::string> files[] = {
      {{"missing.dat", "1", "out"}, "missing.dat could not be opened!"}, {{"sub", "1", "out"}, "sub could not be read!"},
      {{"long", "1", "out"}, "long, line 2: item id is larger than 2147483647!"},
      {{"--names", "open", "1", "out"}, "open, line 2: item name \"f(x)\" has a parenthesis!"},
      {{"--names", "close", "1", "out"}, "close, line 3: item name \"x)\" has a parenthesis!"},
      {{"db", "1", "no/such/dir/out"}, "no/such/dir/out could not be opened!"},
      {{"db", "1", "/dev/full"}, "/dev/full could not be written!"},
      {{"--target", "closed", "db", "1", "/dev/full"}, "/dev/full could not be written!"},
      {{"--target", "all", "db", "1", "/dev/full"}, "/dev/full could not be written!"},
  };
  for (const auto& [args, message] : files) {
    const ProcessResult r = mine(dir, args);
    EXPECT_EQ(r.status, 2) << message;
    EXPECT_EQ(r.out, "") << message;
    EXPECT_EQ(r.err, message + "\n");
  }
  // The largest values are taken: no itemset has 2147483647 items, and a run
  // never starts more threads than it has units.
  const std::string whole = mine(dir, {"--threads=1", "db", "1"}).out;
  for (const char* limit : {"--max-len=2147483647", "--threads=2147483647"})
    EXPECT_EQ(test::parse_itemsets(mine(dir, {limit, "db", "1"}).out), test::parse_itemsets(whole)) << limit;
  EXPECT_EQ(mine(dir, {"--min-len=2147483647", "--max-len=2147483647", "db", "1"}).out, "");

  const ProcessResult r = test::run_program(test::zub_mine_binary(), {"-", "1", "out"}, dir.path(), dir.file("sub"));
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "standard input could not be read!\n");
  EXPECT_FALSE(dir.exists("out"));
  EXPECT_FALSE(dir.exists("testfile.txt")) << "zub-mine keeps no run log";
}

}  // namespace
}  // namespace zub
