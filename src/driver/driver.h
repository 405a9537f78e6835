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

// Whether the process has the memory that any run needs to end soundly.
// The C++ runtime reserves memory for exceptions when the process starts;
// under an address-space limit just above what the loader needs, that
// fails, and the run's first failure would end it by std::terminate
// instead of a message. False when 128 KiB (more than that reserve) cannot
// be had: such a run ends at once with "Not enough memory!".
bool has_memory_to_run();

// The itemset-length report of the single-path shortcut.
void printLen(const RunReport& report, int frequent, std::FILE* out);

}  // namespace zub
