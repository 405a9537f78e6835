#pragma once
// What the reader tests share: whole passes over a Data, files read through
// a pipe, gzip members made with zlib, and random transaction text for comparison with the fuzz
// targets' reference reader.
#include <zlib.h>

#include <climits>
#include <cstdio>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "io/data.h"

namespace zub::test {

using Lines = std::vector<std::vector<int>>;
constexpr std::size_t kBlock = std::size_t(1) << 20;  // the reader's block size

// `passes` passes over `data`, each up to its end or an error.
inline std::vector<Lines> read_passes(Data& data, int passes) {
  std::vector<Lines> all(passes);
  Transaction t(1);
  for (Lines& lines : all)
    while (data.next(t) == Data::Status::transaction) lines.emplace_back(t.items, t.items + t.length);
  return all;
}

// `check` given a Data reading the file at `path` through `cat`, a pipe,
// as "the pipe"; kept in memory for later passes unless `keep` is false.
template <class Check>
void through_pipe(const std::string& path, Check check, bool keep = true) {
  std::FILE* pipe = popen(("cat '" + path + "'").c_str(), "r");
  {
    Data data(pipe, "the pipe", Data::Options{.keep_unseekable = keep});
    check(data);
  }
  pclose(pipe);
}

// `text` as one gzip member at `level` (0 stores).
inline std::string gzip(const std::string& text, int level = Z_DEFAULT_COMPRESSION) {
  z_stream zs{};
  if (deflateInit2(&zs, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("deflate");
  std::string out(deflateBound(&zs, static_cast<uLong>(text.size())), '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  zs.avail_in = static_cast<uInt>(text.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  const int status = deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  if (status != Z_STREAM_END) throw std::runtime_error("deflate");
  return out;
}

// Ids from 0 to INT_MAX, some with leading zeros, between runs of assorted
// separators (also the bytes next to '0' and '9', NUL and bytes above 127),
// with empty lines and CR LF line ends; `small` keeps ids below 1000.
inline std::string random_text(std::mt19937& rng, std::size_t size, bool small = false) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  static const char separators[] = {' ', ' ', ' ', '\t', ',', '\r', '/', ':', 'a', '-', '\0', '\x80', '\xff'};
  std::string text;
  while (text.size() < size) {
    const int what = pick(0, 9);
    if (what <= 1) {
      text += what == 0 ? "\n" : "\r\n";
    } else if (what <= 3) {
      for (int k = pick(1, 3); k > 0; --k) text += separators[pick(0, sizeof separators - 1)];
    } else {
      if (pick(0, 5) == 0) text.append(pick(0, 1) ? pick(1, 3) : pick(10, 30), '0');
      const int kind = small ? 1 : pick(0, 4);
      const long long id = kind == 0   ? pick(0, 9)
                           : kind == 1 ? pick(0, small ? 999 : 99999)
                           : kind == 2 ? pick(0, INT_MAX)
                                       : INT_MAX - pick(0, kind == 3 ? 9 : 100000);
      text += std::to_string(id) + separators[pick(0, 3)];
    }
  }
  return text;
}

}  // namespace zub::test
