#include "driver/driver.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <climits>
#include <ctime>
#include <memory>
#include <new>

#include "common/run_error.h"
#include "driver/run_log.h"
#include "io/data.h"
#include "io/fsout.h"
#include "io/output_file.h"
#include "run/run.h"

namespace zub {

bool parse_minsup(const char* text, int& value) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (std::isspace(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (!std::isdigit(*p)) return false;
  long long v = 0;
  while (std::isdigit(*p)) {
    v = v * 10 + (*p++ - '0');
    if (v > 1LL + INT_MAX) return false;
  }
  while (std::isspace(*p)) ++p;
  if (*p != '\0') return false;
  if (negative) v = -v;
  if (v < INT_MIN || v > INT_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

bool has_memory_to_run() {
  // volatile: the compiler would drop a block that is freed unused.
  void* volatile block = std::malloc(128 * 1024);
  std::free(block);
  return block != nullptr;
}

std::unique_ptr<FSout> open_output(const char* path, std::unique_ptr<OutputFile>& file) {
  file = std::make_unique<OutputFile>(path);
  return file->is_open() ? std::make_unique<FSout>(file->stream(), path) : nullptr;
}

void printLen(const RunReport& report, int frequent, std::FILE* out) {
  const std::vector<long long>& lengths = report.lengths;
  int highest = -1;
  const int counted = std::min(frequent, static_cast<int>(lengths.size()));
  for (int k = 0; k < counted; ++k)
    if (lengths[static_cast<std::size_t>(k)] != 0) highest = k;
  long long total = 0, weighted = 0;
  for (int k = 0; k <= highest; ++k) {
    total += lengths[static_cast<std::size_t>(k)];
    weighted += static_cast<long long>(k + 1) * lengths[static_cast<std::size_t>(k)];
  }
  std::fprintf(out, "%lld\n", total);
  for (int k = 0; k <= highest; ++k) std::fprintf(out, "%lld\n", lengths[static_cast<std::size_t>(k)]);
  std::fprintf(out, "\n\nF1: %d\nAVGlen: %.2f\nMFI: %lld\n", frequent,
               total != 0 ? double(weighted) / double(total) : 0.0, total);
}

namespace {

// The whole run after the argument checks; throws RunError on a failure.
int run(int argc, char** argv, int threshold, std::clock_t start, RunLog& log, std::FILE* out) {
  RunRequest request;
  request.min_support.count = threshold;
  Run run(request);
  Data data(argv[1]);
  if (!data.isOpen()) {
    std::fprintf(out, "%s could not be opened!\n", argv[1]);
    return kExitFile;
  }
  run.read(data);

  // An output file is opened once the input is read and closed, and left
  // empty rather than untouched when nothing is frequent, so that an earlier
  // run's itemsets are never taken for this run's. A file is written as a
  // temporary that takes its place only once the itemsets are all written.
  std::unique_ptr<OutputFile> file;
  std::unique_ptr<FSout> writer;
  if (argc == 4) {
    writer = std::strcmp(argv[3], "-") == 0 ? std::make_unique<FSout>(stdout, argv[3]) : open_output(argv[3], file);
    if (writer == nullptr || !writer->isOpen()) {
      std::fprintf(out, "%s could not be opened!\n", argv[3]);
      return kExitFile;
    }
    writer->set_order(run.items().file_id.data());
  }
  DiscardSink discard;
  const RunReport mined = run.mine(writer != nullptr ? static_cast<ItemsetSink&>(*writer) : discard);
  // A write error must end the run before it is reported as done.
  if (writer != nullptr) writer->close();
  if (file != nullptr) file->commit();
  if (run.frequent() == 0) return kExitOk;
  if (mined.single_path) {
    printLen(mined, run.frequent(), out);
    return kExitOk;
  }
  const std::clock_t end = std::clock();

  std::string report = "\n------------------------\n";
  for (int k = 0; k < argc; ++k) report.append(argv[k]).append(" ");
  char figures[256];
  std::snprintf(figures, sizeof figures,
                "\nMFI: %lld\nTime: %.3f\nNo. of F1: %d\nNo. of subset checking: %d\nNo. of projection: %d\n",
                mined.itemsets, static_cast<long long>(end - start) / 1000.0, mined.items_mined,
                mined.counters.subset_checks, mined.counters.projections);
  report.append(figures);
  // Scripts read the run report: a run that cannot leave it has not done its
  // job. The message for a log that could not be opened came at the start.
  if (!log.isOpen()) return kExitFile;
  if (!log.append(report)) {
    std::fprintf(out, "%s could not be written!\n", kRunLog);
    return kExitFile;
  }
  return kExitOk;
}

}  // namespace

int zub_main(int argc, char** argv, std::FILE* out) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::fprintf(out, "zub %s\n", ZUB_VERSION);
    return kExitOk;
  }
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fprintf(out,
                 "%s\n\n"
                 "Writes every maximal frequent itemset of a transaction file to <outfile>,\n"
                 "one per line: the item ids, each followed by a blank, then (support),\n"
                 "and appends a run report to testfile.txt in the current directory.\n\n"
                 "  <infile>   transactions, one per line, item ids as runs of decimal digits\n"
                 "             (plain or gzip-compressed)\n"
                 "  <MINSUP>   the minimum support, a number of transactions; 0 or less makes\n"
                 "             every id from 0 to the largest frequent\n"
                 "  <outfile>  where the itemsets go; without it the run only reports\n\n"
                 "zub --version prints the version; zub-mine mines closed and all frequent\n"
                 "itemsets too. See man zub.\n",
                 kUsage);
    return kExitOk;
  }
  // A fifth argument is most likely a mistyped command line; mining without
  // the named output file would report success for a run that wrote nothing.
  if (argc < 3 || argc > 4) {
    std::fprintf(out, "%s\n", kUsage);
    return kExitUsage;
  }
  int threshold = 0;
  if (!parse_minsup(argv[2], threshold)) {
    std::fprintf(out, "%s\n", kUsage);
    return kExitUsage;
  }
  // Refused before anything is written: the itemsets would replace the
  // transactions they came from.
  if (argc == 4 && is_same_file(argv[1], argv[3])) {
    std::fprintf(out, "%s is the input file; it would be overwritten!\n", argv[3]);
    return kExitFile;
  }
  if (!has_memory_to_run()) {
    std::fprintf(out, "Not enough memory!\n");
    return kExitMemory;
  }
  const std::clock_t start = std::clock();
  RunLog log(kRunLog);
  if (!log.isOpen()) std::fprintf(out, "%s could not be opened; no run report is written.\n", kRunLog);
  return run_reporting(out, [&] { return run(argc, argv, threshold, start, log, out); });
}

}  // namespace zub
