#pragma once
// The zub command line: zub <infile> <MINSUP> [<outfile>].
#include <cstdio>
#include <memory>
#include <string>

namespace zub {

struct RunReport;
class FSout;
class OutputFile;

inline constexpr const char* kUsage = "usage: zub <infile> <MINSUP> [<outfile>]";
inline constexpr const char* kRunLog = "testfile.txt";

// Runs zub and returns its exit status; every message goes to `out`.
int zub_main(int argc, char** argv, std::FILE* out);

// Reads a support count: optional blanks, an optional sign, digits, optional
// blanks. False for anything else or a value outside the int range.
bool parse_minsup(const char* text, int& value);

// The writer of the output file at `path`, which `file` opens (see
// io/output_file.h: a temporary that takes the output's place on commit);
// null when it cannot be opened.
std::unique_ptr<FSout> open_output(const char* path, std::unique_ptr<OutputFile>& file);

// The itemset-length report of the single-path shortcut.
void printLen(const RunReport& report, int frequent, std::FILE* out);

}  // namespace zub
