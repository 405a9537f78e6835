#pragma once
// The zub-mine command line:
//   zub-mine [--target maximal|closed|all] [--method lookahead|projected|closure|cfi-tree]
//            [--names] [--stats] <infile> <minsup> [<outfile>]
// <infile> "-" is standard input. Itemsets go to <outfile>, or to standard
// output when it is absent or "-"; messages and the --stats summary go to the
// error stream.
#include <cstdio>
#include <string>

#include "run/run.h"

namespace zub {

inline constexpr const char* kMineUsage =
    "usage: zub-mine [--target maximal|closed|all] [--method lookahead|projected|closure|cfi-tree] "
    "[--min-len N] [--max-len M] [--threads N] [--names] [--format plain|csv|json] [--sort-items] [--stats] "
    "[--progress] <infile> <minsup> [<outfile>]";

// Reads <minsup>: a count of transactions, 0 or more ("20", zub's rules for
// blanks and sign), or a percentage from 0 to 100 with at most 16 decimals
// ("2.5%"). On failure leaves the reason in `why`.
bool parse_mine_minsup(const char* text, MinSupport& value, std::string& why);

// Runs zub-mine and returns its exit status; itemsets without an output file
// go to `out`, messages and statistics to `err`.
int zub_mine_main(int argc, char** argv, std::FILE* out, std::FILE* err);

}  // namespace zub
