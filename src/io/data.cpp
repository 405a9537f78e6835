#include "io/data.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <iterator>

#include "common/run_error.h"
#include "common/tuning.h"
#include "io/gzip_source.h"
#include "io/text_escape.h"

namespace zub {

namespace {

constexpr std::size_t kBlockSize = kReadBlockBytes;

bool is_digit(char c) { return static_cast<unsigned char>(c) - unsigned('0') < 10; }

// A run of digits read the long way, with the check for the int range.
struct Number {
  const char* end;      // the first byte behind the digits; null when too large
  std::uint64_t value;
};

// Goes on with `value` over the digits at p.
[[gnu::noinline]] Number long_number(const char* p, std::uint64_t value) {
  for (; is_digit(*p); ++p) {
    value = value * 10 + unsigned(*p - '0');
    if (value > std::uint64_t(INT_MAX)) return {nullptr, value};
  }
  return {p, value};
}

// Makes room in t behind its first `out - t.items` ids; returns where the
// next one goes.
[[gnu::noinline]] int* grow(Transaction& t, int* out) {
  const int length = static_cast<int>(out - t.items);
  t.length = length;
  t.DoubleTrans(length);
  return t.items + length;
}

}  // namespace

Data::Data(const char* filename) : Data(filename, Options{}) {}

Data::Data(const char* filename, const Options& options) : name_(filename ? filename : "") {
  if (filename != nullptr) file = std::fopen(filename, "r");
  if (file != nullptr) {
    std::setvbuf(file, nullptr, _IONBF, 0);  // we read whole blocks ourselves
    start(options);
  }
}

Data::Data(std::span<const int> ids, std::span<const std::uint32_t> lengths, const char* name)
    : name_(name != nullptr ? name : ""), replaying_(true), replay_ids_(ids), replay_lengths_(lengths) {}

Data::Data(std::FILE* stream, const char* name, const Options& options)
    : name_(name != nullptr ? name : ""), owns_file_(false) {
  file = stream;
  if (file != nullptr) start(options);
}

void Data::start(const Options& options) {
  buf_.reset(new char[kBlockSize + 1]);  // one byte more for a sentinel
  cur_ = end_ = buf_.get();
  names_mode_ = options.names || options.separator != 0 || options.single;
  single_pass_ = options.single_pass;
  separator_ = options.separator;
  header_ = header_pending_ = options.header;
  layout_ = options.layouts;
  if (layout_ == nullptr && (options.separator != 0 || options.header || options.single))
    fail(name_ + ": the separator and single layouts and the header need Options::layouts!");
  single_ = options.single;
  transaction_column_ = options.transaction_column;
  item_column_ = options.item_column;
  // Columns given by number are known now; names wait for the header.
  const auto number = [](const std::string& given, int fallback) {
    if (given.empty()) return fallback;
    if (given.size() > 9 || !std::all_of(given.begin(), given.end(), is_digit)) return -1;
    return std::stoi(given) - 1;
  };
  transaction_field_ = number(transaction_column_, 0);
  item_field_ = number(item_column_, 1);
  // A stream that reports no position cannot be rewound either.
  start_ = std::ftell(file);
  if (start_ < 0) {
    start_ = 0;
    keeping_ = options.keep_unseekable;
  }
}

Data::~Data() { close(); }

void Data::close() {
  if (file != nullptr && owns_file_) std::fclose(file);
  file = nullptr;
  buf_.reset();  // the mining that follows has better use for the memory
  gzip_.reset();
  cur_ = end_ = nullptr;
  std::unordered_map<std::string_view, int>().swap(ids_by_name_);
  std::string().swap(word_);
  std::vector<int>().swap(kept_ids_);
  std::vector<std::uint32_t>().swap(kept_lengths_);
  replay_ids_ = {};
  replay_lengths_ = {};
  keeping_ = replaying_ = false;
}

std::vector<std::string> Data::take_names() {
  std::vector<std::string> names(std::make_move_iterator(names_.begin()), std::make_move_iterator(names_.end()));
  std::deque<std::string>().swap(names_);
  std::unordered_map<std::string_view, int>().swap(ids_by_name_);  // its views went with the words
  return names;
}

bool Data::byte_source(ByteSource& source) const {
  // The separator and single layouts (names_mode_) and a header line are read
  // as a stream, as is a reader that failed at its start.
  if (file == nullptr || names_mode_ || header_ || !error_.empty() || keeping_ || replaying_ || sniffed_)
    return false;
  struct stat st;
  const int fd = fileno(file);
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < start_) return false;
  unsigned char magic[2];
  if (pread(fd, magic, 2, start_) == 2 && magic[0] == 0x1f && magic[1] == 0x8b) return false;  // gzip
  source = {fd, static_cast<std::uint64_t>(start_), static_cast<std::uint64_t>(st.st_size)};
  return true;
}

Data::Status Data::fail(const std::string& message) {
  error_ = message;
  return Status::error;
}

bool Data::refill() {
  if (at_eof_) return false;
  note_letters();
  std::size_t n;
  if (gzip_ == nullptr) {
    n = std::fread(buf_.get(), 1, kBlockSize, file);
    if (!sniffed_) n = start_gzip(n);
  } else {
    n = gzip_->read(buf_.get(), kBlockSize);
  }
  cur_ = buf_.get();
  end_ = cur_ + n;
  buf_[n] = '\0';  // a non-digit behind the data ends every digit run
  if (n == 0) {
    if (gzip_ != nullptr ? gzip_->failed() : std::ferror(file) != 0) fail(name_ + " could not be read!");
    at_eof_ = true;
    return false;
  }
  return true;
}

std::size_t Data::start_gzip(std::size_t read) {
  sniffed_ = true;
  const auto* bytes = reinterpret_cast<const unsigned char*>(buf_.get());
  if (read < 2 || bytes[0] != 0x1f || bytes[1] != 0x8b) return read;
  // The block read so far is compressed: it becomes the first input of the
  // decompression, whose output takes its place.
  gzip_ = std::make_unique<GzipSource>(file, buf_.get(), read);
  return gzip_->read(buf_.get(), kBlockSize);
}

// A block that gave no id yet is looked at for letters once it is read, so
// that a file of words read as ids can be told apart from an empty one; a
// file with ids never pays for it.
void Data::note_letters() {
  if (any_id_ || saw_letters_ || names_mode_ || buf_ == nullptr) return;
  for (const char* p = buf_.get(); p < end_ && !saw_letters_; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    saw_letters_ = static_cast<unsigned>((c | 0x20) - 'a') < 26 || c >= 0x80;
  }
}

Data::Status Data::next(Transaction& t) {
  if (layout_ != nullptr) [[unlikely]] return layout_(*this, t);
  if (replaying_) return replay(t);
  const Status status = names_mode_ ? read_names(t) : read_ids(t);
  return read(t, status);
}

Data::Status Data::read(Transaction& t, Status status) {
  any_id_ = any_id_ || t.length > 0;
  if (keeping_ && status == Status::transaction) {
    kept_ids_.insert(kept_ids_.end(), t.items, t.items + t.length);
    kept_lengths_.push_back(static_cast<std::uint32_t>(t.length));
  }
  return status;
}

Data::Status Data::read_ids(Transaction& t) {
  t.length = 0;
  if (!error_.empty()) return Status::error;
  // Where the next id goes, and the end of the transaction's array.
  int* out = t.items;
  int* limit = t.items + t.capacity;
  auto push = [&](std::uint64_t v) {
    if (out == limit) {
      out = grow(t, out);
      limit = t.items + t.capacity;
    }
    *out++ = static_cast<int>(v);
  };
  auto done = [&] { t.length = static_cast<int>(out - t.items); };
  auto too_large = [&](const char* at) {
    cur_ = at;
    done();
    return fail(name_ + ", line " + std::to_string(line_ + 1) + ": item id is larger than 2147483647!");
  };
  std::uint64_t value = 0;
  bool in_number = false;   // a number runs across the block boundary
  bool line_started = false;
  for (;;) {
    if (cur_ == end_ && !refill()) {
      if (!error_.empty()) return Status::error;
      if (in_number) push(value);
      done();
      if (line_started) {
        // A last line without a line feed is still a transaction.
        ++line_;
        return Status::transaction;
      }
      return end_of_pass();
    }
    const char* p = cur_;
    const char* const e = end_;
    line_started = true;
    if (in_number) {
      // The number of the last block goes on here.
      const Number n = long_number(p, value);
      if (n.end == nullptr) return too_large(e);
      p = n.end;
      value = n.value;
      if (p == e) {
        cur_ = p;
        continue;
      }
      push(value);
      in_number = false;
    }
    while (p < e) {
      unsigned digit = static_cast<unsigned char>(*p) - unsigned('0');
      if (digit < 10) {
        const char* const first = p;
        std::uint64_t v = digit;
        while ((digit = static_cast<unsigned char>(*++p) - unsigned('0')) < 10) v = v * 10 + digit;
        // Exact up to 19 digits; a longer run may have wrapped: checked again.
        if (p - first > 9 && (p - first > 19 || v > std::uint64_t(INT_MAX))) {
          const Number n = long_number(first, 0);
          if (n.end == nullptr) return too_large(e);
          v = n.value;
        }
        if (p == e) {
          value = v;
          in_number = true;  // the number may go on in the next block
          break;
        }
        push(v);
      }
      // *p separates ids; a line feed also ends the transaction.
      if (*p++ == '\n') {
        cur_ = p;
        ++line_;
        done();
        return Status::transaction;
      }
    }
    cur_ = p;
  }
}

// From now on the recording is the file: the stream is used up.
void Data::replay_recording() {
  replaying_ = true;
  replay_ids_ = kept_ids_;
  replay_lengths_ = kept_lengths_;
  replay_line_ = replay_at_ = 0;
  buf_.reset();
  gzip_.reset();
  cur_ = end_ = nullptr;
}

Data::Status Data::end_of_pass() {
  note_letters();
  if (keeping_) {
    // The stream is used up; from now on the recording is the file.
    keeping_ = false;
    replay_recording();
    return Status::end;
  }
  if (single_pass_) return Status::end;
  if (std::fseek(file, start_, SEEK_SET) != 0) return fail(name_ + " could not be read!");
  std::clearerr(file);
  if (gzip_ != nullptr) gzip_->restart();
  at_eof_ = false;
  line_ = 0;
  header_pending_ = header_;
  cur_ = end_ = buf_.get();
  return Status::end;
}

Data::Status Data::replay(Transaction& t) {
  t.length = 0;
  if (replay_line_ == replay_lengths_.size()) {
    replay_line_ = replay_at_ = 0;
    return Status::end;
  }
  const int length = static_cast<int>(replay_lengths_[replay_line_++]);
  if (length > t.capacity) t.DoubleTrans(length);  // at least `length` entries
  std::copy_n(replay_ids_.begin() + static_cast<std::ptrdiff_t>(replay_at_), length, t.items);
  replay_at_ += static_cast<std::size_t>(length);
  t.length = length;
  return Status::transaction;
}

namespace {

// How the names reader sees a byte.
enum ByteKind : unsigned char { kNameByte, kSeparator, kParenthesis };

struct ByteKinds {
  ByteKind kind[256];
  constexpr ByteKinds() : kind{} {
    for (const unsigned char c : {' ', '\t', ',', '\r', '\n'}) kind[c] = kSeparator;
    kind[static_cast<unsigned char>('(')] = kParenthesis;
    kind[static_cast<unsigned char>(')')] = kParenthesis;
  }
};
constexpr ByteKinds kByteKinds;

ByteKind kind_of(char c) { return kByteKinds.kind[static_cast<unsigned char>(c)]; }

}  // namespace

void Data::add_name(std::string_view word, Transaction& t) { t.push(id_of_name(word)); }

int Data::id_of_name(std::string_view word) {
  auto found = ids_by_name_.find(word);
  if (found == ids_by_name_.end()) {
    if (names_.size() == std::size_t(INT_MAX)) fail_memory();  // ids are ints
    names_.emplace_back(word);
    found = ids_by_name_.emplace(names_.back(), static_cast<int>(names_.size() - 1)).first;
  }
  return found->second;
}

Data::Status Data::read_names(Transaction& t) {
  t.length = 0;
  if (!error_.empty()) return Status::error;
  word_.clear();
  bool line_started = false;
  for (;;) {
    if (cur_ == end_ && !refill()) {
      if (!error_.empty()) return Status::error;
      if (!word_.empty()) add_name(word_, t);
      if (line_started) {
        ++line_;  // a last line without a line feed
        return Status::transaction;
      }
      return end_of_pass();
    }
    line_started = true;
    const char* p = cur_;
    const char* const e = end_;
    while (p < e) {
      const char* const word = p;
      ByteKind kind = kNameByte;
      while (p < e && (kind = kind_of(*p)) == kNameByte) ++p;
      if (kind == kParenthesis) {
        const char* rest = p;
        while (rest < e && kind_of(*rest) != kSeparator) ++rest;
        std::string name = word_;
        name.append(word, rest);
        cur_ = rest;
        return parenthesis(name, line_ + 1);
      }
      if (p == e) {
        word_.append(word, p);  // the word may go on in the next block
        break;
      }
      // *p is a separator.
      if (!word_.empty()) {
        word_.append(word, p);
        add_name(word_, t);
        word_.clear();
      } else if (p > word) {
        add_name(std::string_view(word, static_cast<std::size_t>(p - word)), t);
      }
      if (*p++ == '\n') {
        cur_ = p;
        ++line_;
        return Status::transaction;
      }
    }
    cur_ = p;
  }
}

Data::Status Data::parenthesis(std::string_view name, long long line) {
  std::string message = name_ + ", line " + std::to_string(line) + ": item name \"";
  append_message_text(message, name.substr(0, 60));
  if (name.size() > 60) message += "...";
  return fail(message + "\" has a parenthesis!");
}

Transaction* Data::getNextTransaction(Transaction* t) {
  switch (next(*t)) {
    case Status::transaction: return t;
    case Status::end: return nullptr;
    case Status::error: break;
  }
  throw RunError(kExitFile, error_);
}

}  // namespace zub
