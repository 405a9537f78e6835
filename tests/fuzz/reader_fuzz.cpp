// Fuzz target for the transaction reader: the bytes become a transaction
// file, which the reader must read exactly as the reference reader does, in
// two passes that agree (the end of the first rewinds the file). Bytes that
// start as gzip data are read as what they decompress to; damaged ones must
// end in a read failure after a prefix of what they decompress to.
//
// The first byte steers the run: when its three top bits are set the content
// is shifted behind a filler so that it straddles the reader's first 1 MiB
// block boundary (bits 0 to 2 tell how far before it the content starts);
// bit 4 ends the filler with a line feed; bit 3 chooses the
// starting capacity of the transaction.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "io/data.h"

namespace {

constexpr std::size_t kReadBlock = std::size_t(1) << 20;  // the reader's block size

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace zub;
  if (size == 0) return 0;
  const std::uint8_t flags = bytes[0];
  std::string text(reinterpret_cast<const char*>(bytes) + 1, size - 1);
  if ((flags & 0xE0) == 0xE0) {
    // Filler of blanks, continuing the first line or ended by a line feed.
    std::string filler(kReadBlock - 1 - (flags & 0x07), ' ');
    if (flags & 0x10) filler.back() = '\n';
    text.insert(0, filler);
  }
  const std::string path = fuzz::scratch_dir() + "/db";
  fuzz::write_whole(path, text);
  std::string plain = text;
  const bool damaged = fuzz::gzip_magic(text) && !fuzz::reference_gunzip(text, plain);
  const fuzz::Reference expected = fuzz::reference_read(plain);
  const std::string error = path + ", line " + std::to_string(expected.error_line) +
                            ": item id is larger than 2147483647!";
  const std::string unreadable = path + " could not be read!";

  Data data(path.c_str());
  FUZZ_CHECK(data.isOpen(), "cannot open %s", path.c_str());
  Transaction t((flags & 0x08) ? 1 : 50);
  for (int pass = 0; pass < 2; ++pass) {
    std::size_t k = 0;
    for (;;) {
      const Data::Status status = data.next(t);
      if (status == Data::Status::transaction) {
        FUZZ_CHECK(k < expected.transactions.size(), "pass %d: transaction %zu is one too many", pass, k);
        const auto& want = expected.transactions[k];
        FUZZ_CHECK(t.length == static_cast<int>(want.size()), "pass %d, transaction %zu: %d ids, expected %zu", pass,
                   k, t.length, want.size());
        for (int j = 0; j < t.length; ++j)
          FUZZ_CHECK(t.items[j] == want[j], "pass %d, transaction %zu, id %d: %d, expected %d", pass, k, j,
                     t.items[j], want[j]);
        ++k;
        continue;
      }
      if (damaged) {
        // Complete lines decompressed before the failure may come first.
        FUZZ_CHECK(status == Data::Status::error, "damaged gzip data read to its end");
        FUZZ_CHECK(data.error_message() == unreadable || (expected.error_line != 0 && data.error_message() == error),
                   "message '%s', expected '%s'", data.error_message().c_str(), unreadable.c_str());
        FUZZ_CHECK(data.next(t) == Data::Status::error, "an error must be final");
        return 0;
      }
      FUZZ_CHECK(k == expected.transactions.size(), "pass %d ended after %zu of %zu transactions", pass, k,
                 expected.transactions.size());
      if (status == Data::Status::error) {
        FUZZ_CHECK(expected.error_line != 0, "unexpected error: %s", data.error_message().c_str());
        FUZZ_CHECK(data.error_message() == error, "message '%s', expected '%s'", data.error_message().c_str(),
                   error.c_str());
        FUZZ_CHECK(data.next(t) == Data::Status::error, "an error must be final");
        return 0;
      }
      FUZZ_CHECK(expected.error_line == 0, "end of file instead of the error on line %lld", expected.error_line);
      break;
    }
  }
  return 0;
}
