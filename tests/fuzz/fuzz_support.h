#pragma once
// What the fuzz targets share: a check that stops the process (so that the
// fuzzer keeps the input), a scratch directory, and a small reference reader
// of the transaction format written independently of the program's reader,
// with one of gzip input.
#include <unistd.h>
#include <zlib.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#define FUZZ_CHECK(cond, ...)                                                  \
  do {                                                                         \
    if (!(cond)) {                                                             \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      std::fprintf(stderr, __VA_ARGS__);                                       \
      std::fputc('\n', stderr);                                                \
      std::abort();                                                            \
    }                                                                          \
  } while (0)

namespace zub::fuzz {

// A directory of this process's own, made on first use and kept for the run.
inline const std::string& scratch_dir() {
  static const std::string dir = [] {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/zub-fuzz-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    FUZZ_CHECK(mkdtemp(buf.data()) != nullptr, "cannot make %s", pattern.c_str());
    return std::string(buf.data());
  }();
  return dir;
}

inline void write_whole(const std::string& path, const std::string& content) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  FUZZ_CHECK(f != nullptr, "cannot write %s", path.c_str());
  FUZZ_CHECK(std::fwrite(content.data(), 1, content.size(), f) == content.size(), "short write to %s", path.c_str());
  FUZZ_CHECK(std::fclose(f) == 0, "cannot close %s", path.c_str());
}

// Whole content of a file; false when it cannot be opened.
inline bool read_whole(const std::string& path, std::string& content) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  content.clear();
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) content.append(buf, n);
  std::fclose(f);
  return true;
}

// The transaction format, line by line: a line ends at a line feed, or at the
// end of the file when anything stands after the last line feed; every run of
// digits is an id, every other byte separates ids. An id above INT_MAX stops
// the reading: the lines before it are the transactions, error_line is its
// line (counted from 1).
struct Reference {
  std::vector<std::vector<int>> transactions;
  long long error_line = 0;
};

inline Reference reference_read(const std::string& text) {
  Reference r;
  std::size_t start = 0;
  long long line = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    ++line;
    std::vector<int> ids;
    std::size_t i = start;
    while (i < end) {
      if (text[i] < '0' || text[i] > '9') {
        ++i;
        continue;
      }
      unsigned long long value = 0;
      bool too_large = false;
      for (; i < end && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (!too_large) value = value * 10 + unsigned(text[i] - '0');
        if (value > unsigned(INT_MAX)) too_large = true;
      }
      if (too_large) {
        r.error_line = line;
        return r;
      }
      ids.push_back(static_cast<int>(value));
    }
    r.transactions.push_back(std::move(ids));
    start = end + 1;
  }
  return r;
}

// Whether `bytes` start as gzip data does, with 1f 8b.
inline bool gzip_magic(const std::string& bytes) {
  return bytes.size() >= 2 && bytes[0] == '\x1f' && bytes[1] == '\x8b';
}

// gzip data, decompressed in one go from memory: members back to back up to
// the end of `bytes`. False when a member is damaged or cut short or other
// bytes follow; `text` then holds what came out before the failure.
inline bool reference_gunzip(const std::string& bytes, std::string& text) {
  text.clear();
  z_stream zs{};
  if (inflateInit2(&zs, 15 + 16) != Z_OK) return false;
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  zs.avail_in = static_cast<uInt>(bytes.size());
  char out[4096];
  bool ok = true;
  for (;;) {
    zs.next_out = reinterpret_cast<Bytef*>(out);
    zs.avail_out = sizeof out;
    const int status = inflate(&zs, Z_FINISH);
    text.append(out, sizeof out - zs.avail_out);
    if (status == Z_STREAM_END) {
      if (zs.avail_in == 0) break;
      inflateReset(&zs);  // the next member
    } else if (status != Z_OK && !(status == Z_BUF_ERROR && zs.avail_out == 0)) {
      ok = false;
      break;
    }
  }
  inflateEnd(&zs);
  return ok;
}

// A sink for the byte-range reader's loops (io/byte_ranges.h, both the
// byte loop and the masked one): each id with its line's number within the
// range, from 0.
struct StampedIds {
  std::vector<std::pair<long long, int>>* ids;
  long long line = 0;
  void id(int x) { ids->emplace_back(line, x); }
  bool end() {
    ++line;
    return true;
  }
  void id_at(int x, long long k) { ids->emplace_back(line + k, x); }
  bool ended(long long n) {
    line += n;
    return true;
  }
};

}  // namespace zub::fuzz
