#include "io/fsout.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "common/run_error.h"

namespace zub {

FSout::FSout(const char* filename) : name_(filename ? filename : "") {
  if (filename == nullptr) return;
  if (std::strcmp(filename, "-") == 0) {
    file = stdout;
  } else {
    file = std::fopen(filename, "w");
    owns_file_ = file != nullptr;
  }
  if (file != nullptr) buf_.reset(new char[kBufferSize]);
}

FSout::FSout(std::FILE* stream, const char* name) : file(stream), name_(name != nullptr ? name : "") {
  if (file != nullptr) buf_.reset(new char[kBufferSize]);
}

FSout::~FSout() {
  // A writer dropped by an unwinding run is closed without reporting.
  if (owns_file_ && file != nullptr) std::fclose(file);
}

// One line, inlined into the loop over a batch.
inline void FSout::line(int length, const int* itemset, int support) {
  items(length, itemset);
  if (style_.is_plain())
    end_line(support);
  else
    styled_line(support);
}

inline void FSout::items(int length, const int* itemset) {
  int k = 0;
  if (at_ < cached_) {  // the items the line shares with the last one
    const int* cache = cached_items_.data() + at_;
    const int shared = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(length), cached_ - at_));
    while (k < shared && cache[k] == itemset[k]) ++k;
    at_ += static_cast<std::size_t>(k);
  }
  for (; k < length; ++k, ++at_) add_item(itemset[k]);  // each sets cached_ past it
}

void FSout::take(std::span<const int> records) {
  for_each_record(records, [this](const int* items, int n, int support) { line(n, items, support); });
}

void FSout::write_itemset(int length, const int* itemset, int support) { line(length, itemset, support); }

void FSout::write_items(int length, const int* itemset) { items(length, itemset); }

void FSout::fail_write() {
  pos_ = 0;
  throw RunError(kExitFile, name_ + " could not be written!");
}

void FSout::put_bytes(const char* bytes, std::size_t n) {
  while (n > 0) {
    if (pos_ == kBufferSize) flush();
    const std::size_t part = std::min(n, kBufferSize - pos_);
    std::memcpy(buf_.get() + pos_, bytes, part);
    pos_ += part;
    bytes += part;
    n -= part;
  }
}

void FSout::add_item(int position) {
  if (at_ >= kCachedItems && style_.is_plain()) [[unlikely]] {
    add_uncached_item(position);
    return;
  }
  if (cached_items_.size() <= at_) {
    cached_items_.resize(2 * at_ + 16);
    line_ends_.resize(2 * at_ + 16);
  }
  cached_items_[at_] = position;
  cached_ = at_ + 1;
  if (!style_.is_plain()) return;  // the ids are read back at the line's end
  const int id = order_item_[position];
  const std::uint32_t begin = at_ == 0 ? 0 : line_ends_[at_ - 1];
  const std::string* name = names_ != nullptr ? &(*names_)[static_cast<std::size_t>(id)] : nullptr;
  const std::size_t most = name != nullptr ? name->size() + 1 : kMaxIntChars;
  if (line_.size() < begin + most) line_.resize(std::max(2 * line_.size(), begin + most));
  char* p = line_.data() + begin;
  if (name != nullptr) {
    p = std::copy(name->begin(), name->end(), p);
  } else {
    p = std::to_chars(p, p + kMaxIntChars, id).ptr;
  }
  *p++ = ' ';
  line_ends_[at_] = static_cast<std::uint32_t>(p - line_.data());
}

void FSout::add_uncached_item(int position) {
  if (at_ == kCachedItems) put_bytes(line_.data(), line_ends_[at_ - 1]);  // the cached items, once
  const int id = order_item_[position];
  if (names_ != nullptr) {
    const std::string& name = (*names_)[static_cast<std::size_t>(id)];
    put_bytes(name.data(), name.size());
  } else {
    if (pos_ + kMaxIntChars > kBufferSize) flush();
    pos_ = static_cast<std::size_t>(std::to_chars(buf_.get() + pos_, buf_.get() + kBufferSize, id).ptr - buf_.get());
  }
  put(' ');
}

void FSout::end_line(int support) {
  // A line past kCachedItems items has written its items already.
  const std::size_t bytes = at_ == 0 || at_ > kCachedItems ? 0 : line_ends_[at_ - 1];
  at_ = 0;
  if (pos_ + bytes + kMaxIntChars + 3 > kBufferSize) flush();
  if (bytes + kMaxIntChars + 3 > kBufferSize) {
    put_bytes(line_.data(), bytes);  // a line longer than the buffer
  } else {
    pos_ = static_cast<std::size_t>(std::copy_n(line_.data(), bytes, buf_.get() + pos_) - buf_.get());
  }
  put('(');
  if (pos_ + kMaxIntChars > kBufferSize) flush();
  pos_ = static_cast<std::size_t>(std::to_chars(buf_.get() + pos_, buf_.get() + kBufferSize, support).ptr - buf_.get());
  put(')');
  put('\n');
}

void FSout::flush() {
  if (file == nullptr) return;
  if (pos_ > 0 && std::fwrite(buf_.get(), 1, pos_, file) != pos_) fail_write();
  pos_ = 0;
  if (std::fflush(file) != 0) fail_write();
}

void FSout::close() {
  if (file == nullptr) return;
  flush();
  std::FILE* f = file;
  file = nullptr;
  if (owns_file_ && std::fclose(f) != 0) fail_write();
}

}  // namespace zub
