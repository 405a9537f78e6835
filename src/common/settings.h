#pragma once
// What is fixed for one mining run and shared by everything that mines it:
// the minimum support as a count, the number of transactions, the tuning
// values and the caller's stop flag; and the type of the length limits that
// each pass gives its recorders.
#include <climits>

#include "common/stop_flag.h"
#include "common/tuning.h"

namespace zub {

// The itemsets written have from `min` to `max` items. The miners never
// enumerate an itemset longer than `max`; the shorter ones are dropped where
// itemsets are written.
struct LengthLimits {
  static constexpr int kNone = INT_MAX;
  int min = 1;
  int max = kNone;
  bool limits_max() const { return max != kNone; }
};

struct Settings {
  int threshold = 0;     // an itemset is frequent when at least this many transactions hold it
  int transactions = 0;  // of the database, empty ones included: the empty itemset's support
  Tuning tuning;
  StopFlag stop;  // looked at between units of bounded work
};

}  // namespace zub
