// The numbers of zub-mine's command line that are not plain counts: the
// minimum support, the minimum confidence and the minimum lift, each read
// into an exact fraction.
#include <cctype>
#include <string>

#include "driver/driver.h"
#include "driver/mine_cli.h"

namespace zub {

namespace {

// Digits with an optional decimal part ("2.5"), after optional blanks, as
// the exact fraction digits / 10^decimals; trailing zeros of the decimal
// part are dropped. False when `t` is not such a number.
bool read_decimal(const std::string& t, std::string& whole, std::string& fraction) {
  std::size_t p = 0;
  while (p < t.size() && std::isspace(static_cast<unsigned char>(t[p]))) ++p;
  whole.clear();
  fraction.clear();
  while (p < t.size() && std::isdigit(static_cast<unsigned char>(t[p]))) whole += t[p++];
  if (p < t.size() && t[p] == '.') {
    ++p;
    while (p < t.size() && std::isdigit(static_cast<unsigned char>(t[p]))) fraction += t[p++];
    if (fraction.empty()) whole.clear();  // "5." is not a number
  }
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  while (whole.size() > 1 && whole[0] == '0') whole.erase(0, 1);
  return !whole.empty() && p == t.size();
}

Fraction fraction_of(const std::string& whole, const std::string& fraction, std::uint64_t scale) {
  Fraction r{0, scale};
  for (char d : whole + fraction) r.numerator = r.numerator * 10 + std::uint64_t(d - '0');
  for (std::size_t k = 0; k < fraction.size(); ++k) r.denominator *= 10;
  return r;
}

}  // namespace

bool read_percentage(const std::string& t, const char* text, Fraction& value, std::string& why) {
  std::string whole, fraction;
  if (!read_decimal(t, whole, fraction)) {
    why = std::string("a percentage is digits with an optional decimal part, as \"2.5%\", not \"") + text + "\"";
    return false;
  }
  if (whole.size() > 3 || std::stoi(whole) > 100 || (std::stoi(whole) == 100 && !fraction.empty())) {
    why = std::string("a percentage must be from 0 to 100, not ") + text;
    return false;
  }
  if (fraction.size() > 16) {
    why = std::string("a percentage takes at most 16 decimals: ") + text;
    return false;
  }
  value = fraction_of(whole, fraction, 100);  // p% = digits / (100 * 10^decimals)
  return true;
}

bool parse_mine_minsup(const char* text, MinSupport& value, std::string& why) {
  std::string t = text;
  auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!t.empty() && blank(t.back())) t.pop_back();
  if (t.empty() || t.back() != '%') {
    int count = 0;
    if (!parse_minsup(text, count)) {
      why = std::string("<minsup> must be a count of transactions from 0 to 2147483647 (\"20\") or a percentage of "
                        "them (\"2.5%\"), not \"") +
            text + "\"";
      return false;
    }
    if (count < 0) {
      why = std::string("the minimum support cannot be negative: ") + text;
      return false;
    }
    value = MinSupport{count, std::nullopt};
    return true;
  }
  t.pop_back();
  Fraction r;
  if (!read_percentage(t, text, r, why)) return false;
  value = MinSupport{0, r};
  return true;
}

bool parse_confidence(const char* text, Fraction& value, std::string& why) {
  std::string t = text;
  while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back()))) t.pop_back();
  if (!t.empty() && t.back() == '%') {
    t.pop_back();
    return read_percentage(t, text, value, why);
  }
  std::string whole, fraction;
  if (!read_decimal(t, whole, fraction) || whole.size() > 1 || whole > "1" || (whole == "1" && !fraction.empty()) ||
      fraction.size() > 16) {
    why = std::string("--min-confidence must be a share from 0 to 1 with at most 16 decimals (\"0.8\") or a "
                      "percentage (\"80%\"), not \"") + text + "\"";
    return false;
  }
  value = fraction_of(whole, fraction, 1);
  return true;
}

bool parse_lift(const char* text, Fraction& value, std::string& why) {
  std::string whole, fraction;
  if (!read_decimal(text, whole, fraction) || whole.size() > 9 || fraction.size() > 9) {
    why = std::string("--min-lift must be a number from 0 with at most 9 digits before and after the point (\"1.5\"), "
                      "not \"") + text + "\"";
    return false;
  }
  value = fraction_of(whole, fraction, 1);
  return true;
}

}  // namespace zub
