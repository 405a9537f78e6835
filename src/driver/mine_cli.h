#pragma once
// The zub-mine command line:
//   zub-mine [--target maximal|closed|all|rules] [options] <infile> <minsup> [<outfile>]
// (kMineUsage has them all). <infile> "-" is standard input. Itemsets or rules go to <outfile>, or to standard
// output when it is absent or "-"; messages and the --stats summary go to the
// error stream.
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/progress.h"
#include "io/data.h"
#include "io/fsout.h"
#include "rules/rules.h"
#include "run/run.h"

namespace zub {

inline constexpr const char* kMineUsage =
    "usage: zub-mine [--target maximal|closed|all|rules] [--method lookahead|projected|closure|cfi-tree] "
    "[--min-confidence C] [--min-lift L] [--consequent-size 1|any] [--all-measures] "
    "[--min-len N] [--max-len M] [--threads N] [--names] "
    "[--separator C] [--header] [--input basket|single] [--columns T,I] [--format plain|csv|json] [--sort-items] [--stats] "
    "[--progress] <infile> <minsup> [<outfile>]";

// Reads <minsup>: a count of transactions, 0 or more ("20", zub's rules for
// blanks and sign), or a percentage from 0 to 100 with at most 16 decimals
// ("2.5%"). On failure leaves the reason in `why`.
bool parse_mine_minsup(const char* text, MinSupport& value, std::string& why);
// Reads a percentage without its "%" (`text` is the whole argument, for
// the messages) into an exact share.
bool read_percentage(const std::string& t, const char* text, Fraction& value, std::string& why);
// Reads --min-confidence: a share from 0 to 1 ("0.8") or a percentage ("80%").
bool parse_confidence(const char* text, Fraction& value, std::string& why);
// Reads --min-lift: a number from 0 ("1.5").
bool parse_lift(const char* text, Fraction& value, std::string& why);

// The command line as read, before the minimum support is.
struct MineOptions {
  MiningTarget target = MiningTarget::maximal;
  bool rules = false;  // --target rules
  bool rule_options = false;  // one of the options of rules given
  RuleSettings rule;
  std::string method;  // empty: the target's default
  bool all_measures = false;  // --all-measures
  bool stats = false;
  bool names = false;
  // The layouts: --separator, --header, --input single, --columns.
  char separator = 0;
  bool header = false;
  bool single = false;
  bool columns_given = false;
  std::string transaction_column, item_column;
  bool progress = false;
  bool help = false;
  bool version = false;
  LengthLimits lengths;
  int threads = 0;  // 0: every core the process may use
  LineStyle::Format format = LineStyle::Format::plain;
  bool sort_items = false;
  std::vector<std::string> positional;
};

// Fills `o` from the command line; false with the reason in `why`. Stops
// at --help or --version.
bool parse_mine_options(int argc, char** argv, MineOptions& o, std::string& why);
void print_mine_help(std::FILE* out);
// The run the options ask for (threads: the cores at hand unless given).
RunRequest mine_request(const MineOptions& o, const MinSupport& minsup);
LineStyle mine_line_style(const MineOptions& o, int transactions);
// How the input is read: the layout and whether items are words.
Data::Options mine_reading(const MineOptions& o);
// Whether the items are words (--names, a separator, the single layout).
bool names_items(const MineOptions& o);
// The report of --progress on `err`: one line rewritten in place on a
// terminal, a line per report otherwise (a log file).
std::unique_ptr<Progress> progress_line(std::FILE* err);
// Whether the output file named is the input file.
bool is_input_overwritten(const MineOptions& o);

// Wall-clock seconds of a run's phases.
struct PhaseTimes {
  double reading = 0;  // counting, the main tree, its chains
  double mining = 0;   // and writing
};
// The first lines of --stats; `ranks` (a distributed run's processes) is
// printed when above 0.
struct StatsHead {
  int transactions = 0;
  int threshold = 0;
  int frequent = 0;
  int threads = 0;
  int ranks = 0;
};
// The summary of --stats: what the run read, what it found (`found`
// writes those lines, `lengths` counts the itemsets or rules by length),
// and its times.
void print_mine_stats(const StatsHead& head, const std::function<void()>& found, const std::vector<long long>& lengths,
                      const Counters& counters, double seconds, const PhaseTimes& wall, std::FILE* err);

// Runs zub-mine and returns its exit status; itemsets without an output file
// go to `out`, messages and statistics to `err`.
int zub_mine_main(int argc, char** argv, std::FILE* out, std::FILE* err);

}  // namespace zub
