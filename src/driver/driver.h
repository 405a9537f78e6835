#pragma once
// The zub command line: zub <infile> <MINSUP> [<outfile>].
#include <cstdio>
#include <string>

namespace zub {

struct RunReport;

inline constexpr const char* kUsage = "usage: zub <infile> <MINSUP> [<outfile>]";
inline constexpr const char* kRunLog = "testfile.txt";

// Runs zub and returns its exit status; every message goes to `out`.
int zub_main(int argc, char** argv, std::FILE* out);

// Reads a support count: optional blanks, an optional sign, digits, optional
// blanks. False for anything else or a value outside the int range.
bool parse_minsup(const char* text, int& value);

// The itemset-length report of the single-path shortcut.
void printLen(const RunReport& report, int frequent, std::FILE* out);

}  // namespace zub
