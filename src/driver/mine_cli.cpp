#include "driver/mine_cli.h"

#include <chrono>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <climits>
#include <ctime>
#include <functional>
#include <memory>
#include <new>
#include <vector>

#include "common/run_error.h"
#include "common/progress.h"
#include "driver/driver.h"
#include "io/data.h"
#include "io/fsout.h"
#include "io/output_file.h"
#include "run/cores.h"
#include "rules/mine_rules.h"

namespace zub {

namespace {

// The options, one per line: name, the form of its value (null for a
// switch) and the help text.
struct OptionDecl {
  const char* name;
  const char* value;
  const char* help;
};
constexpr OptionDecl kOptions[] = {
    {"--target", "maximal|closed|all|rules",
     "what to write: maximal (default), closed or all frequent itemsets, or association rules"},
    {"--method", "lookahead|projected|closure|cfi-tree",
     "the miner; maximal: lookahead (default, as zub runs it) or projected; closed: closure (default) or cfi-tree"},
    {"--min-len", "N", "write only itemsets of at least N items (default 1)"},
    {"--max-len", "M", "mine only itemsets of at most M items; maximal: maximal among those (default: no limit)"},
    {"--min-confidence", "C", "rules: the least confidence, a share (default 0.8) or a percentage (\"80%\")"},
    {"--min-lift", "L", "rules: the least lift (default: none)"},
    {"--consequent-size", "1|any", "rules: a consequent of one item (default) or of any number"},
    {"--all-measures", nullptr,
     "rules, csv and json: also both sides' supports, zhangs_metric, jaccard, certainty and kulczynski"},
    {"--threads", "N", "mine on N threads (default: the cores this process may use); 1 writes in one-thread order"},
    {"--names", nullptr, "items are words, not ids; the itemsets are written with the words"},
    {"--separator", "C",
     "fields are split at C only (one character, or \"tab\"), CSV quotes; each field a name, blanks kept inside"},
    {"--header", nullptr, "the first line is no transaction (--input single: it names the columns)"},
    {"--input", "basket|single", "a transaction a line (default), or a (transaction, item) pair a line"},
    {"--columns", "T,I", "single: the transaction's and the item's column, numbers from 1 or header names (1,2)"},
    {"--format", "plain|csv|json", "lines as zub writes them (default), CSV rows with a header, or JSON objects"},
    {"--sort-items", nullptr, "write the items of each itemset in ascending id (or name) order"},
    {"--stats", nullptr, "print a summary of the run on standard error"},
    {"--progress", nullptr, "show the run's phase and progress on standard error, a few times a second"},
    {"--help", nullptr, "print this help and exit (also -h)"},
    {"--version", nullptr, "print the version and exit"},
};

}  // namespace

void print_mine_help(std::FILE* out) {
  std::fprintf(out, "%s\n\n", kMineUsage);
  std::fprintf(out,
               "Writes the maximal, closed or all frequent itemsets of a transaction file,\n"
               "one per line: the item ids, each followed by a blank, then (support).\n\n"
               "  <infile>   transactions, one per line, item ids as runs of decimal digits\n"
               "             (with --names: words, separated by blanks, tabs or commas);\n"
               "             \"-\" reads standard input\n"
               "  <minsup>   a count of transactions (\"20\"; 0 makes every id from 0 to the\n"
               "             largest frequent) or a percentage of them (\"2.5%%\", 0 to 100)\n"
               "  <outfile>  where the itemsets go; standard output when absent or \"-\"\n\n"
               "options:\n");
  for (const OptionDecl& o : kOptions) {
    std::string form = o.name;
    if (o.value != nullptr) form.append(" ").append(o.value);
    std::fprintf(out, "  %-30s %s\n", form.c_str(), o.help);
  }
}

namespace {


// A length of itemsets or a number of threads: decimal digits, from 1 to
// 2147483647. (A maximum length of 2147483647 is no limit: no itemset has
// that many items.)
bool parse_length(const std::string& text, int& n) {
  if (text.empty()) return false;
  long long v = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    v = v * 10 + (c - '0');
    if (v > INT_MAX) return false;
  }
  if (v < 1) return false;
  n = static_cast<int>(v);
  return true;
}

// The value of an option that names one of three choices, as the enum
// whose values come in that order; false with the reason in `why`.
template <class Enum, std::size_t N>
bool choose(const std::string& name, const std::string& value, const std::array<const char*, N>& choices, Enum& out,
            std::string& why) {
  const auto found = std::find(choices.begin(), choices.end(), value);
  if (found == choices.end()) {
    why = name + " must be ";
    for (std::size_t k = 0; k < N; ++k) why += std::string(choices[k]) + (k + 2 < N ? ", " : k + 2 == N ? " or " : "");
    why += ", not \"" + value + "\"";
    return false;
  }
  out = static_cast<Enum>(found - choices.begin());
  return true;
}

// --separator: one byte, or "tab"; not a quote or a line break.
bool parse_separator(const std::string& value, char& separator, std::string& why) {
  const std::string given = value == "tab" || value == "\\t" ? "\t" : value;
  if (given.size() != 1 || given[0] == '"' || given[0] == '\n' || given[0] == '\r') {
    why = "--separator must be one character (or \"tab\"), not a quote or a line break, not \"" + value + "\"";
    return false;
  }
  separator = given[0];
  return true;
}

// --columns T,I: two different columns, each a number from 1 or a name.
bool parse_columns(const std::string& value, MineOptions& o, std::string& why) {
  const std::size_t comma = value.find(',');
  const auto is_number = [](const std::string& c) {
    return !c.empty() && std::all_of(c.begin(), c.end(), [](char x) { return std::isdigit(static_cast<unsigned char>(x)); });
  };
  const auto fits = [&](const std::string& c) {
    if (c.empty()) return false;
    if (!is_number(c)) return true;
    return c.size() <= 9 && std::stoi(c) >= 1;
  };
  if (comma == std::string::npos || value.find(',', comma + 1) != std::string::npos) {
    why = "--columns must be two columns, each a number from 1 or a name of the header, as \"1,2\" or "
          "\"order,product\", not \"" + value + "\"";
    return false;
  }
  o.transaction_column = value.substr(0, comma);
  o.item_column = value.substr(comma + 1);
  if (!fits(o.transaction_column) || !fits(o.item_column)) {
    why = "--columns must be two columns, each a number from 1 or a name of the header, as \"1,2\" or "
          "\"order,product\", not \"" + value + "\"";
    return false;
  }
  const auto normal = [&](const std::string& c) { return is_number(c) ? std::to_string(std::stoi(c)) : c; };
  if (normal(o.transaction_column) == normal(o.item_column)) {
    why = "--columns must name two different columns, not \"" + value + "\"";
    return false;
  }
  return true;
}

// Takes the value of one option into `o`; false with the reason in `why`.
bool apply_option(const std::string& name, const std::string& value, MineOptions& o, std::string& why) {
  if (name == "--help" || name == "--version") {
    (name == "--help" ? o.help : o.version) = true;
  } else if (name == "--stats") {
    o.stats = true;
  } else if (name == "--progress") {
    o.progress = true;
  } else if (name == "--names") {
    o.names = true;
  } else if (name == "--sort-items") {
    o.sort_items = true;
  } else if (name == "--all-measures") {
    o.all_measures = true;
  } else if (name == "--header") {
    o.header = true;
  } else if (name == "--separator") {
    return parse_separator(value, o.separator, why);
  } else if (name == "--input") {
    int layout = 0;
    if (!choose(name, value, std::array{"basket", "single"}, layout, why)) return false;
    o.single = layout == 1;
  } else if (name == "--columns") {
    o.columns_given = true;
    return parse_columns(value, o, why);
  } else if (name == "--format") {
    return choose(name, value, std::array{"plain", "csv", "json"}, o.format, why);
  } else if (name == "--target") {
    int target = 0;
    if (!choose(name, value, std::array{"maximal", "closed", "all", "rules"}, target, why)) return false;
    o.rules = target == 3;
    o.target = o.rules ? MiningTarget::all : static_cast<MiningTarget>(target);
  } else if (name == "--min-confidence" || name == "--min-lift" || name == "--consequent-size") {
    o.rule_options = true;
    if (name == "--min-confidence") return parse_confidence(value.c_str(), o.rule.min_confidence, why);
    if (name == "--min-lift") return parse_lift(value.c_str(), o.rule.min_lift, why);
    int size = 0;
    if (!choose(name, value, std::array{"1", "any"}, size, why)) return false;
    o.rule.single_consequent = size == 0;
  } else if (name == "--min-len" || name == "--max-len") {
    int n = 0;
    if (!parse_length(value, n)) {
      why = name + " must be a whole number of items from 1 to 2147483647, not \"" + value + "\"";
      return false;
    }
    (name == "--min-len" ? o.lengths.min : o.lengths.max) = n;
  } else if (name == "--threads") {
    if (!parse_length(value, o.threads)) {
      why = "--threads must be a whole number from 1 to 2147483647, not \"" + value + "\"";
      return false;
    }
  } else if (name == "--method") {
    if (value != "lookahead" && value != "projected" && value != "closure" && value != "cfi-tree") {
      why = "--method must be lookahead or projected (maximal), closure or cfi-tree (closed), not \"" + value + "\"";
      return false;
    }
    o.method = value;
  }
  return true;
}

// Whether the method given, if any, is one of the target's miners.
bool method_fits(const MineOptions& o, std::string& why) {
  if (o.rule_options && !o.rules) {
    why = "--min-confidence, --min-lift and --consequent-size go with --target rules";
    return false;
  }
  if (o.method.empty()) return true;
  if (o.rules) {
    why = "--method chooses the maximal or the closed miner; it does not go with --target rules";
    return false;
  }
  const bool maximal = o.method == "lookahead" || o.method == "projected";
  if (o.target == MiningTarget::all) {
    why = "--method chooses the maximal or the closed miner; it does not go with --target all";
  } else if (o.target == MiningTarget::closed && maximal) {
    why = "--method " + o.method + " does not go with --target closed (closed: closure or cfi-tree)";
  } else if (o.target == MiningTarget::maximal && !maximal) {
    why = "--method " + o.method + " does not go with --target maximal (maximal: lookahead or projected)";
  } else {
    return true;
  }
  return false;
}

}  // namespace

bool parse_mine_options(int argc, char** argv, MineOptions& o, std::string& why) {
  bool options_done = false;
  for (int k = 1; k < argc; ++k) {
    const std::string arg = argv[k];
    const bool looks_negative = arg.size() > 1 && arg[0] == '-' && std::isdigit(static_cast<unsigned char>(arg[1]));
    if (options_done || arg.empty() || arg[0] != '-' || arg == "-" || looks_negative) {
      o.positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_done = true;
      continue;
    }
    const std::size_t eq = arg.find('=');
    const std::string name = arg == "-h" ? "--help" : arg.substr(0, eq);
    const OptionDecl* option = nullptr;
    for (const OptionDecl& s : kOptions)
      if (name == s.name) option = &s;
    if (option == nullptr) {
      why = "unknown option " + arg;
      return false;
    }
    std::string value;
    if (option->value == nullptr) {
      if (eq != std::string::npos) {
        why = name + " takes no value";
        return false;
      }
    } else if (eq != std::string::npos) {
      value = arg.substr(eq + 1);
    } else if (k + 1 < argc) {
      value = argv[++k];
    } else {
      why = name + " needs a value: " + option->value;
      return false;
    }
    if (!apply_option(name, value, o, why)) return false;
    if (o.help || o.version) return true;
  }
  if (!method_fits(o, why)) return false;
  if (o.all_measures && (!o.rules || o.format == LineStyle::Format::plain)) {
    why = "--all-measures goes with --target rules and --format csv or json";
    return false;
  }
  if (o.columns_given && !o.single) {
    why = "--columns goes with --input single";
    return false;
  }
  const auto named = [](const std::string& c) {
    return !c.empty() && !std::all_of(c.begin(), c.end(), [](char x) { return std::isdigit(static_cast<unsigned char>(x)); });
  };
  if ((named(o.transaction_column) || named(o.item_column)) && !o.header) {
    why = "--columns names a column of the header: add --header, or give the columns' numbers";
    return false;
  }
  if (o.lengths.min > o.lengths.max) {
    why = "--min-len " + std::to_string(o.lengths.min) + " is above --max-len " + std::to_string(o.lengths.max);
    return false;
  }
  if (o.positional.size() < 2) {
    why = "missing arguments: <infile> and <minsup> are needed";
    return false;
  }
  if (o.positional.size() > 3) {
    why = "too many arguments: " + o.positional[3];
    return false;
  }
  return true;
}

void print_mine_stats(const StatsHead& head, const std::function<void()>& found, const std::vector<long long>& lengths,
                      const Counters& counters, double seconds, const PhaseTimes& wall, std::FILE* err) {
  std::fprintf(err, "transactions: %d\nminimum support: %d\nfrequent items: %d\n", head.transactions, head.threshold,
               head.frequent);
  found();
  int highest = -1;
  for (std::size_t len = 0; len < lengths.size(); ++len)
    if (lengths[len] != 0) highest = static_cast<int>(len);
  for (int len = 0; len <= highest; ++len)
    std::fprintf(err, "  of length %d: %lld\n", len + 1, lengths[static_cast<std::size_t>(len)]);
  std::fprintf(err, "processor time: %.3f s\nsubset checks: %d\nprojections: %d\n", seconds, counters.subset_checks,
               counters.projections);
  std::fprintf(err, "threads: %d\n", head.threads);
  if (head.ranks > 0) std::fprintf(err, "ranks: %d\n", head.ranks);
  std::fprintf(err, "wall time reading: %.3f s\nwall time mining: %.3f s\n", wall.reading, wall.mining);
}

RunRequest mine_request(const MineOptions& o, const MinSupport& minsup) {
  RunRequest request;
  request.min_support = minsup;
  request.target = o.target;
  request.method = o.method == "projected" ? MaximalMethod::projected : MaximalMethod::lookahead;
  request.closed_method = o.method == "cfi-tree" ? ClosedMethod::cfi_tree : ClosedMethod::closure;
  request.lengths = o.lengths;
  request.threads = o.threads > 0 ? o.threads : available_cores();
  return request;
}

LineStyle mine_line_style(const MineOptions& o, int transactions) {
  LineStyle style{o.format, o.sort_items, transactions};
  style.rules = o.rules;
  style.all_measures = o.all_measures;
  return style;
}

bool is_input_overwritten(const MineOptions& o) {
  if (o.positional.size() != 3 || o.positional[2] == "-") return false;
  const std::string& infile = o.positional[0];
  const char* outfile = o.positional[2].c_str();
  return infile == "-" ? is_same_file(fileno(stdin), outfile) : is_same_file(infile.c_str(), outfile);
}

Data::Options mine_reading(const MineOptions& o) {
  Data::Options reading;
  reading.names = o.names;
  reading.separator = o.separator;
  reading.header = o.header;
  reading.single = o.single;
  reading.transaction_column = o.transaction_column;
  reading.item_column = o.item_column;
  if (o.separator != 0 || o.header || o.single) reading.layouts = &Data::next_in_layout;
  return reading;
}

bool names_items(const MineOptions& o) { return o.names || o.separator != 0 || o.single; }

namespace {

// The progress report of --progress on the error stream: one line rewritten
// in place on a terminal, a line per report otherwise (a log file).
struct ProgressLine {
  std::FILE* err;
  bool terminal = isatty(fileno(err)) != 0;
  bool shown = false;
  void operator()(const Progress::Report& r) {
    static constexpr const char* kPhases[] = {"reading", "building", "mining"};
    std::fprintf(err, "%s%s: %lld", terminal ? "\r" : "", kPhases[static_cast<int>(r.phase)], r.done);
    if (r.total > 0) std::fprintf(err, "/%lld", r.total);
    if (r.phase != Progress::Phase::mining) {
      std::fprintf(err, " transactions");
    } else {
      std::fprintf(err, " %s, %lld itemsets", r.units ? "units" : "positions", r.itemsets);
      if (r.seconds > 0) std::fprintf(err, " (%.0f a second)", static_cast<double>(r.itemsets) / r.seconds);
    }
    std::fprintf(err, ", %.1f s%s", r.seconds, terminal ? "\033[K" : "\n");
    std::fflush(err);
    shown = true;
  }
  ~ProgressLine() {
    if (shown && terminal) std::fprintf(err, "\r\033[K");
  }
};

}  // namespace

std::unique_ptr<Progress> progress_line(std::FILE* err) {
  auto line = std::make_shared<ProgressLine>(ProgressLine{err});
  return std::make_unique<Progress>([line](const Progress::Report& r) { (*line)(r); });
}

namespace {

// The run after the argument checks; throws RunError on a failure.
int run(const MineOptions& o, const MinSupport& minsup, std::FILE* out, std::FILE* err) {
  const std::clock_t start = std::clock();
  using Clock = std::chrono::steady_clock;
  const Clock::time_point started = Clock::now();
  auto since = [](Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); };
  PhaseTimes wall;
  const std::unique_ptr<Progress> progress = progress_line(err);
  RunRequest request = mine_request(o, minsup);
  if (o.progress) request.progress = progress.get();
  Run run(request);
  const std::string& infile = o.positional[0];
  Data::Options reading = mine_reading(o);
  reading.keep_unseekable = true;
  const bool names = names_items(o);
  Data data = infile == "-" ? Data(stdin, "standard input", reading) : Data(infile.c_str(), reading);
  if (!data.isOpen()) {
    std::fprintf(err, "%s could not be opened!\n", infile.c_str());
    return kExitFile;
  }
  run.read(data);
  wall.reading = since(started);
  if (data.words_without_ids()) std::fprintf(err, "no item ids found; for items given as words use --names\n");
  const std::vector<std::string> item_names = data.take_names();

  // Opened once the input is read and closed. A file is written as a
  // temporary that takes its place only when the run has succeeded.
  const bool to_stdout = o.positional.size() < 3 || o.positional[2] == "-";
  std::unique_ptr<OutputFile> file;
  std::unique_ptr<FSout> writer = to_stdout ? std::make_unique<FSout>(out, "standard output")
                                            : open_output(o.positional[2].c_str(), file);
  if (writer == nullptr || !writer->isOpen()) {
    std::fprintf(err, "%s could not be opened!\n", o.positional[2].c_str());
    return kExitFile;
  }
  writer->set_order(run.items().file_id.data());
  if (names) writer->set_names(&item_names);
  writer->set_style(mine_line_style(o, run.settings().transactions));
  const Clock::time_point mining = Clock::now();
  RunReport report;
  RuleReport rules;
  if (o.rules) {
    RuleSettings options = o.rule;
    options.transactions = run.settings().transactions;
    rules = mine_rules(run, options, o.lengths, *writer);
  } else {
    report = run.mine(*writer);
  }
  writer->close();
  if (file != nullptr) file->commit();
  wall.mining = since(mining);
  if (!o.stats) return kExitOk;
  const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
  const StatsHead head{run.settings().transactions, run.settings().threshold, run.frequent(), run.threads(), 0};
  if (o.rules) {
    print_mine_stats(head, [&] {
      std::fprintf(err, "closed itemsets: %lld\nfrequent itemsets split: %lld\nrules: %lld\n", rules.closed,
                   rules.itemsets, rules.rules);
    }, rules.lengths, report.counters, seconds, wall, err);
  } else {
    print_mine_stats(head, [&] { std::fprintf(err, "itemsets: %lld\n", report.itemsets); }, report.lengths,
                     report.counters, seconds, wall, err);
  }
  return kExitOk;
}

}  // namespace

int zub_mine_main(int argc, char** argv, std::FILE* out, std::FILE* err) {
  // Before the command line, whose reading allocates.
  if (!has_memory_to_run()) {
    std::fprintf(err, "Not enough memory!\n");
    return kExitMemory;
  }
  MineOptions options;
  std::string why;
  if (!parse_mine_options(argc, argv, options, why)) {
    std::fprintf(err, "zub-mine: %s\n%s\n", why.c_str(), kMineUsage);
    return kExitUsage;
  }
  if (options.help || options.version) {
    if (options.help)
      print_mine_help(out);
    else
      std::fprintf(out, "zub-mine %s\n", ZUB_VERSION);
    // A help text that could not be written is a failure like any write.
    if (std::fflush(out) == 0 && !std::ferror(out)) return kExitOk;
    std::fprintf(err, "standard output could not be written!\n");
    return kExitFile;
  }
  MinSupport minsup;
  if (!parse_mine_minsup(options.positional[1].c_str(), minsup, why)) {
    std::fprintf(err, "zub-mine: %s\n%s\n", why.c_str(), kMineUsage);
    return kExitUsage;
  }
  // Refused before anything is read or written: the output would replace
  // the transactions it comes from.
  if (is_input_overwritten(options)) {
    std::fprintf(err, "%s is the input file; it would be overwritten!\n", options.positional[2].c_str());
    return kExitFile;
  }
  return run_reporting(err, [&] { return run(options, minsup, out, err); });
}

}  // namespace zub
