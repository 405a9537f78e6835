#pragma once
// The decompressed bytes of a gzip stream, read from an open file with
// zlib's inflate. The stream is one member or several back to back (as `cat
// a.gz b.gz` makes them), read to the end of the file: whatever follows a
// member must be another member. A damaged or truncated stream, or one
// followed by other bytes, is a failure, never an early end.
#include <cstddef>
#include <cstdio>
#include <memory>
#include <vector>

struct z_stream_s;

namespace zub {

class GzipSource {
 public:
  // `first` holds the bytes already read from the start of the stream (at
  // least the two magic bytes); the rest follows in `file`, which stays the
  // caller's.
  GzipSource(std::FILE* file, const char* first, std::size_t size);
  ~GzipSource();
  GzipSource(const GzipSource&) = delete;
  GzipSource& operator=(const GzipSource&) = delete;

  // Fills `out` with up to `size` decompressed bytes and returns how many;
  // fewer only at the end of the stream or on a failure. 0 at the end, or
  // once failed() is set. Throws RunError when zlib runs out of memory.
  std::size_t read(char* out, std::size_t size);
  bool failed() const { return failed_; }
  // Starts again from the first member, once the caller has put the file
  // back where the stream begins.
  void restart();

 private:
  void fill();

  std::FILE* file_;
  std::unique_ptr<z_stream_s> zs_;
  std::vector<unsigned char> in_;
  bool input_end_ = false;   // the file has no more bytes
  bool member_end_ = false;  // a member is complete; another may follow
  bool finished_ = false;    // the last member is complete and nothing follows
  bool failed_ = false;
};

}  // namespace zub
