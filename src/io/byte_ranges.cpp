#include "io/byte_ranges.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "common/run_error.h"

namespace zub {

std::vector<ByteRange> split_ranges(std::uint64_t begin, std::uint64_t end, std::uint64_t bytes) {
  if (bytes == 0) bytes = 1;
  std::vector<ByteRange> ranges;
  for (std::uint64_t at = begin; at < end; at += bytes) ranges.push_back({at, end - at > bytes ? at + bytes : end});
  return ranges;
}

RangeReader::RangeReader(int fd, std::size_t block_bytes, ReadLoop loop)
    : fd_(fd),
      block_bytes_(block_bytes > 0 ? block_bytes : 1),
      masked_(loop == ReadLoop::masks && range_detail::masked_reading_supported()),
      buffer_(new char[kBefore + block_bytes_ + 1 + kBehind]),
      ids_(64) {
  // The masked loop's loads around a block read no byte that was never
  // written (load() clears the bytes behind each block); the block's own
  // pages are touched only as far as the file fills them.
  std::memset(buffer_.get(), 0, kBefore);
}

long long RangeReader::load(std::uint64_t at, std::size_t most) {
  const std::size_t want = most == 0 ? block_bytes_ : std::min(most, block_bytes_);
  std::size_t got = 0;
  while (got < want) {
    const ssize_t n = ::pread(fd_, block() + got, want - got, static_cast<off_t>(at + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  block()[got] = '\n';
  std::memset(block() + got + 1, 0, kBehind);
  return static_cast<long long>(got);
}

bool RangeReader::find_start(ByteRange range, std::uint64_t& start, bool& failed) {
  if (range.begin >= range.end) return false;
  if (range.begin == 0) {
    start = 0;
    return true;
  }
  // A line starts in the range behind a line feed at begin - 1 .. end - 2.
  // The first look reads a little (lines are mostly short): the range's
  // reading then loads its first block from that line on.
  std::size_t look = kFirstLook;
  for (std::uint64_t at = range.begin - 1; at < range.end - 1; look = 0) {
    const long long got = load(at, look);
    if (got <= 0) {
      failed = got < 0;
      return false;
    }
    const std::uint64_t span = std::min<std::uint64_t>(static_cast<std::uint64_t>(got), range.end - 1 - at);
    if (const void* feed = std::memchr(block(), '\n', span)) {
      start = at + static_cast<std::uint64_t>(static_cast<const char*>(feed) - block()) + 1;
      return true;
    }
    at += span;
  }
  return false;
}

void RangeReader::grow_ids(std::size_t n) {
  if (n >= static_cast<std::size_t>(INT_MAX)) fail_memory();  // a line of more ids than an int counts
  ids_.resize(std::min<std::size_t>(2 * n, INT_MAX));
}

bool RangeReader::has_letters(ByteRange range) {
  for (std::uint64_t at = range.begin; at < range.end;) {
    const long long got = load(at);
    if (got <= 0) return false;
    const std::uint64_t span = std::min<std::uint64_t>(static_cast<std::uint64_t>(got), range.end - at);
    for (std::uint64_t k = 0; k < span; ++k) {
      const unsigned char c = static_cast<unsigned char>(block()[k]);
      if (static_cast<unsigned>((c | 0x20) - 'a') < 26 || c >= 0x80) return true;
    }
    at += span;
  }
  return false;
}

namespace range_detail {

bool masked_reading_supported() {
#if ZUB_MASKED_READING
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
#else
  return false;
#endif
}

Digits continue_digits(const char* p, std::uint64_t value) {
  for (; static_cast<unsigned char>(*p) - unsigned('0') < 10; ++p) {
    value = value * 10 + unsigned(*p - '0');
    if (value > 2147483647u) return {nullptr, value};
  }
  return {p, value};
}

}  // namespace range_detail

}  // namespace zub
