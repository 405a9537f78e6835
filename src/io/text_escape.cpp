#include "io/text_escape.h"

#include <charconv>
#include <cmath>

namespace zub {

namespace {

// The length of the valid UTF-8 sequence at s[0..n), or 0.
std::size_t utf8_length(const unsigned char* s, std::size_t n) {
  const unsigned char c = s[0];
  std::size_t len = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // the second byte's range
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;  // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (n < len || s[1] < lo || s[1] > hi) return 0;
  for (std::size_t k = 2; k < len; ++k)
    if (s[k] < 0x80 || s[k] > 0xBF) return 0;
  return len;
}

void append_u00(std::string& out, unsigned char c) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\u00";
  out += kHex[c >> 4];
  out += kHex[c & 15];
}

}  // namespace

void append_csv_field(std::string& out, std::string_view field) {
  if (field.find_first_of("\",\r\n") == std::string_view::npos) {
    out += field;
    return;
  }
  out += '"';
  for (char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

void append_json_string(std::string& out, std::string_view text) {
  out += '"';
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t k = 0; k < text.size();) {
    const unsigned char c = s[k];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      append_u00(out, c);
    } else if (c >= 0x80) {
      const std::size_t len = utf8_length(s + k, text.size() - k);
      if (len == 0) {
        append_u00(out, c);  // not UTF-8: the byte as Latin-1
      } else {
        out.append(text.data() + k, len);
        k += len;
        continue;
      }
    } else {
      out += static_cast<char>(c);
    }
    ++k;
  }
  out += '"';
}

void append_double(std::string& out, double value) {
  if (std::isinf(value)) {
    out += "inf";
    return;
  }
  char digits[32];
  out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

void append_share(std::string& out, long long count, long long total) {
  append_double(out, total > 0 ? static_cast<double>(count) / static_cast<double>(total) : 0.0);
}

void append_message_text(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else if (c == '\\') {
      out += "\\\\";
    } else {
      out += c;
    }
  }
}

}  // namespace zub
