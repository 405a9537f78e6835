#pragma once
// zub: frequent itemsets of a transaction file, from C++.
//
//   #include <zub/zub.h>
//
//   zub::mine_file("baskets.dat", zub::Target::closed, zub::Support::fraction(0.02),
//                  [](std::span<const int> items, int support) { ... });
//   for (const zub::Rule& r : zub::mine_rules("baskets.dat", zub::Support::count(20))) ...
//
// The file is read as zub reads it: one transaction per line, item ids as
// runs of decimal digits, any other byte a separator, an id repeated on a
// line counted once; a gzip file (told by its first bytes) is read as the
// text it holds. A pipe or another stream that cannot be rewound is
// read once and kept in memory; a regular file is read twice from the disk.
//
// Each run is independent of every other: runs may go on in several threads
// at once. Nothing is printed and the process is never ended; a failure
// throws zub::Error.
#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace zub {

// Which itemsets a run hands out.
enum class Target {
  maximal,  // frequent, and no proper superset is frequent
  closed,   // frequent, and no proper superset has the same support
  all,      // every frequent itemset
};

// The minimum support: an itemset is frequent when at least this many
// transactions hold it.
class Support {
 public:
  // A count of transactions, 0 or more. The count 0 makes every id from 0 to
  // the largest id in the file frequent, also ids that no transaction holds
  // (support 0).
  static Support count(int transactions);
  // A share of the transactions, from 0 to 1: the smallest count that is at
  // least that share, computed exactly on the shortest decimal that reads
  // back as `share` (0.07 of 100 transactions is 7). A share above 0 asks
  // for at least one transaction; the share 0 is the count 0.
  static Support fraction(double share);
  // The share numerator / denominator, exactly (1, 40 is 2.5%).
  static Support fraction(std::uint64_t numerator, std::uint64_t denominator);

  // The count, or the exact share (denominator 0 for a count).
  int count_value() const { return count_; }
  std::uint64_t numerator() const { return numerator_; }
  std::uint64_t denominator() const { return denominator_; }

 private:
  Support() = default;
  int count_ = 0;
  std::uint64_t numerator_ = 0;
  std::uint64_t denominator_ = 0;
};

// A failure of a run or of its arguments. what() is the message zub-mine
// prints for it, such as "data.txt could not be opened!".
class Error : public std::runtime_error {
 public:
  enum class Kind {
    argument,  // an argument is out of range (a negative count, a share above 1)
    file,      // the file could not be opened or read, or holds an id above 2147483647
    memory,    // not enough memory
    internal,  // an internal consistency check failed: a fault of zub
    cancelled, // the run's stop flag was set (RunOptions::stop)
  };
  Error(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

// The lengths of the itemsets a run hands out: from min_len to max_len items
// (max_len 0: no maximum). The maximum bounds the mining itself; with it the
// maximal itemsets are those maximal among the frequent itemsets of at most
// max_len items (so every frequent itemset of max_len items is one), and the
// closed ones are the closed itemsets of at most max_len items.
struct Limits {
  int min_len = 1;
  int max_len = 0;
};

// One itemset: its item ids in ascending order, and its support.
struct Itemset {
  std::vector<int> items;
  int support = 0;
  friend bool operator==(const Itemset&, const Itemset&) = default;
};

// What a run found beside the itemsets.
struct Summary {
  int transactions = 0;     // lines read, empty ones included
  int min_support = 0;      // the minimum support as a count
  int frequent_items = 0;   // items of support at least min_support
  long long itemsets = 0;   // itemsets handed out
  bool words_without_ids = false;  // the file held letters but no id: words read without names
};

// Called once per itemset with its item ids in ascending order (valid for
// the call only) and its support.
using ItemsetCallback = std::function<void(std::span<const int> items, int support)>;

// Mines the transaction file at `path` and calls `each` for every itemset
// of `target`, in the order the miner finds them. An exception thrown by
// `each` ends the run and reaches the caller unchanged. Throws Error:
// (argument) for a target that is none of the three (an int cast to
// Target) or a path holding a NUL byte, and for the run's failures.
Summary mine_file(const std::string& path, Target target, Support min_support, const ItemsetCallback& each);

// The same, returning the itemsets.
std::vector<Itemset> mine_file(const std::string& path, Target target, Support min_support);

// Both forms for the itemsets of the lengths in `limits` only. Throws Error
// (argument) when min_len is below 1, max_len below 0, or min_len above a
// max_len that is not 0.
Summary mine_file(const std::string& path, Target target, Support min_support, Limits limits,
                  const ItemsetCallback& each);
std::vector<Itemset> mine_file(const std::string& path, Target target, Support min_support, Limits limits);

// How a run mines. The forms above mine on one thread and call `each` on
// the caller's thread; with RunOptions the run mines on `threads` threads
// (0: as many as the cores the process may run on). The itemsets are the
// same for any number; on more than one thread `each` is called from the
// worker threads, one call at a time, in an order that two runs with the
// same file, support and number of threads repeat. Throws Error (argument)
// when threads is below 0.
//
// `stop`, when given, lets another thread end the run: once it holds true,
// the run ends within a fraction of a second (it looks at the flag between
// small units of work, while reading and while mining) and throws Error
// (cancelled); the itemsets handed out before are a part of the result.
//
// `layout`, when given, tells how a file (not transactions in memory) holds
// its transactions (see FileLayout); with names, `names` (when given) gets
// the name of each id once the file is read, before the first itemset or
// rule is handed out.
//
// `progress`, when given, is told where the run is at most five times a
// second, from whichever thread mines (one call at a time): the reading
// passes, then the mining by positions of the main tree (one thread) or by
// units (several), with the itemsets found so far. An exception it throws
// ends the run and reaches the caller unchanged.
struct RunProgress {
  enum class Phase { reading, building, mining };
  Phase phase = Phase::reading;
  long long done = 0;      // transactions read, or positions or units mined
  long long total = 0;     // of the phase; 0 when not known (the first reading pass)
  long long itemsets = 0;  // found so far (on several threads: handed out so far, in order)
  double seconds = 0;      // since the run began
  bool units = false;      // the mining counts units of a run on several threads
};
using ProgressCallback = std::function<void(const RunProgress&)>;

struct FileLayout;
struct RunOptions {
  int threads = 0;
  const std::atomic<bool>* stop = nullptr;
  const FileLayout* layout = nullptr;
  std::vector<std::string>* names = nullptr;
  ProgressCallback progress = {};
};

// How a file holds its transactions, as zub-mine's --names, --separator,
// --header, --input single and --columns read it. Without names the items
// are ids (zub's layout). With names the items are names, given the ids 0,
// 1, 2, ... in the order they first appear (RunOptions::names tells them).
struct FileLayout {
  bool names = false;   // items are words: runs of bytes other than blank, tab, comma, CR, LF
  char separator = 0;   // not 0: fields split at this byte only, CSV quotes, blanks around a field
                        // trimmed, each field a name (inner blanks kept); implies names
  bool header = false;  // the first line is no transaction (in the single layout it names the columns)
  bool single = false;  // a (transaction, item) pair a line, rows of a transaction anywhere; implies names
  // The single layout's columns: a number from 1 or a name of the header;
  // empty: the first and the second.
  std::string transaction_column = {};
  std::string item_column = {};
};
Summary mine_file(const std::string& path, Target target, Support min_support, Limits limits, RunOptions options,
                  const ItemsetCallback& each);
std::vector<Itemset> mine_file(const std::string& path, Target target, Support min_support, Limits limits,
                               RunOptions options);

// Transactions held in memory instead of a file: the item ids of every
// transaction back to back in `ids` (0 to 2147483647, in any order, an id
// repeated within a transaction counted once) and each transaction's number
// of ids in `lengths`. Both stay the caller's and must outlive the call;
// nothing is copied. Lengths that do not add up to ids.size(), or a
// negative id, throw Error (argument).
struct Transactions {
  std::span<const int> ids;
  std::span<const std::uint32_t> lengths;
};

// mine_file's forms for transactions in memory: the same itemsets, in the
// same order, as for a file that holds them.
Summary mine_transactions(Transactions transactions, Target target, Support min_support, Limits limits,
                          RunOptions options, const ItemsetCallback& each);
std::vector<Itemset> mine_transactions(Transactions transactions, Target target, Support min_support,
                                       Limits limits = {}, RunOptions options = {});

// Association rules X -> Y: X and Y non-empty and disjoint, X u Y frequent,
// confidence supp(X u Y) / supp(X) at least min_confidence and lift at
// least min_lift. The thresholds are compared exactly, as the shortest
// decimals that read back as the doubles given (0.8 keeps a rule of
// confidence 4/5). The limits count the items of X u Y.
struct RuleOptions {
  double min_confidence = 0.8;  // from 0 to 1
  double min_lift = 0;          // from 0 (0: no minimum) to 10^9
  bool any_consequent = false;  // Y of one item (false) or of any number
};

// One rule: the item ids of X and Y in ascending order, the supports (counts
// of transactions) and the measures, with n the number of transactions.
struct Rule {
  std::vector<int> antecedent;  // X
  std::vector<int> consequent;  // Y
  int support = 0;              // of X u Y
  int antecedent_support = 0;
  int consequent_support = 0;
  double confidence = 0;        // supp(X u Y) / supp(X)
  double lift = 0;              // confidence / (supp(Y) / n)
  double leverage = 0;          // supp(X u Y)/n - supp(X)/n * supp(Y)/n
  double conviction = 0;        // (1 - supp(Y)/n) / (1 - confidence); infinity at confidence 1
  friend bool operator==(const Rule&, const Rule&) = default;
};

struct RuleSummary {
  int transactions = 0;
  int min_support = 0;
  int frequent_items = 0;
  long long closed_itemsets = 0;  // the closed itemsets the supports came from
  long long rules = 0;            // rules handed out
  bool words_without_ids = false;  // as in Summary
};

// Called once per rule (valid for the call only).
using RuleCallback = std::function<void(const Rule&)>;

// Mines the rules of the transaction file at `path` and calls `each` for
// every one, in the same order on any number of threads (from the worker
// threads, one call at a time, when there are several). The run mines the
// closed itemsets, then streams every frequent itemset and splits it; it
// keeps only the closed itemsets. Throws Error (argument) for thresholds
// out of range and as mine_file does.
RuleSummary mine_rules(const std::string& path, Support min_support, const RuleOptions& options, Limits limits,
                       RunOptions run, const RuleCallback& each);
// The same, returning the rules.
std::vector<Rule> mine_rules(const std::string& path, Support min_support, const RuleOptions& options = {},
                             Limits limits = {}, RunOptions run = {});
// Both forms for transactions in memory.
RuleSummary mine_rules(Transactions transactions, Support min_support, const RuleOptions& options, Limits limits,
                       RunOptions run, const RuleCallback& each);
std::vector<Rule> mine_rules(Transactions transactions, Support min_support, const RuleOptions& options = {},
                             Limits limits = {}, RunOptions run = {});

}  // namespace zub
