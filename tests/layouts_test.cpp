// The input layouts beside zub's ids: the separator layout (--separator,
// CSV quotes, names keeping their blanks), --header, and the single (long)
// layout (--input single, --columns), end to end through zub-mine and,
// as a property, through the API against the same databases written as id
// files: random databases in both layouts, with quoted names, blanks, a
// header and shuffled rows, must mine to the same itemsets.
#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "common/run_error.h"
#include "trees/fi_tree.h"
#include "io/data.h"
#include "support/random_db.h"
#include "support/tree_checks.h"
#include "support/test_support.h"
#include "zub/zub.h"

namespace zub {
namespace {

using test::ProcessResult;
using test::TempDir;

using test::mine;
using test::shell;

TEST(Layouts, SeparatorKeepsBlanksInsideNamesAndReadsCsvQuotes) {
  TempDir dir;
  // Blanks around fields are trimmed, inside kept; a quoted field keeps
  // commas, doubled quotes and line feeds; empty fields hold nothing.
  dir.write("baskets.csv",
            "whole milk, crème brûlée ,,bread\n"
            "  \"crème brûlée\",whole milk\n"
            "\"rolls, buns\",\"say \"\"cheese\"\"\",\"two\nlines\"\n"
            "\"rolls, buns\" , say \"cheese\"\n");
  const ProcessResult r = mine(dir, {"--separator", ",", "--target", "all", "--threads", "1", "--sort-items",
                                     "--format", "json", "baskets.csv", "2"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "{\"items\":[\"say \\\"cheese\\\"\"],\"support\":2,\"share\":0.5}\n"
            "{\"items\":[\"rolls, buns\",\"say \\\"cheese\\\"\"],\"support\":2,\"share\":0.5}\n"
            "{\"items\":[\"rolls, buns\"],\"support\":2,\"share\":0.5}\n"
            "{\"items\":[\"crème brûlée\"],\"support\":2,\"share\":0.5}\n"
            "{\"items\":[\"crème brûlée\",\"whole milk\"],\"support\":2,\"share\":0.5}\n"
            "{\"items\":[\"whole milk\"],\"support\":2,\"share\":0.5}\n");
  // Tab and ";" as separators, "tab" spelled out; --header skips a line.
  dir.write("tabs.tsv", "item one\titem two\nwhole milk\tbread\nbread\t whole milk\n");
  const ProcessResult tabs = mine(dir, {"--separator", "tab", "--header", "--threads=1", "tabs.tsv", "2"});
  EXPECT_EQ(tabs.status, 0) << tabs.err;
  EXPECT_EQ(tabs.out, "whole milk bread (2)\n");
  dir.write("semi.csv", "a b;c\na b;c\n");
  EXPECT_EQ(mine(dir, {"--separator=;", "semi.csv", "2"}).out, "a b c (2)\n");
  // Without --separator the same line is words split at blanks too.
  EXPECT_EQ(mine(dir, {"--names", "--target", "all", "--threads=1", "semi.csv", "2"}).out,
            "b;c (2)\nb;c a (2)\na (2)\n");
}

TEST(Layouts, HeaderIsSkippedInEveryLayoutAndPass) {
  TempDir dir;
  dir.write("ids", "order items 99\n1 2\n1 2\n");
  EXPECT_EQ(mine(dir, {"--header", "ids", "2"}).out, "1 2 (2)\n");
  EXPECT_EQ(mine(dir, {"ids", "2"}).out, "1 2 (2)\n");  // the header's 99 is once: not frequent
  dir.write("words", "x y\na b\na b\n");
  EXPECT_EQ(mine(dir, {"--names", "--header", "--stats", "words", "2"}).err.substr(0, 16), "transactions: 2\n");
  // From a pipe (kept in memory: the header is not kept) and gzip.
  const ProcessResult piped = shell(dir, "cat ids | \"$M\" --header --stats - 2");
  EXPECT_EQ(piped.out, "1 2 (2)\n");
  EXPECT_EQ(piped.err.substr(0, 16), "transactions: 2\n");
  const ProcessResult gz = shell(dir, "gzip -c ids > ids.gz && \"$M\" --header ids.gz 2");
  EXPECT_EQ(gz.out, "1 2 (2)\n") << gz.err;
}

TEST(Layouts, SingleLayoutGroupsRowsOfATransactionWhereverTheyStand) {
  TempDir dir;
  dir.write("sales.csv",
            "store,order,product\n"
            "s1,1,whole milk\n"
            "s1,2,bread\n"
            "s2,1,bread\n"
            "s1,3, whole milk\n"
            "s1,2,\"whole milk\"\n"
            "\n"
            "s1,3,butter\n"
            "s1,4,\n");  // a transaction without an item
  const std::vector<std::string> base = {"--input", "single", "--separator", ",", "--header", "--threads=1",
                                         "--target", "all", "--stats"};
  for (const std::string columns : {"order,product", "2,3", "order,3"}) {
    std::vector<std::string> args = base;
    args.insert(args.end(), {"--columns", columns, "sales.csv", "2"});
    const ProcessResult r = mine(dir, args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "bread (2)\nbread whole milk (2)\nwhole milk (3)\n") << columns;
    EXPECT_EQ(r.err.substr(0, 16), "transactions: 4\n") << r.err;
  }
  // Without --columns: the first two fields; without --separator: fields at
  // blanks, tabs and commas.
  dir.write("pairs", "t1 milk\nt2 bread\nt1 bread\nt2 milk\nt3 milk\n");
  EXPECT_EQ(mine(dir, {"--input", "single", "--threads=1", "pairs", "2"}).out, "milk bread (2)\n");
  // From a pipe and from gzip, the same.
  EXPECT_EQ(shell(dir, "cat pairs | \"$M\" --input single --threads=1 - 2").out, "milk bread (2)\n");
  EXPECT_EQ(shell(dir, "gzip -c pairs > pairs.gz && \"$M\" --input single --threads=1 pairs.gz 2").out,
            "milk bread (2)\n");
}

TEST(Layouts, RejectedLayoutInputs) {
  TempDir dir;
  dir.write("short.csv", "1,milk\n2\n");
  dir.write("paren.csv", "a,b\nmilk (1 l),bread\n");
  dir.write("nul", std::string("a\0b) c\n", 7));
  dir.write("head.csv", "order,product\n1,milk\n");
  const std::pair<std::vector<std::string>, std::string> files[] = {
      {{"--input", "single", "--separator", ",", "short.csv", "1"},
       "short.csv, line 2: 1 field, but the transaction and the item are in field 1 and 2!"},
      {{"--separator", ",", "paren.csv", "1"}, "paren.csv, line 2: item name \"milk (1 l)\" has a parenthesis!"},
      {{"--input", "single", "--separator", ",", "--columns", "2,1", "paren.csv", "1"},
       "paren.csv, line 2: item name \"milk (1 l)\" has a parenthesis!"},
      // A NUL or other control byte in a name is shown escaped, the message whole.
      {{"--names", "nul", "1"}, "nul, line 1: item name \"a\\x00b)\" has a parenthesis!"},
      {{"--input", "single", "--separator", ",", "--header", "--columns", "order,item", "head.csv", "1"},
       "head.csv: the header has no column \"item\"!"},
  };
  for (const auto& [args, message] : files) {
    const ProcessResult r = mine(dir, args);
    EXPECT_EQ(r.status, 2) << message;
    EXPECT_EQ(r.out, "") << message;
    EXPECT_EQ(r.err, message + "\n");
  }
}

// The separator layout is read twice from a file too: a file changed
// between the passes is told apart, the header skipped in both.
TEST(Layouts, SeparatorFileChangedBetweenThePasses) {
  const std::string original = "a,b\nwhole milk,bread\nwhole milk,\"bread\"\nbutter\n";
  const std::pair<std::string, bool> cases[] = {
      {"a,b\nwhole milk,bread\nwhole milk,butter\nbutter\n", true},
      {"a,b\nwhole milk,bread\n", true},
      {"x\nwhole milk , bread\n\"whole milk\",bread\nbutter\n", false},  // the same names
  };
  for (const auto& [changed, fails] : cases) {
    TempDir dir;
    dir.write("db", original);
    Data::Options options;
    options.layouts = &Data::next_in_layout;
    options.separator = ',';
    options.header = true;
    Data data(dir.file("db").c_str(), options);
    Settings settings;
    settings.threshold = 1;
    ItemCounts counts = count_items(data);
    EXPECT_EQ(counts.transactions, 3);
    dir.write("db", changed);
    try {
      test::second_pass(settings, data, counts);
      EXPECT_FALSE(fails) << changed;
    } catch (const RunError& e) {
      EXPECT_TRUE(fails) << changed;
      EXPECT_EQ(std::string(e.what()), dir.file("db") + " changed while it was read!") << changed;
    }
  }
}

// Hostile bytes (quotes left open, separators, line feeds, NULs,
// parentheses, blanks) in every layout: the reader ends each pass soundly,
// and the second pass reads what the first did.
TEST(Layouts, RandomBytesReadTheSameInBothPasses) {
  TempDir dir;
  std::mt19937 rng(31);
  const char alphabet[] = {'a', 'b', ' ', '\t', ',', ';', '"', '\n', '\r', '\0', '(', '1', '2', '\\'};
  for (int round = 0; round < 400; ++round) {
    std::string text;
    const int length = static_cast<int>(rng() % 200);
    for (int k = 0; k < length; ++k) text += alphabet[rng() % sizeof alphabet];
    dir.write("db", text);
    Data::Options options;
    options.layouts = &Data::next_in_layout;
    options.separator = rng() % 3 == 0 ? '\0' : rng() % 2 ? ',' : ';';
    options.header = rng() % 2 == 0;
    options.single = rng() % 2 == 0;
    if (options.single && rng() % 2) options.item_column = "3";
    if (options.separator == 0 && !options.single) options.names = true;
    SCOPED_TRACE("round " + std::to_string(round));
    Data data(dir.file("db").c_str(), options);
    Transaction t(1);
    std::vector<std::vector<int>> passes[2];
    bool failed[2] = {false, false};
    for (int pass = 0; pass < 2; ++pass) {
      for (int guard = 0; guard < 10000; ++guard) {
        const Data::Status status = data.next(t);
        if (status == Data::Status::transaction) {
          passes[pass].emplace_back(t.items, t.items + t.length);
          continue;
        }
        failed[pass] = status == Data::Status::error;
        break;
      }
      if (failed[pass]) break;
    }
    if (failed[0]) continue;  // an error is final
    EXPECT_EQ(passes[0], passes[1]);
    EXPECT_FALSE(failed[1]) << data.error_message();
  }
}

// The name of an id in the separator and single layouts: blanks inside,
// sometimes a comma or a quote (which the writer must quote).
std::string name_of(int id) {
  switch (id % 4) {
    case 0: return "item " + std::to_string(id);
    case 1: return "it, " + std::to_string(id);
    case 2: return "say \"" + std::to_string(id) + "\"";
    default: return std::to_string(id);
  }
}

// A field as CSV writes it: quoted when it must be (and sometimes when not),
// blanks around it sometimes.
std::string field_of(const std::string& name, std::mt19937& rng) {
  const bool must = name.find_first_of(",\"") != std::string::npos;
  std::string field = name;
  if (must || rng() % 3 == 0) {
    field = "\"";
    for (char c : name) field += c == '"' ? std::string("\"\"") : std::string(1, c);
    field += "\"";
  }
  if (rng() % 4 == 0) field = " " + field;
  if (rng() % 4 == 0) field += "  ";
  return field;
}

using NamedSets = std::map<std::set<std::string>, int>;

NamedSets mine_layout(const std::string& path, const FileLayout* layout, int minsup, Target target) {
  std::vector<std::string> names;
  NamedSets found;
  mine_file(path, target, Support::count(minsup), Limits{}, RunOptions{1, nullptr, layout, layout ? &names : nullptr},
            [&](std::span<const int> items, int support) {
              std::set<std::string> set;
              for (int id : items) set.insert(layout ? names[static_cast<std::size_t>(id)] : name_of(id));
              EXPECT_TRUE(found.emplace(set, support).second);
            });
  return found;
}

TEST(Layouts, PropertySeparatorAndSingleMineAsTheIdFile) {
  TempDir dir;
  for (std::uint32_t seed = 1; seed <= 60; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const test::RandomDb db = test::random_db(seed);
    std::mt19937 rng(seed * 7919);
    // Basket layout: a line per transaction, its names as CSV fields.
    const bool header = rng() % 2 == 0;
    std::string basket = header ? "first,second\n" : "";
    // Single layout: (transaction, item) rows, shuffled, in a wider table.
    std::vector<std::string> rows;
    std::string ids;
    for (std::size_t t = 0; t < db.transactions.size(); ++t) {
      std::string line;
      const auto& items = db.transactions[t];
      for (std::size_t k = 0; k < items.size(); ++k) {
        if (k > 0) line += ",";
        line += field_of(name_of(items[k]), rng);
        rows.push_back("x," + field_of("order " + std::to_string(t), rng) + ",y," + field_of(name_of(items[k]), rng));
      }
      if (items.empty()) rows.push_back("x,order " + std::to_string(t) + ",y,");
      basket += line + "\n";
      for (int id : items) ids += std::to_string(id) + " ";
      ids += "\n";
    }
    std::shuffle(rows.begin(), rows.end(), rng);
    std::string single = "a,transaction,b,item\n";
    for (const std::string& row : rows) single += row + (rng() % 5 == 0 ? "\r\n" : "\n");
    dir.write("ids", ids);
    dir.write("basket.csv", basket);
    dir.write("single.csv", single);
    FileLayout separated;
    separated.separator = ',';
    separated.header = header;
    FileLayout longer;
    longer.single = true;
    longer.separator = ',';
    longer.header = true;
    longer.transaction_column = rng() % 2 ? "transaction" : "2";
    longer.item_column = "item";
    const int minsup = 1 + static_cast<int>(rng() % 3);
    for (const Target target : {Target::all, Target::closed, Target::maximal}) {
      const NamedSets expected = mine_layout(dir.file("ids"), nullptr, minsup, target);
      EXPECT_EQ(mine_layout(dir.file("basket.csv"), &separated, minsup, target), expected);
      EXPECT_EQ(mine_layout(dir.file("single.csv"), &longer, minsup, target), expected);
    }
  }
}

}  // namespace
}  // namespace zub
