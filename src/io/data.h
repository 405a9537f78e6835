#pragma once
// The transaction file: one transaction per line, item ids as runs of decimal
// digits, every other byte a separator. Read in large blocks; reaching the end
// of the file rewinds it, so a second pass is just more calls.
//
// A stream whose first two bytes are 1f 8b is gzip data: it is decompressed
// as it is read (see io/gzip_source.h), and the decompressed bytes are the
// file for everything below. A damaged or truncated one cannot be read.
//
// Two readings beyond that, chosen when the reader is made:
// - names: an item is a word, any run of bytes other than blank, tab, comma,
//   carriage return and line feed; words become ids 0, 1, 2, ... in the order
//   of their first appearance. A word holding "(" or ")" is an error, since
//   the itemset lines put the support in parentheses.
// - separator (with names): a line is split into fields at this byte only,
//   as CSV splits it: a field that starts with a quote runs to its closing
//   quote (a doubled quote inside is one quote; separators and line feeds
//   inside are the field's), blanks and tabs around a field are trimmed,
//   and a field is one name, inner blanks kept. Empty fields hold no item.
// - header: the first line of every pass is skipped (its fields name the
//   columns of the single layout).
// - single: each line is one (transaction, item) pair, the two fields of
//   the columns chosen (by default the first and the second; fields split
//   at the separator, or without one at blanks, tabs and commas); lines
//   without fields are skipped. The items are names. The rows of one
//   transaction need not be adjacent: the whole input is read at the first
//   call, grouped by transaction in the order transactions first appear,
//   and every pass is served from memory (a transaction id's text is held
//   only while reading).
// - keep_unseekable: a stream that cannot be rewound (a pipe, a terminal) is
//   kept in memory during the first pass, as one array of all its ids and one
//   of line lengths, and later passes are served from there. A seekable file
//   is read from the disk again and costs no memory.
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "io/byte_ranges.h"
#include "io/transaction.h"

namespace zub {

class GzipSource;

class Data {
 public:
  enum class Status { transaction, end, error };

  // The reading of the separator and single layouts and of the header
  // (data_layouts.cpp): a caller that offers them passes
  // &Data::next_in_layout as Options::layouts; zub, which does not, does
  // not link them.
  static Status next_in_layout(Data& d, Transaction& t);
  using LayoutStep = Status (*)(Data&, Transaction&);

  struct Options {
    LayoutStep layouts = nullptr;  // needed for separator, header, single
    bool names = false;
    bool keep_unseekable = false;
    // One pass only: the end of the data is not followed by a rewind (a
    // stream read once, as a distributed run's rank 0 reads a pipe).
    bool single_pass = false;
    char separator = 0;   // 0: the words layout's separators
    bool header = false;
    bool single = false;
    // The single layout's columns: a number from 1 or a name in the header;
    // empty: the first and the second.
    std::string transaction_column = {};
    std::string item_column = {};
  };

  explicit Data(const char* filename);
  Data(const char* filename, const Options& options);
  // Serves transactions held in memory, as a kept stream is served: each
  // transaction's ids (any order, repeats allowed) back to back in `ids`,
  // their counts in `lengths` (which must add up to ids.size()). Both stay
  // the caller's and must outlive the reader.
  Data(std::span<const int> ids, std::span<const std::uint32_t> lengths, const char* name);
  // Reads a stream that is already open and stays open (standard input);
  // `name` stands for it in messages. Passes start where the stream stood.
  Data(std::FILE* stream, const char* name, const Options& options);
  ~Data();
  Data(const Data&) = delete;
  Data& operator=(const Data&) = delete;

  bool isOpen() const { return file != nullptr || replaying_; }
  void close();

  // Reads the next line into t. At the end of the file the stream is rewound
  // and `end` is returned; `error` leaves a message in error_message().
  Status next(Transaction& t);
  // The same, for callers that treat a failure as the end of the run:
  // returns t, or null at the end of the file; throws RunError on a failure.
  Transaction* getNextTransaction(Transaction* t);

  const std::string& error_message() const { return error_; }
  const std::string& name() const { return name_; }
  // With names: the words read, by id; the table stays after close(). Moves
  // it out, leaving the reader without names.
  std::vector<std::string> take_names();
  // Whether the text holds letters but no id at all: words read as ids.
  bool words_without_ids() const { return saw_letters_ && !any_id_; }
  // Whether some line held an id.
  bool has_ids() const { return any_id_; }
  // Whether the passes after the first are served from memory.
  bool in_memory() const { return keeping_ || replaying_; }

  // Where a regular file of ids (not gzip, not words, not in the separator
  // or single layout nor with a header, not yet read) lies,
  // for reading it in byte ranges (io/byte_ranges.h) instead of through
  // next(): its descriptor and the bytes from where its passes begin to
  // its present end. False for any other input, which is read as a stream.
  bool byte_source(ByteSource& source) const;
  // What reading in ranges found, for words_without_ids().
  void note_read_in_ranges(bool any_id, bool letters) {
    any_id_ = any_id;
    saw_letters_ = letters;
  }

  std::FILE* file = nullptr;

 private:
  void start(const Options& options);
  bool refill();
  void note_letters();
  [[gnu::noinline]] std::size_t start_gzip(std::size_t read);
  Status fail(const std::string& message);
  Status read_ids(Transaction& t);
  Status read_names(Transaction& t);
  void add_name(std::string_view word, Transaction& t);
  Status end_of_pass();
  void replay_recording();
  Status replay(Transaction& t);
  Status read(Transaction& t, Status status);
  Status skip_header();
  bool read_line(std::string& line);
  void split_fields(const std::string& line, std::vector<std::string>& fields) const;
  Status read_separated(Transaction& t);
  Status check_name(const std::string& name, long long line);
  Status load_single();
  int column_of(const std::string& given, const std::vector<std::string>& header, int fallback);
  Status parenthesis(std::string_view name, long long line);
  int id_of_name(std::string_view word);

  std::string name_;
  std::string error_;
  std::unique_ptr<char[]> buf_;
  const char* cur_ = nullptr;
  const char* end_ = nullptr;
  bool at_eof_ = false;      // the stream has no more bytes
  bool any_id_ = false;      // some line held an id
  bool saw_letters_ = false; // a block without ids held letters
  long long line_ = 0;       // lines completed in this pass
  bool owns_file_ = true;
  bool single_pass_ = false;
  long start_ = 0;           // where a pass begins in a seekable stream
  bool sniffed_ = false;     // the first block was looked at for the gzip magic
  std::unique_ptr<GzipSource> gzip_;  // set for a gzip stream

  // Names: the words by id, and the id of each word (views into names_,
  // whose strings never move). The index goes with close().
  bool names_mode_ = false;
  std::deque<std::string> names_;
  std::unordered_map<std::string_view, int> ids_by_name_;
  std::string word_;         // a word that runs across a block boundary

  // The separator and single layouts, and the header.
  LayoutStep layout_ = nullptr;
  char separator_ = 0;
  bool header_ = false;        // every pass starts with a line to skip
  bool header_pending_ = false;
  bool single_ = false;
  std::string transaction_column_, item_column_;
  int transaction_field_ = 0, item_field_ = 1;  // the single layout's columns, from 0
  std::string line_text_;      // the line being split
  std::vector<std::string> fields_;
  long long record_line_ = 0;  // where the line read_line read starts

  // A stream that cannot be rewound: the ids of every line read in the first
  // pass, back to back, and each line's number of ids.
  bool keeping_ = false;     // the first pass is recording
  bool replaying_ = false;   // later passes read the recording
  std::vector<int> kept_ids_;
  std::vector<std::uint32_t> kept_lengths_;
  // What the passes are served from: the recording, or memory given.
  std::span<const int> replay_ids_;
  std::span<const std::uint32_t> replay_lengths_;
  std::size_t replay_line_ = 0;
  std::size_t replay_at_ = 0;
};

}  // namespace zub
