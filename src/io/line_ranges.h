#pragma once
// A share of a transaction file, or of a folder of part files, as one
// stream: the lines that start in a byte range, so that several processes
// can each read their own part of the same input. A line belongs to the
// range that holds its first byte; a range that starts inside a line skips
// to the next line, and one that ends inside a line reads it to its end.
// Part files follow one another as one database (a part without a last line
// feed ends its line there). The cuts are io/byte_ranges.h's; what is
// kept here is what a distributed run needs beyond it: a folder of part
// files as one database, split by equal shares of all its bytes, and the
// pieces read as one stream by Data (names as well as ids), their lines
// counted for the messages that name one.
#include <sys/types.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace zub {

// A byte range [begin, end) of one file, cut at line starts.
struct FilePiece {
  std::string path;
  long long begin = 0;
  long long end = 0;
};

// One file of the input and its size.
struct InputFile {
  std::string path;
  long long size = 0;
};

// The part files of a folder as Spark and Hadoop write them: every entry
// whose name starts with neither "." nor "_" (no _SUCCESS, no .crc), by
// name. False with the reason in `why` when the folder cannot be read or
// a part is not a readable regular file (its name in `why`).
bool list_parts(const std::string& folder, std::vector<InputFile>& parts, std::string& why);

// Share `index` of `shares` of the files, as pieces cut at line starts:
// the files' bytes one after another, split into equal byte ranges. False
// with the unreadable file's name in `why` when a boundary cannot be read.
bool share_of(const std::vector<InputFile>& files, int index, int shares, std::vector<FilePiece>& pieces,
              std::string& why);

// The pieces read as one stream (rewound by fseek to 0): a line feed is
// added behind a piece that does not end with one. Counts the lines of
// each piece as they are read, for the messages that name a line.
class PieceStream {
 public:
  explicit PieceStream(std::vector<FilePiece> pieces);
  ~PieceStream();
  PieceStream(const PieceStream&) = delete;
  PieceStream& operator=(const PieceStream&) = delete;

  // The stream, or null when a piece's file cannot be opened (its path in
  // failed_path()).
  std::FILE* stream() const { return stream_; }
  const std::string& failed_path() const { return failed_; }
  const std::vector<FilePiece>& pieces() const { return pieces_; }
  // Lines delivered so far in each piece in this pass (all of them once read
  // through, until the next pass reads).
  const std::vector<long long>& lines() const { return lines_; }
  // The piece that holds line `line` (1 for the first) of the stream and the
  // line's number within the piece, from the lines counted so far.
  void locate(long long line, int& piece, long long& line_in_piece) const;

 private:
  struct Cookie;
  static ssize_t read(void* cookie, char* buf, std::size_t size);
  static int seek(void* cookie, off64_t* offset, int whence);
  static int close(void* cookie);
  ssize_t read_some(char* buf, std::size_t size);

  std::vector<FilePiece> pieces_;
  std::vector<int> fds_;
  std::vector<long long> lines_;
  std::vector<bool> ends_in_feed_;  // of the bytes read so far in each piece
  std::string failed_;
  std::unique_ptr<char[]> buffer_;  // stdio's, given so that it is a block large
  std::FILE* stream_ = nullptr;
  // Where the stream stands: a piece, a byte in it, and whether the added
  // line feed of the piece is still to come.
  std::size_t at_piece_ = 0;
  std::size_t reached_ = 0;  // the last piece read from in this pass
  long long at_byte_ = 0;
  long long offset_ = 0;  // bytes delivered since the start
};

}  // namespace zub
