#pragma once
// The loop that reads the ids of a block of a file's bytes, for the byte-range
// reader (io/byte_ranges.h), and what it carries from one block to the next.
#include <cstdint>

namespace zub::range_detail {

// A run of digits continued from `value`: its end and value, end null when
// the value passes 2147483647.
struct Digits {
  const char* end;
  std::uint64_t value;
};
Digits continue_digits(const char* p, std::uint64_t value);

// What the reading of a range carries from one block to the next.
struct Parse {
  long long lines = 0;
  std::uint64_t value = 0;    // the digits of a block that held nothing else
  bool in_number = false;
  bool line_started = false;  // the current line has bytes
  const char* done_at = nullptr;  // behind the last line, when done
  std::uint64_t long_id_bits = 0;  // RangeRead::long_id_bits
};
enum class BlockEnd { used_up, done, too_large };

// Reads the bytes from p to e into `lines`: up to e, or to the end of the
// line that ends at or behind `stop` (the range's end), or until
// lines.end() returns false. The caller puts a line feed at e and cuts the
// block behind a byte that is no digit, so that no id runs on past e: the
// loop checks for the block's end only at a line feed. A function of its
// own that works on a copy of `lines`, so that the loop keeps the sink's
// state in registers: no call can see the copy, so no store to a count
// makes the compiler load it again. Per id: a compare per byte, the digits'
// multiply-adds and the sink's id(); ids of four or more digits lie off
// that path. The pointer moves by a constant on each predicted branch:
// loops whose step waits on the bytes (words) were measured slower
// (ARCHITECTURE.md, reading); the masked loop (io/masked_block.h) finds
// the ids from masks instead, where the processor has the instructions.
template <class Lines>
[[gnu::noinline]] BlockEnd parse_block(const char* p, const char* const e, const char* const stop, Parse& s,
                                       Lines& lines) {
  Lines sink = lines;
  long long lines_read = 0;
  std::uint64_t long_id_bits = 0;
  BlockEnd why = BlockEnd::used_up;
  auto digit_at = [](const char* q) { return static_cast<unsigned>(static_cast<unsigned char>(*q)) - unsigned('0'); };
  for (;;) {
    unsigned c = digit_at(p);
    if (c < 10) {
      // Up to three digits unrolled, so that the pointer moves once.
      std::uint64_t v = c;
      if ((c = digit_at(p + 1)) >= 10) {
        p += 1;
      } else if (v = v * 10 + c; (c = digit_at(p + 2)) >= 10) {
        p += 2;
      } else if (v = v * 10 + c; (c = digit_at(p + 3)) >= 10) {
        p += 3;
      } else {
        const char* const first = p;
        p += 3;
        do {
          v = v * 10 + c;
        } while ((c = digit_at(++p)) < 10);
        // Up to 9 digits are below 2147483647; longer runs are read again.
        if (p - first > 9) {
          const Digits again = continue_digits(first, 0);
          if (again.end == nullptr) {
            why = BlockEnd::too_large;
            break;
          }
          v = again.value;
        }
        long_id_bits |= v;
      }
      sink.id(static_cast<int>(v));
    }
    if (c == unsigned('\n' - '0')) {
      if (p == e) break;  // the line feed behind the block
      ++p;
      ++lines_read;
      if (!sink.end() || p >= stop) {
        why = BlockEnd::done;
        s.done_at = p;
        break;
      }
      continue;
    }
    ++p;
  }
  s.line_started = e[-1] != '\n';  // bytes follow the block's last line feed (a block has bytes)
  s.lines += lines_read;
  s.long_id_bits |= long_id_bits;
  lines = sink;
  return why;
}

}  // namespace zub::range_detail
