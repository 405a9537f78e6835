#pragma once
// What is fixed for one mining run and shared by everything that mines it:
// the minimum support as a count, the number of transactions and the tuning
// values.
#include "fp_tree/tuning.h"

namespace zub {

struct Settings {
  int threshold = 0;     // an itemset is frequent when at least this many transactions hold it
  int transactions = 0;  // of the database, empty ones included: the empty itemset's support
  Tuning tuning;
};

}  // namespace zub
