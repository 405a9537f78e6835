// gen_baskets: writes synthetic market baskets in zub's input format to
// standard output, one transaction per line, item ids ascending and unique,
// separated by single blanks.
//
//   c++ -O2 -std=c++20 bench/gen_baskets.cpp -o gen_baskets
//   gen_baskets TRANSACTIONS [--items 1000] [--avg-len 10] [--patterns 2000]
//               [--pattern-len 4] [--seed 1] > baskets.dat
//
// The baskets are built from a pool of potential frequent patterns. Each
// pattern has a Poisson size around --pattern-len (at least 1); some of its
// items are taken over from the pattern before it (an exponentially
// distributed fraction, mean one half), the rest are drawn uniformly. Each
// pattern has a weight (exponential, normalised to sum 1) and a corruption
// level (normal around 0.5, sd 0.1, clipped to [0, 1]). A basket has a
// Poisson size around --avg-len (at least 1) and is filled with patterns
// picked by weight; from each picked pattern, items are dropped one at a time
// while a uniform draw stays below its corruption level. A pattern that would
// take the basket past its size is added anyway half the time, and the basket
// ends there.
//
// All sampling is done here on top of std::mt19937_64, whose sequence the
// standard fixes, rather than with the std distributions, whose algorithms
// differ between standard libraries: a seed gives the same file wherever
// std::exp, std::log and std::cos round alike.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Options {
  std::uint64_t transactions = 0;
  std::uint32_t items = 1000;
  double avg_len = 10;
  std::uint32_t patterns = 2000;
  double pattern_len = 4;
  std::uint64_t seed = 1;
};

[[noreturn]] void usage(const char* why) {
  if (why != nullptr) std::fprintf(stderr, "gen_baskets: %s\n", why);
  std::fprintf(stderr,
               "usage: gen_baskets TRANSACTIONS [--items N] [--avg-len X] [--patterns N] "
               "[--pattern-len X] [--seed S]\n");
  std::exit(2);
}

template <typename T>
T parse_number(std::string_view name, std::string_view text) {
  T value{};
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end) {
    std::string why = std::string(name) + " wants a number, not \"" + std::string(text) + "\"";
    usage(why.c_str());
  }
  return value;
}

Options parse_options(int argc, char** argv) {
  Options o;
  bool have_count = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "-h" || arg == "--help") usage(nullptr);
    if (!arg.starts_with("--")) {
      if (have_count) usage("only one transaction count");
      o.transactions = parse_number<std::uint64_t>("TRANSACTIONS", arg);
      have_count = true;
      continue;
    }
    std::string_view name = arg;
    std::string_view value;
    if (auto eq = arg.find('='); eq != std::string_view::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
    } else {
      if (i + 1 >= argc) usage((std::string(arg) + " needs a value").c_str());
      value = argv[++i];
    }
    if (name == "--items") o.items = parse_number<std::uint32_t>(name, value);
    else if (name == "--avg-len") o.avg_len = parse_number<double>(name, value);
    else if (name == "--patterns") o.patterns = parse_number<std::uint32_t>(name, value);
    else if (name == "--pattern-len") o.pattern_len = parse_number<double>(name, value);
    else if (name == "--seed") o.seed = parse_number<std::uint64_t>(name, value);
    else usage(("unknown option " + std::string(name)).c_str());
  }
  if (!have_count) usage("the number of transactions is needed");
  if (o.items == 0 || o.patterns == 0) usage("--items and --patterns must be at least 1");
  if (!(o.avg_len > 0) || !(o.pattern_len > 0)) usage("--avg-len and --pattern-len must be above 0");
  return o;
}

// The samplers, on the engine's raw 64-bit output only.
class Random {
 public:
  explicit Random(std::uint64_t seed) : engine_(seed) {}

  // In [0, 1), 53 random bits.
  double uniform() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }

  // In [0, n), n >= 1 (multiply-high; the bias is below n / 2^64).
  std::uint32_t below(std::uint32_t n) {
    return static_cast<std::uint32_t>((static_cast<unsigned __int128>(engine_()) * n) >> 64);
  }

  double exponential(double mean) { return -mean * std::log1p(-uniform()); }

  double normal(double mean, double sd) {  // Box-Muller, one of the pair
    double u = 1.0 - uniform();            // in (0, 1]
    double v = uniform();
    return mean + sd * std::sqrt(-2.0 * std::log(u)) * std::cos(2.0 * std::numbers::pi * v);
  }

  // Knuth's product of uniforms, in slices of mean at most 30 so that
  // exp(-mean) stays far from underflow; a sum of Poissons is Poisson.
  std::uint32_t poisson(double mean) {
    std::uint32_t k = 0;
    while (mean > 0) {
      double slice = std::min(mean, 30.0);
      mean -= slice;
      double limit = std::exp(-slice);
      double product = uniform();
      while (product > limit) {
        ++k;
        product *= uniform();
      }
    }
    return k;
  }

 private:
  std::mt19937_64 engine_;
};

struct Pattern {
  std::vector<std::uint32_t> items;
  double corruption = 0;
};

struct Pool {
  std::vector<Pattern> patterns;
  std::vector<double> cumulative;  // normalised weights, running sum; last is 1

  const Pattern& pick(Random& rng) const {
    double u = rng.uniform();
    auto it = std::upper_bound(cumulative.begin(), cumulative.end(), u);
    if (it == cumulative.end()) --it;  // rounding: the sum may end a hair below 1
    return patterns[static_cast<std::size_t>(it - cumulative.begin())];
  }
};

// Adds id to set unless present; mark[id] == stamp means present.
bool add_once(std::vector<std::uint32_t>& set, std::vector<std::uint64_t>& mark, std::uint64_t stamp,
              std::uint32_t id) {
  if (mark[id] == stamp) return false;
  mark[id] = stamp;
  set.push_back(id);
  return true;
}

Pool make_pool(const Options& o, Random& rng) {
  Pool pool;
  pool.patterns.resize(o.patterns);
  std::vector<std::uint64_t> mark(o.items, 0);
  std::vector<double> weights(o.patterns);
  double total = 0;
  const std::vector<std::uint32_t>* previous = nullptr;
  for (std::uint32_t p = 0; p < o.patterns; ++p) {
    Pattern& pattern = pool.patterns[p];
    std::uint32_t size = std::clamp<std::uint32_t>(rng.poisson(o.pattern_len), 1, o.items);
    std::uint64_t stamp = p + 1;
    if (previous != nullptr) {
      double fraction = std::min(1.0, rng.exponential(0.5));
      auto reuse = std::min<std::size_t>(static_cast<std::size_t>(fraction * size + 0.5), previous->size());
      for (std::size_t i = 0; i < reuse; ++i)  // repeats just add fewer, the rest come below
        add_once(pattern.items, mark, stamp, (*previous)[rng.below(static_cast<std::uint32_t>(previous->size()))]);
    }
    while (pattern.items.size() < size) add_once(pattern.items, mark, stamp, rng.below(o.items));
    pattern.corruption = std::clamp(rng.normal(0.5, 0.1), 0.0, 1.0);
    weights[p] = rng.exponential(1.0);
    total += weights[p];
    previous = &pattern.items;
  }
  pool.cumulative.resize(o.patterns);
  double sum = 0;
  for (std::uint32_t p = 0; p < o.patterns; ++p) pool.cumulative[p] = (sum += weights[p] / total);
  return pool;
}

// Output through one large buffer, written when nearly full.
class Writer {
 public:
  Writer() : buffer_(1 << 20) {}
  ~Writer() { flush(); }

  void line(const std::vector<std::uint32_t>& ids) {
    if (buffer_.size() - used_ < ids.size() * 11 + 1) flush();
    if (buffer_.size() - used_ < ids.size() * 11 + 1) buffer_.resize(ids.size() * 11 + 1);
    char* out = buffer_.data() + used_;
    for (std::size_t i = 0; i < ids.size(); ++i) {
      if (i > 0) *out++ = ' ';
      out = std::to_chars(out, out + 10, ids[i]).ptr;
    }
    *out++ = '\n';
    used_ = static_cast<std::size_t>(out - buffer_.data());
  }

  void flush() {
    if (used_ > 0 && std::fwrite(buffer_.data(), 1, used_, stdout) != used_) {
      std::perror("gen_baskets: write");
      std::exit(1);
    }
    used_ = 0;
  }

 private:
  std::vector<char> buffer_;
  std::size_t used_ = 0;
};

void write_baskets(const Options& o, const Pool& pool, Random& rng) {
  Writer writer;
  std::vector<std::uint64_t> mark(o.items, 0);
  std::vector<std::uint32_t> basket, kept;
  for (std::uint64_t t = 1; t <= o.transactions; ++t) {
    basket.clear();
    std::uint32_t target = std::clamp<std::uint32_t>(rng.poisson(o.avg_len), 1, o.items);
    // Corruption can leave a pattern adding nothing; a bound on the picks
    // ends a basket whose size the patterns cannot reach.
    for (std::uint32_t picks = 0; basket.size() < target && picks < 16 + 4 * target; ++picks) {
      const Pattern& pattern = pool.pick(rng);
      kept = pattern.items;
      while (!kept.empty() && rng.uniform() < pattern.corruption) {
        kept[rng.below(static_cast<std::uint32_t>(kept.size()))] = kept.back();
        kept.pop_back();
      }
      std::size_t fresh = 0;
      for (std::uint32_t id : kept) fresh += mark[id] != t;
      bool overflows = basket.size() + fresh > target;
      if (overflows && !basket.empty() && rng.uniform() < 0.5) break;
      for (std::uint32_t id : kept) add_once(basket, mark, t, id);
      if (overflows) break;
    }
    if (basket.empty()) add_once(basket, mark, t, pool.pick(rng).items.front());
    std::sort(basket.begin(), basket.end());
    writer.line(basket);
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options o = parse_options(argc, argv);
  Random rng(o.seed);
  Pool pool = make_pool(o, rng);
  write_baskets(o, pool, rng);
  return 0;
}
