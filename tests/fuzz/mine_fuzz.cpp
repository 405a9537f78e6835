// Fuzz target for a whole zub run on a small database: the bytes become the
// transaction file, zub runs in-process in a scratch directory, and the
// written itemsets, the standard output and the run log are checked against
// the brute-force miner on what the reference reader reads from the bytes.
//
// The first byte steers the run: its low seven bits choose MINSUP among -1 to
// the transaction count + 1, its top bit runs without an output file.
// Databases the brute-force miner cannot check quickly are rejected.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>

#include "driver/driver.h"
#include "fuzz/fuzz_support.h"
#include "support/brute_force.h"

namespace {

using zub::test::Mined;

constexpr std::size_t kMaxBytes = 4096;
constexpr std::size_t kMaxTransactions = 48;
constexpr std::size_t kMaxLineItems = 10;
constexpr std::size_t kMaxItems = 24;
constexpr int kMaxId = 5000;

// Itemset lines "id id ... (support)\n", strictly: one blank after each id,
// nothing else on the line, no item twice in a line, no itemset twice.
Mined parse_strict(const std::string& s) {
  Mined out;
  std::size_t i = 0;
  auto number = [&](const char* what) {
    FUZZ_CHECK(i < s.size() && s[i] >= '0' && s[i] <= '9', "%s expected at byte %zu of:\n%s", what, i, s.c_str());
    long long v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) v = v * 10 + (s[i] - '0');
    return static_cast<int>(v);
  };
  while (i < s.size()) {
    zub::test::Itemset items;
    while (i < s.size() && s[i] != '(') {
      items.push_back(number("an id"));
      FUZZ_CHECK(i < s.size() && s[i] == ' ', "blank expected at byte %zu of:\n%s", i, s.c_str());
      ++i;
    }
    FUZZ_CHECK(i < s.size(), "line without support in:\n%s", s.c_str());
    ++i;
    const int support = number("a support");
    FUZZ_CHECK(s.compare(i, 2, ")\n") == 0, "')' and line feed expected at byte %zu of:\n%s", i, s.c_str());
    i += 2;
    std::sort(items.begin(), items.end());
    FUZZ_CHECK(std::adjacent_find(items.begin(), items.end()) == items.end(), "item repeated in:\n%s", s.c_str());
    FUZZ_CHECK(out.emplace(items, support).second, "itemset written twice in:\n%s", s.c_str());
  }
  return out;
}

std::string length_report(std::size_t n) {
  std::string s = "1\n";
  for (std::size_t k = 1; k < n; ++k) s += "0\n";
  return s + "1\n\n\nF1: " + std::to_string(n) + "\nAVGlen: " + std::to_string(n) + ".00\nMFI: 1\n";
}

bool has_digits_then(const std::string& s, std::size_t& i, const char* after) {
  const std::size_t start = i;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
  const std::size_t n = std::char_traits<char>::length(after);
  if (i == start || s.compare(i, n, after) != 0) return false;
  i += n;
  return true;
}

// Exactly one run report: the arguments, the MFI figure, then four figures.
void check_report(const std::string& log, const std::string& args, std::size_t mfi) {
  const std::string head = "\n------------------------\nzub " + args + "\nMFI: " + std::to_string(mfi) + "\nTime: ";
  FUZZ_CHECK(log.compare(0, head.size(), head) == 0, "run log:\n%s\nexpected it to begin:\n%s", log.c_str(),
             head.c_str());
  std::size_t i = head.size();
  const bool ok = has_digits_then(log, i, ".") && has_digits_then(log, i, "\nNo. of F1: ") &&
                  has_digits_then(log, i, "\nNo. of subset checking: ") &&
                  has_digits_then(log, i, "\nNo. of projection: ") && has_digits_then(log, i, "\n") &&
                  i == log.size();
  FUZZ_CHECK(ok, "malformed run log:\n%s", log.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace zub;
  if (size == 0 || size - 1 > kMaxBytes) return -1;
  const std::uint8_t flags = bytes[0];
  const std::string text(reinterpret_cast<const char*>(bytes) + 1, size - 1);
  if (fuzz::gzip_magic(text)) return -1;  // gzip input is the reader target's
  const fuzz::Reference db = fuzz::reference_read(text);
  if (db.transactions.size() > kMaxTransactions) return -1;
  std::set<int> items;
  int largest = 0;
  for (const auto& t : db.transactions) {
    const std::set<int> line(t.begin(), t.end());
    if (line.size() > kMaxLineItems) return -1;
    items.insert(line.begin(), line.end());
    if (!line.empty()) largest = std::max(largest, *line.rbegin());
  }
  if (items.size() > kMaxItems || largest > kMaxId) return -1;
  const int n = static_cast<int>(db.transactions.size());
  const int minsup = (flags & 0x7F) % (n + 3) - 1;
  if (minsup <= 0 && largest > 64) return -1;  // every id up to the largest is frequent then
  const bool with_out = (flags & 0x80) == 0;

  static const bool entered = chdir(fuzz::scratch_dir().c_str()) == 0;
  FUZZ_CHECK(entered, "cannot enter %s", fuzz::scratch_dir().c_str());
  fuzz::write_whole("db", text);
  std::remove("out");
  std::remove("testfile.txt");
  std::remove("stdout.txt");

  std::string program = "zub", file = "db", support = std::to_string(minsup), out_name = "out";
  char* argv[] = {program.data(), file.data(), support.data(), out_name.data(), nullptr};
  std::FILE* capture = std::fopen("stdout.txt", "w");
  FUZZ_CHECK(capture != nullptr, "cannot open stdout.txt");
  const int status = zub_main(with_out ? 4 : 3, argv, capture);
  std::fclose(capture);
  std::string printed, log, written;
  fuzz::read_whole("stdout.txt", printed);
  FUZZ_CHECK(fuzz::read_whole("testfile.txt", log), "no run log");
  const bool out_exists = fuzz::read_whole("out", written);
  FUZZ_CHECK(out_exists == (with_out && db.error_line == 0), "output file %s", out_exists ? "made" : "missing");

  if (db.error_line != 0) {
    const std::string message = "db, line " + std::to_string(db.error_line) + ": item id is larger than 2147483647!\n";
    FUZZ_CHECK(status == 2 && printed == message, "status %d, printed:\n%s\nexpected:\n%s", status, printed.c_str(),
               message.c_str());
    FUZZ_CHECK(log.empty(), "run log after a failed run:\n%s", log.c_str());
    return 0;
  }
  FUZZ_CHECK(status == 0, "status %d, printed:\n%s", status, printed.c_str());
  const Mined expected = test::brute_force_maximal(db.transactions, minsup);
  if (with_out) {
    const Mined got = parse_strict(written);
    FUZZ_CHECK(got == expected, "MINSUP %d, written:\n%s\nexpected:\n%s", minsup, test::describe(got).c_str(),
               test::describe(expected).c_str());
  }
  if (expected.empty()) {
    FUZZ_CHECK(printed.empty() && log.empty(), "no itemset, yet printed:\n%s\nlogged:\n%s", printed.c_str(),
               log.c_str());
  } else if (!printed.empty()) {
    // The single-path shortcut: the one itemset, a length report, no run report.
    FUZZ_CHECK(expected.size() == 1, "length report for %zu itemsets:\n%s", expected.size(), printed.c_str());
    const std::string report = length_report(expected.begin()->first.size());
    FUZZ_CHECK(printed == report, "printed:\n%s\nexpected:\n%s", printed.c_str(), report.c_str());
    FUZZ_CHECK(log.empty(), "run report after the shortcut:\n%s", log.c_str());
  } else {
    check_report(log, "db " + support + " " + (with_out ? "out " : ""), expected.size());
  }
  return 0;
}
