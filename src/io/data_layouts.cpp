// The separator and single layouts and the header (see io/data.h), kept
// apart from data.cpp and reached only through Options::layouts, so that a
// program that reads only ids and words (zub) does not link them.
#include <algorithm>
#include <climits>
#include <cstring>
#include <unordered_map>

#include "io/data.h"
#include "io/gzip_source.h"
#include "io/text_escape.h"

namespace zub {

namespace {

bool is_digit(char c) { return static_cast<unsigned char>(c) - unsigned('0') < 10; }
bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
bool is_word_separator(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n'; }

}  // namespace

Data::Status Data::next_in_layout(Data& d, Transaction& t) {
  t.length = 0;
  if (d.header_pending_ && d.skip_header() == Status::error) return Status::error;
  if (d.single_ && !d.replaying_ && d.load_single() == Status::error) return Status::error;
  if (d.replaying_) return d.replay(t);
  const Status status = d.separator_ != 0 ? d.read_separated(t) : d.names_mode_ ? d.read_names(t) : d.read_ids(t);
  return d.read(t, status);
}

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
  replay_recording();
  return Status::transaction;
}

}  // namespace zub
