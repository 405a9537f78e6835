#include "io/data.h"

#include <algorithm>
#include <cstring>
#include <climits>
#include <cstdint>
#include <iterator>

#include "common/run_error.h"
#include "io/gzip_source.h"
#include "io/text_escape.h"

namespace zub {

namespace {

constexpr std::size_t kBlockSize = 1 << 20;

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
  separator_ = options.separator;
  header_ = header_pending_ = options.header;
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
  if (header_pending_ || single_) [[unlikely]] {
    t.length = 0;
    if (header_pending_ && skip_header() == Status::error) return Status::error;
    if (single_ && !replaying_ && load_single() == Status::error) return Status::error;
  }
  if (replaying_) return replay(t);
  const Status status = separator_ != 0 ? read_separated(t) : names_mode_ ? read_names(t) : read_ids(t);
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

Data::Status Data::end_of_pass() {
  note_letters();
  if (keeping_) {
    // The stream is used up; from now on the recording is the file.
    keeping_ = false;
    replaying_ = true;
    replay_ids_ = kept_ids_;
    replay_lengths_ = kept_lengths_;
    replay_line_ = replay_at_ = 0;
    buf_.reset();
    gzip_.reset();
    cur_ = end_ = nullptr;
    return Status::end;
  }
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

// The separator and single layouts, and the header.

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
bool is_word_separator(char c) { return kind_of(c) == kSeparator; }

}  // namespace

bool Data::read_line(std::string& line) {
  line.clear();
  record_line_ = line_ + 1;
  bool started = false;
  // With a separator: inside quotes, a line feed is part of a field. A
  // quote opens a field only at its start (blanks may come first) or
  // right behind a closing one (a doubled quote).
  bool quoted = false, field_start = true, just_closed = false;
  for (;;) {
    if (cur_ == end_ && !refill()) {
      if (!started || !error_.empty()) return false;
      ++line_;  // a last line without a line feed
      return true;
    }
    started = true;
    const char* p = cur_;
    const char* const e = end_;
    if (separator_ == 0) {
      const char* feed = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(e - p)));
      if (feed != nullptr) {
        line.append(p, feed);
        cur_ = feed + 1;
        ++line_;
        return true;
      }
      line.append(p, e);
      cur_ = e;
      continue;
    }
    for (; p < e; ++p) {
      const char c = *p;
      if (quoted) {
        if (c == '"') {
          quoted = false;
          just_closed = true;
        } else if (c == '\n') {
          ++line_;
        }
        continue;
      }
      if (c == '\n') {
        line.append(cur_, p);
        cur_ = p + 1;
        ++line_;
        return true;
      }
      if (c == '"' && (field_start || just_closed)) {
        quoted = true;
        field_start = just_closed = false;
        continue;
      }
      just_closed = false;
      if (c == separator_) {
        field_start = true;
      } else if (!is_blank(c)) {
        field_start = false;
      }
    }
    line.append(cur_, p);
    cur_ = p;
  }
}

void Data::split_fields(const std::string& line, std::vector<std::string>& fields) const {
  fields.clear();
  if (separator_ == 0) {
    // Runs of bytes other than blanks, tabs, commas (and carriage returns).
    for (std::size_t k = 0; k < line.size();) {
      while (k < line.size() && is_word_separator(line[k])) ++k;
      const std::size_t first = k;
      while (k < line.size() && !is_word_separator(line[k])) ++k;
      if (k > first) fields.emplace_back(line, first, k - first);
    }
    return;
  }
  std::string field;
  std::size_t keep = 0;  // the field's length without trailing blanks
  bool quoted = false, field_start = true, just_closed = false;
  for (const char c : line) {
    if (quoted) {
      if (c == '"') {
        quoted = false;
        just_closed = true;
        keep = field.size();
      } else {
        field += c;
      }
      continue;
    }
    if (c == '"' && (field_start || just_closed)) {
      if (just_closed) field += '"';  // a doubled quote
      quoted = true;
      field_start = just_closed = false;
      continue;
    }
    just_closed = false;
    if (c == separator_) {
      field.resize(keep);
      fields.push_back(std::move(field));
      field.clear();
      keep = 0;
      field_start = true;
    } else if (is_blank(c)) {
      if (!field_start) field += c;
    } else {
      field += c;
      keep = field.size();
      field_start = false;
    }
  }
  field.resize(keep);
  fields.push_back(std::move(field));
}

Data::Status Data::skip_header() {
  header_pending_ = false;
  if (!read_line(line_text_)) return error_.empty() ? Status::transaction : Status::error;
  if (!single_) return Status::transaction;
  split_fields(line_text_, fields_);
  transaction_field_ = column_of(transaction_column_, fields_, 0);
  item_field_ = column_of(item_column_, fields_, 1);
  if (transaction_field_ < 0 || item_field_ < 0) return Status::error;
  return Status::transaction;
}

int Data::column_of(const std::string& given, const std::vector<std::string>& header, int fallback) {
  if (given.empty()) return fallback;
  if (std::all_of(given.begin(), given.end(), is_digit)) return given.size() > 9 ? -1 : std::stoi(given) - 1;
  const auto found = std::find(header.begin(), header.end(), given);
  if (found != header.end()) return static_cast<int>(found - header.begin());
  std::string message = name_ + ": the header has no column \"";
  append_message_text(message, given);
  fail(message + "\"!");
  return -1;
}

Data::Status Data::read_separated(Transaction& t) {
  t.length = 0;
  if (!error_.empty()) return Status::error;
  if (!read_line(line_text_)) return error_.empty() ? end_of_pass() : Status::error;
  split_fields(line_text_, fields_);
  for (const std::string& field : fields_) {
    if (field.empty()) continue;
    if (field.find_first_of("()") != std::string::npos) return parenthesis(field, record_line_);
    add_name(field, t);
  }
  return Status::transaction;
}

Data::Status Data::load_single() {
  if (!error_.empty()) return Status::error;
  // Each row's transaction (numbered as first seen) and item; a row
  // without an item only makes its transaction known.
  std::unordered_map<std::string, int> transactions;
  std::vector<int> row_transaction, row_item;
  if (transaction_field_ < 0 || item_field_ < 0)
    return fail(name_ + ": columns are named by the header, and there is none!");
  const std::size_t needed = static_cast<std::size_t>(std::max(transaction_field_, item_field_)) + 1;
  while (read_line(line_text_)) {
    split_fields(line_text_, fields_);
    if (std::all_of(fields_.begin(), fields_.end(), [](const std::string& f) { return f.empty(); })) continue;
    if (fields_.size() < needed)
      return fail(name_ + ", line " + std::to_string(record_line_) + ": " + std::to_string(fields_.size()) +
                  (fields_.size() == 1 ? " field" : " fields") + ", but the transaction and the item are in field " +
                  std::to_string(transaction_field_ + 1) + " and " + std::to_string(item_field_ + 1) + "!");
    const std::string& item = fields_[static_cast<std::size_t>(item_field_)];
    if (item.find_first_of("()") != std::string::npos) return parenthesis(item, record_line_);
    if (transactions.size() == std::size_t(INT_MAX) &&
        transactions.find(fields_[static_cast<std::size_t>(transaction_field_)]) == transactions.end())
      return fail(name_ + " has more than 2147483647 transactions!");
    const int transaction =
        transactions.try_emplace(std::move(fields_[static_cast<std::size_t>(transaction_field_)]),
                                 static_cast<int>(transactions.size()))
            .first->second;
    if (item.empty()) {
      row_transaction.push_back(transaction);
      row_item.push_back(-1);
      continue;
    }
    row_transaction.push_back(transaction);
    row_item.push_back(id_of_name(item));
  }
  if (!error_.empty()) return Status::error;
  const std::size_t count = transactions.size();
  std::unordered_map<std::string, int>().swap(transactions);
  // The rows grouped by transaction, each transaction's items in the order read.
  kept_lengths_.assign(count, 0);
  std::size_t items = 0;
  for (std::size_t r = 0; r < row_item.size(); ++r)
    if (row_item[r] >= 0) {
      ++kept_lengths_[static_cast<std::size_t>(row_transaction[r])];
      ++items;
    }
  std::vector<std::size_t> at(count);
  std::size_t offset = 0;
  for (std::size_t k = 0; k < count; ++k) {
    at[k] = offset;
    offset += kept_lengths_[k];
  }
  kept_ids_.resize(items);
  for (std::size_t r = 0; r < row_item.size(); ++r)
    if (row_item[r] >= 0) kept_ids_[at[static_cast<std::size_t>(row_transaction[r])]++] = row_item[r];
  // From now on the recording is the file.
  replaying_ = true;
  replay_ids_ = kept_ids_;
  replay_lengths_ = kept_lengths_;
  replay_line_ = replay_at_ = 0;
  buf_.reset();
  gzip_.reset();
  cur_ = end_ = nullptr;
  return Status::transaction;
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
