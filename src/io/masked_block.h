#pragma once
// A loop over a block's ids for x86-64 processors with AVX2, BMI2 and POPCNT
// (from 2013 on; checked at run time), used by the counting pass. The byte
// loop (io/block_parse.h) branches on every byte, on the length of each id
// and at every line end: a predictor misses about once an id in ten and
// once a line. Here the bytes are classified 64 at a time into a mask of
// digits and one of line feeds (two AVX2 compares each 32 bytes); each id
// is found at its last digit from the masks, so that the next id's position
// never waits on the bytes; the values of the numbers of up to four digits
// ending at every byte are made for the whole chunk at once (AVX2 again),
// so that such an id's value is one load (longer ids take eight bytes and
// three multiplies); and its line is the count of line feeds before it. So
// the sink is not told where each line ends: it takes id_at(x, k), an id in
// the k-th line from the chunk's start (0 the line the chunk begins in),
// and ended(n) behind each chunk's n line feeds, which returns false to
// stop (at the chunk's end, not at a line's). Ids come in the file's order.
#include <bit>
#include <concepts>
#include <cstdint>
#include <cstring>

#include "io/block_parse.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define ZUB_MASKED_READING 1
#endif

namespace zub::range_detail {

// Whether this processor runs the masked loop.
bool masked_reading_supported();

// A sink for the masked loop.
template <class Lines>
concept TakesLineOffsets = requires(Lines& lines, int x, long long k) {
  lines.id_at(x, k);
  { lines.ended(k) } -> std::convertible_to<bool>;
};

#if ZUB_MASKED_READING

// A chunk's masks start 7 bytes before the 56 bytes it reads (so that an
// id's last eight bytes are in them): those are bits 7 to 62, and bit 63
// tells whether the id at bit 62 goes on.
inline constexpr int kChunkBack = 7;
inline constexpr int kChunkBytes = 56;

struct ChunkMasks {
  std::uint64_t digits;
  std::uint64_t feeds;
};

[[gnu::target("avx2,popcnt,bmi,bmi2")]] inline ChunkMasks chunk_masks(const char* at) {
  const __m256i zero = _mm256_set1_epi8('0'), nine = _mm256_set1_epi8(9), feed = _mm256_set1_epi8('\n');
  std::uint64_t digits = 0, feeds = 0;
  for (int k = 0; k < 2; ++k) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 32 * k));
    const __m256i d = _mm256_sub_epi8(x, zero);
    const auto is_digit = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_min_epu8(d, nine), d)));
    const auto is_feed = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(x, feed)));
    digits |= std::uint64_t{is_digit} << (32 * k);
    feeds |= std::uint64_t{is_feed} << (32 * k);
  }
  return {digits, feeds};
}

// The value of an id of `len` (up to 8) digits ending at `last`; the loop
// calls it for 5 to 7.
inline std::uint64_t long_id(const char* last, int len) {
  std::uint64_t x;
  std::memcpy(&x, last - 7, 8);
  x &= (~std::uint64_t{0} << (8 * (8 - len))) & 0x0F0F0F0F0F0F0F0Full;
  x = ((x * 0xA01u) >> 8) & 0x00FF00FF00FF00FFull;          // pairs
  x = ((x * 0x640001u) >> 16) & 0x0000FFFF0000FFFFull;      // fours
  return (x * 0x271000000001ull) >> 32;                     // eight
}

[[gnu::target("avx2")]] inline __m256i times_ten(__m256i x) {
  const __m256i twice = _mm256_add_epi8(x, x), four = _mm256_add_epi8(twice, twice);
  return _mm256_add_epi8(_mm256_add_epi8(four, four), twice);
}

// The values of the numbers of up to four digits ending at each of the 32
// bytes from `at`, as 16-bit numbers in order: v[i] = d[i] + 10 d[i-1] +
// 100 d[i-2] + 1000 d[i-3], where a byte that is not a digit ends the run
// (it and the bytes before it count 0). Only the values at the ends of runs
// of at most four digits are used.
[[gnu::target("avx2,popcnt,bmi,bmi2")]] inline void short_values(const char* at, std::uint16_t* v) {
  const __m256i zero = _mm256_set1_epi8('0'), nine = _mm256_set1_epi8(9);
  __m256i d[4], in_run = _mm256_set1_epi8(-1);
  for (int back = 0; back < 4; ++back) {
    d[back] = _mm256_sub_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at - back)), zero);
    in_run = _mm256_and_si256(in_run, _mm256_cmpeq_epi8(_mm256_min_epu8(d[back], nine), d[back]));
    d[back] = _mm256_and_si256(d[back], in_run);
  }
  // Two digits to a byte (up to 99), then two such bytes to 16 bits.
  const __m256i low = _mm256_add_epi8(d[0], times_ten(d[1])), high = _mm256_add_epi8(d[2], times_ten(d[3]));
  const __m256i weights = _mm256_set1_epi16(100 << 8 | 1);
  const __m256i a = _mm256_maddubs_epi16(_mm256_unpacklo_epi8(low, high), weights);  // bytes 0-7, 16-23
  const __m256i b = _mm256_maddubs_epi16(_mm256_unpackhi_epi8(low, high), weights);  // 8-15, 24-31
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(v), _mm256_permute2x128_si256(a, b, 0x20));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(v + 16), _mm256_permute2x128_si256(a, b, 0x31));
}

// The value of an id of five digits or more ending at `last`, by the digit
// bits of the eight bytes up to it (`run`, bit 7 the last digit); false if
// it is larger than 2147483647.
inline bool long_value(const char* last, unsigned run, std::uint64_t& v) {
  if (run != 0xFF) {
    v = long_id(last, std::countl_one(static_cast<std::uint8_t>(run)));
    return true;
  }
  // eight digits or more, leading zeros included
  const char* first = last;
  while (static_cast<unsigned char>(first[-1]) - unsigned('0') < 10) --first;
  const Digits d = continue_digits(first, 0);
  v = d.value;
  return d.end != nullptr;
}

// parse_block's work with the masked loop: the same bytes, ids, lines and
// ends. The caller's block has room for 8 bytes before p and 64 behind e.
template <class Lines>
[[gnu::noinline, gnu::target("avx2,popcnt,bmi,bmi2")]] BlockEnd parse_block_masked(const char* p, const char* const e,
                                                                             const char* const stop, Parse& s,
                                                                             Lines& lines) {
  BlockEnd why = BlockEnd::used_up;
  const char* end = e;  // the bytes read: the block, or up to the range's last line feed
  if (stop <= e) {
    const char* from = stop - 1 > p ? stop - 1 : p;
    const char* feed = static_cast<const char*>(std::memchr(from, '\n', static_cast<std::size_t>(e - from)));
    if (feed != nullptr) {
      end = feed + 1;
      why = BlockEnd::done;
      s.done_at = end;
    }
  }
  Lines sink = lines;
  long long lines_read = 0;
  std::uint64_t long_id_bits = 0;
  for (const char* c = p; c < end; c += kChunkBytes) {
    const ChunkMasks m = chunk_masks(c - kChunkBack);
    const auto left = static_cast<std::uint64_t>(end - c);
    const std::uint64_t window = left >= kChunkBytes ? 0x7FFFFFFFFFFFFF80ull : ((1ull << (left + 7)) - 1) & ~0x7Full;
    // Bit b of these is the byte at c + b.
    const std::uint64_t feeds = (m.feeds & window) >> kChunkBack;
    const std::uint64_t ends = (m.digits & ~(m.digits >> 1) & window) >> kChunkBack;
    alignas(32) std::uint16_t values[64];  // by b, as ends
    short_values(c, values);
    short_values(c + 32, values + 32);
    const std::uint64_t long_ends =  // of runs of five digits or more
        ends & ((m.digits & (m.digits << 1) & (m.digits << 2) & (m.digits << 3) & (m.digits << 4)) >> kChunkBack);
    // Most chunks hold no long id: their loop does not look for one.
    if (long_ends == 0) [[likely]] {
      for (std::uint64_t left_ends = ends; left_ends != 0; left_ends &= left_ends - 1) {
        const int b = std::countr_zero(left_ends);
        sink.id_at(values[b], std::popcount(_bzhi_u64(feeds, static_cast<unsigned>(b))));
      }
    } else {
      for (std::uint64_t left_ends = ends; left_ends != 0; left_ends &= left_ends - 1) {
        const int b = std::countr_zero(left_ends);
        const long long k = std::popcount(_bzhi_u64(feeds, static_cast<unsigned>(b)));
        if ((long_ends >> b & 1) == 0) {
          sink.id_at(values[b], k);
          continue;
        }
        std::uint64_t v;
        if (!long_value(c + b, static_cast<unsigned>(m.digits >> b) & 0xFFu, v)) {
          lines_read += k;
          why = BlockEnd::too_large;
          break;
        }
        long_id_bits |= v;
        sink.id_at(static_cast<int>(v), k);
      }
    }
    if (why == BlockEnd::too_large) break;
    const long long n = std::popcount(feeds);
    lines_read += n;
    if (!sink.ended(n)) {
      why = BlockEnd::done;
      s.done_at = c + kChunkBytes < end ? c + kChunkBytes : end;
      break;
    }
  }
  s.line_started = e[-1] != '\n';
  s.lines += lines_read;
  s.long_id_bits |= long_id_bits;
  lines = sink;
  return why;
}

#endif

}  // namespace zub::range_detail
