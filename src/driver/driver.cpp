#include "driver/driver.h"

#include <cctype>
#include <climits>
#include <ctime>
#include <memory>
#include <new>

#include "run/main_tree.h"
#include "run/mining_run.h"
#include "driver/run_log.h"
#include "fp_tree/mfi_tree.h"
#include "fp_tree/fi_tree.h"
#include "common/run_error.h"
#include "io/data.h"
#include "io/fsout.h"

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

void printLen(const Context& ctx, std::FILE* out) {
  int highest = -1;
  for (int k = 0; k < ctx.ITEM_NO; ++k)
    if (ctx.ITlen[k] != 0) highest = k;
  long long total = 0, weighted = 0;
  for (int k = 0; k <= highest; ++k) {
    total += ctx.ITlen[k];
    weighted += static_cast<long long>(k + 1) * ctx.ITlen[k];
  }
  std::fprintf(out, "%lld\n", total);
  for (int k = 0; k <= highest; ++k) std::fprintf(out, "%d\n", ctx.ITlen[k]);
  std::fprintf(out, "\n\nF1: %d\nAVGlen: %.2f\nMFI: %lld\n", ctx.ITEM_NO,
               total != 0 ? double(weighted) / double(total) : 0.0, total);
}

namespace {

// The whole run after the argument checks; throws RunError on a failure.
int run(int argc, char** argv, int threshold, std::clock_t start, RunLog& log, std::FILE* out) {
  Context ctx;
  ctx.THRESHOLD = threshold;
  Data data(argv[1]);
  if (!data.isOpen()) {
    std::fprintf(out, "%s could not be opened!\n", argv[1]);
    return kExitFile;
  }
  MainTree main_tree = build_main_tree(ctx, data);
  const int f = main_tree.frequent;

  std::unique_ptr<FSout> writer;
  if (argc == 4) {
    writer = std::make_unique<FSout>(argv[3]);
    if (!writer->isOpen()) {
      std::fprintf(out, "%s could not be opened!\n", argv[3]);
      return kExitFile;
    }
    writer->set_order(ctx.order_item.data());
  }
  if (f == 0) {
    // No frequent item: the output file is left empty rather than untouched,
    // so that an earlier run's itemsets are never taken for this run's.
    if (writer) writer->close();
    return kExitOk;
  }

  FI_tree* tree = main_tree.tree;
  if (main_tree.single_prefix == f) {
    // The tree is one path: all frequent items form the only maximal itemset.
    write_single_path(ctx, main_tree, writer.get());
    if (writer) writer->close();
    printLen(ctx, out);
    return kExitOk;
  }

  MiningRun mining(ctx, tree, main_tree.single_prefix);
  tree->Mine_Max(writer.get());
  // A write error must end the run before it is reported as done.
  if (writer) writer->close();
  const std::clock_t end = std::clock();

  std::string report = "\n------------------------\n";
  for (int k = 0; k < argc; ++k) report.append(argv[k]).append(" ");
  char figures[256];
  std::snprintf(figures, sizeof figures,
                "\nMFI: %d\nTime: %.3f\nNo. of F1: %d\nNo. of subset checking: %d\nNo. of projection: %d\n",
                mining.root_mfi()->mfi_count, static_cast<long long>(end - start) / 1000.0, tree->num_items,
                ctx.SUBCHECK_NO, ctx.PROJECT_NO);
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
  const std::clock_t start = std::clock();
  RunLog log(kRunLog);
  if (!log.isOpen()) std::fprintf(out, "%s could not be opened; no run report is written.\n", kRunLog);
  return run_reporting(out, [&] { return run(argc, argv, threshold, start, log, out); });
}

}  // namespace zub
