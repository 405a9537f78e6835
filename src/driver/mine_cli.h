#pragma once
// The zub-mine command line:
//   zub-mine [--target maximal|closed|all|rules] [options] <infile> <minsup> [<outfile>]
// (kMineUsage has them all). <infile> "-" is standard input. Itemsets or rules go to <outfile>, or to standard
// output when it is absent or "-"; messages and the --stats summary go to the
// error stream.
#include <cstdio>
#include <string>

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

// Runs zub-mine and returns its exit status; itemsets without an output file
// go to `out`, messages and statistics to `err`.
int zub_mine_main(int argc, char** argv, std::FILE* out, std::FILE* err);

}  // namespace zub
