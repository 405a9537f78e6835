#pragma once
// A plain transaction file of ids read in pieces, so that threads (or
// processes) can each read a share of it: the file is cut into byte ranges,
// and a range's transactions are the lines whose first byte lies in it. A
// line starts at offset 0 and behind every line feed; the reader of a range
// skips the end of a line begun before it and reads its own last line to
// its end, past the range if need be. So every line is read by exactly one
// range, however the cuts fall (within a line, between a carriage return
// and its line feed, or in a line that spans several ranges), and a range
// holding no line start reads nothing. The ids are read as Data reads them
// (io/data.h): runs of decimal digits, every other byte a separator, a last
// line without a line feed still a line. A range's digest is of the bytes of
// its lines (ByteDigest) and their number: both passes read the same bytes.
//
// Positional reads (pread) in large blocks rather than a mapping: a file
// that shrinks while it is read then reads short, which the passes' digests
// notice, instead of ending the process with SIGBUS.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

#include "io/block_parse.h"
#include "io/masked_block.h"
#include "io/pass_digest.h"

namespace zub {

struct ByteRange {
  std::uint64_t begin = 0;
  std::uint64_t end = 0;  // one past the last byte
};

// An open file and the bytes of it that hold the transactions.
struct ByteSource {
  int fd = -1;
  std::uint64_t begin = 0;
  std::uint64_t end = 0;
};

// [begin, end) cut into ranges of `bytes` (at least 1), the last one shorter.
std::vector<ByteRange> split_ranges(std::uint64_t begin, std::uint64_t end, std::uint64_t bytes);

// What reading one range found.
struct RangeRead {
  enum class Failure { none, id_too_large, io };
  long long lines = 0;  // transactions visited
  Failure failure = Failure::none;
  long long failed_line = 0;  // with a failure: its line within the range, from 1
  // Of the transactions visited: the bytes from the first line's start to
  // the last one's end (hash, a ByteDigest's value) and the lines.
  PassDigest digest;
  // The ids read ORed together, but for those of up to four digits (below
  // 10000), which may be left out: a bound on the ids for arrays by id,
  // kept off the path of short ids.
  std::uint64_t long_id_bits = 0;
};

// How a block's ids are read: a compare per byte (range_detail::parse_block)
// or, for a sink that takes each id with its line's offset and where the
// processor has the instructions, from masks of 56 bytes at a time
// (range_detail::parse_block_masked, io/masked_block.h). The same ids,
// lines, digests and failures either way.
enum class ReadLoop { bytes, masks };

class RangeReader {
 public:
  static constexpr std::size_t kBlockBytes = std::size_t(1) << 20;
  // Reads the open file `fd` (not owned) in blocks of `block_bytes`.
  explicit RangeReader(int fd, std::size_t block_bytes = kBlockBytes, ReadLoop loop = ReadLoop::masks);

  // Reads the transactions whose first byte lies in `range`, in file
  // order, handing them to `lines`: lines.id(x) for each id as read
  // (repeats included), then lines.end() at the end of each transaction,
  // which returns false to stop the reading there. `lines` is copied while
  // a block is read (and copied back), so it holds its state by value or
  // behind pointers. The result holds a digest of the transactions read.
  // A sink that also takes id_at(x, k) and ended(n) (io/masked_block.h) is
  // read with the masked loop where this reader uses it; end() then only
  // behind a last line without a line feed, and a stop takes effect at the
  // end of a chunk of 56 bytes rather than at the line.
  template <class Lines>
  RangeRead read_lines(ByteRange range, Lines&& lines);
  // The same with each transaction's ids in an array: visit(ids, n), `ids`
  // valid during the call; visit returns false to stop. A line of more ids
  // than an int counts fails with Not enough memory.
  template <class Visit>
  RangeRead read(ByteRange range, Visit&& visit);

  // The first line start in `range` into `start`; false if it has none.
  // Sets `failed` on a read error. Public for the readers of a range as a
  // stream (io/line_ranges.h), which must cut where this reader does.
  bool find_start(ByteRange range, std::uint64_t& start, bool& failed);
  // Whether a byte of the range is a letter or not ASCII, for telling a
  // file of words read as ids from an empty one. False on a read error.
  bool has_letters(ByteRange range);
  // Whether a sink that takes line offsets is read with the masked loop.
  bool masked() const { return masked_; }

 private:
  // Room around a block for the masked loop's loads.
  static constexpr std::size_t kBefore = 8;
  static constexpr std::size_t kBehind = 64;
  // find_start's first read.
  static constexpr std::size_t kFirstLook = 4096;
  char* block() const { return buffer_.get() + kBefore; }
  // Reads the block at `at`, of at most `most` bytes (the block's size
  // when 0); its length, 0 at the end of the file, or -1 on an error. A
  // line feed follows it, so that a scan for one always ends.
  long long load(std::uint64_t at, std::size_t most = 0);
  // Makes room for more ids behind the first `n`.
  void grow_ids(std::size_t n);
  template <class Visit>
  struct Collect;
  // The block's ids with the loop this reader uses for `Lines`.
  template <class Lines>
  range_detail::BlockEnd parse(const char* p, const char* e, const char* stop, range_detail::Parse& s,
                               Lines& lines) const;

  int fd_;
  std::size_t block_bytes_;
  bool masked_;
  std::unique_ptr<char[]> buffer_;  // the block, with room before and behind
  std::vector<int> ids_;
};


template <class Lines>
range_detail::BlockEnd RangeReader::parse(const char* p, const char* e, const char* stop, range_detail::Parse& s,
                                          Lines& lines) const {
#if ZUB_MASKED_READING
  if constexpr (range_detail::TakesLineOffsets<Lines>)
    if (masked_) return range_detail::parse_block_masked(p, e, stop, s, lines);
#endif
  return range_detail::parse_block(p, e, stop, s, lines);
}

template <class Lines>
RangeRead RangeReader::read_lines(ByteRange range, Lines&& lines) {
  ByteDigest bytes;
  RangeRead result{0, RangeRead::Failure::none, 0, PassDigest{bytes.value(), 0}};  // of no line
  std::uint64_t at;  // the file offset of the block's first byte
  bool failed = false;
  if (!find_start(range, at, failed)) {
    if (failed) result.failure = RangeRead::Failure::io;
    return result;
  }
  range_detail::Parse s;
  auto finish = [&](RangeRead::Failure why) {
    const long long n = s.lines;
    return RangeRead{n, why, why == RangeRead::Failure::none ? 0 : n + 1, PassDigest{bytes.value(), n},
                     s.long_id_bits};
  };
  auto is_digit = [](char c) { return static_cast<unsigned char>(c) - unsigned('0') < 10; };
  for (;;) {
    const long long got = load(at);
    if (got < 0) return finish(RangeRead::Failure::io);
    char* const block = this->block();
    const char* p = block;
    char* e = block + got;
    if (got == 0) {  // the end of the file: a last line without a line feed
      if (s.in_number) {
        s.long_id_bits |= s.value;
        lines.id(static_cast<int>(s.value));
      }
      if (s.line_started) {
        ++s.lines;
        lines.end();
      }
      return finish(RangeRead::Failure::none);
    }
    s.line_started = true;
    // The block ends behind its last byte that is no digit: the digits
    // behind it are read again at the next block's start. A block of digits
    // only goes on with the number before it, or begins one.
    while (e > block && is_digit(e[-1])) --e;
    if (e == block) {
      const range_detail::Digits d = range_detail::continue_digits(block, s.in_number ? s.value : 0);
      if (d.end == nullptr) return finish(RangeRead::Failure::id_too_large);
      s.value = d.value;
      s.in_number = true;
      bytes.add(block, static_cast<std::size_t>(got));
      at += static_cast<std::uint64_t>(got);
      continue;
    }
    if (s.in_number) {  // the number of the blocks before ends in this one
      const range_detail::Digits d = range_detail::continue_digits(p, s.value);
      if (d.end == nullptr) return finish(RangeRead::Failure::id_too_large);
      p = d.end;
      s.long_id_bits |= d.value;
      lines.id(static_cast<int>(d.value));
      s.in_number = false;
    }
    const std::uint64_t used = static_cast<std::uint64_t>(e - block);
    *e = '\n';
    // The first byte behind the range, or past the block.
    const std::uint64_t left = range.end - std::min(range.end, at);
    const char* stop = left <= used ? block + left : e + 1;
    switch (parse(p, e, stop, s, lines)) {
      case range_detail::BlockEnd::used_up: break;
      case range_detail::BlockEnd::done:
        bytes.add(block, static_cast<std::size_t>(s.done_at - block));
        return finish(RangeRead::Failure::none);
      case range_detail::BlockEnd::too_large: return finish(RangeRead::Failure::id_too_large);
    }
    bytes.add(block, used);
    at += used;
  }
}

// Hands read()'s visitor each transaction's ids in the reader's array.
template <class Visit>
struct RangeReader::Collect {
  RangeReader* reader;
  Visit* visit;
  std::size_t n = 0;
  void id(int x) {
    if (n == reader->ids_.size()) reader->grow_ids(n);
    reader->ids_[n++] = x;
  }
  bool end() {
    const bool more = (*visit)(static_cast<const int*>(reader->ids_.data()), static_cast<int>(n));
    n = 0;
    return more;
  }
};

template <class Visit>
RangeRead RangeReader::read(ByteRange range, Visit&& visit) {
  return read_lines(range, Collect<std::remove_reference_t<Visit>>{this, &visit});
}

}  // namespace zub
