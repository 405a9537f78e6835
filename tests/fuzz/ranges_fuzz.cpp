// Fuzz target for the byte-range reader (io/byte_ranges.h), which reads
// every regular file of ids, on any number of threads: the bytes become a
// file read in ranges by a reader of small blocks, and the ranges together
// must give the reference reader's transactions in order; each range's
// digest is that of its own lines' bytes, its bound covers every id of
// four digits or more it read, and an id above 2147483647 fails the first
// range that reaches it, at the reference's line.
//
// The first byte chooses the range size (1 to 64 bytes, or the whole file
// when 0), the second the reader's block (1 to 256 bytes). Each input is
// read with the byte loop and, where the processor has it, the masked loop.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "io/byte_ranges.h"

namespace {

using namespace zub;

void check_reading(const std::string& path, const std::string& text, const fuzz::Reference& expected,
                   std::uint64_t range_bytes, std::size_t block_bytes, ReadLoop loop) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  FUZZ_CHECK(fd >= 0, "cannot open %s", path.c_str());
  RangeReader reader(fd, block_bytes, loop);
  const char* name = reader.masked() ? "masks" : "bytes";
  std::size_t k = 0;      // transactions read so far, over the ranges
  long long before = 0;   // lines of the ranges before
  bool failed = false;
  for (const ByteRange& range : split_ranges(0, text.size(), range_bytes)) {
    std::uint64_t first = text.size(), behind = text.size();  // the range's lines' bytes
    for (std::uint64_t at = range.begin; at < range.end; ++at)
      if (at == 0 || text[at - 1] == '\n') {
        first = at;
        break;
      }
    if (first < text.size()) {
      const std::size_t feed = text.find('\n', range.end - 1);
      behind = feed == std::string::npos ? text.size() : feed + 1;
    }
    std::vector<std::pair<long long, int>> ids;
    const RangeRead read = reader.read_lines(range, fuzz::StampedIds{&ids});
    // The failing line's ids, read before the failure, are not compared.
    const long long lines = read.lines;
    std::uint64_t long_bits = 0;
    std::size_t at = 0;
    for (long long line = 0; line < lines; ++line, ++k) {
      FUZZ_CHECK(k < expected.transactions.size(), "%s, range at %llu: transaction %zu is one too many", name,
                 static_cast<unsigned long long>(range.begin), k);
      const std::vector<int>& want = expected.transactions[k];
      std::size_t n = 0;
      for (; at < ids.size() && ids[at].first == line; ++at, ++n) {
        FUZZ_CHECK(n < want.size() && ids[at].second == want[n], "%s, transaction %zu, id %zu: %d", name, k, n,
                   ids[at].second);
        if (ids[at].second >= 10000) long_bits |= static_cast<std::uint64_t>(ids[at].second);
      }
      FUZZ_CHECK(n == want.size(), "%s, transaction %zu: %zu ids, expected %zu", name, k, n, want.size());
    }
    FUZZ_CHECK(at == ids.size() || read.failure != RangeRead::Failure::none, "%s, range at %llu: ids behind its lines",
               name, static_cast<unsigned long long>(range.begin));
    FUZZ_CHECK((long_bits & ~read.long_id_bits) == 0, "%s, range at %llu: an id outside its bound", name,
               static_cast<unsigned long long>(range.begin));
    if (read.failure != RangeRead::Failure::none) {
      FUZZ_CHECK(read.failure == RangeRead::Failure::id_too_large, "%s, range at %llu: a read error", name,
                 static_cast<unsigned long long>(range.begin));
      FUZZ_CHECK(before + read.failed_line == expected.error_line, "%s: failed at line %lld, expected %lld", name,
                 before + read.failed_line, expected.error_line);
      failed = true;
      break;
    }
    ByteDigest digest;
    digest.add(text.data() + first, behind - first);
    FUZZ_CHECK(read.digest == (PassDigest{digest.value(), read.lines}), "%s, range at %llu: another digest", name,
               static_cast<unsigned long long>(range.begin));
    before += read.lines;
  }
  ::close(fd);
  FUZZ_CHECK(failed == (expected.error_line != 0), "%s: failure %d, expected a failure at line %lld", name,
             failed ? 1 : 0, expected.error_line);
  if (!failed)
    FUZZ_CHECK(k == expected.transactions.size(), "%s: %zu of %zu transactions read", name, k,
               expected.transactions.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  if (size < 2) return 0;
  const std::string text(reinterpret_cast<const char*>(bytes) + 2, size - 2);
  const std::uint64_t range_bytes = bytes[0] % 65 == 0 ? text.size() + 1 : bytes[0] % 65;
  const std::size_t block_bytes = std::size_t(bytes[1]) + 1;
  const std::string path = fuzz::scratch_dir() + "/ranges";
  fuzz::write_whole(path, text);
  const fuzz::Reference expected = fuzz::reference_read(text);
  check_reading(path, text, expected, range_bytes, block_bytes, ReadLoop::bytes);
  if (range_detail::masked_reading_supported())
    check_reading(path, text, expected, range_bytes, block_bytes, ReadLoop::masks);
  return 0;
}
