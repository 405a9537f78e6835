#include "parallel/ordered_output.h"

#include <unistd.h>

#include <algorithm>
#include <utility>

#include "common/run_error.h"

namespace zub {

namespace {

constexpr std::size_t kReadBack = std::size_t(1) << 16;

bool write_all(int fd, const char* bytes, std::size_t n) {
  while (n > 0) {
    const ssize_t wrote = ::write(fd, bytes, n);
    if (wrote <= 0) return false;
    bytes += wrote;
    n -= static_cast<std::size_t>(wrote);
  }
  return true;
}

}  // namespace

OrderedOutput::OrderedOutput(Emit emit, int units)
    : emit_(std::move(emit)), kept_(static_cast<std::size_t>(units)), finished_(static_cast<std::size_t>(units), 0) {}

OrderedOutput::~OrderedOutput() {
  if (spill_ != nullptr) std::fclose(spill_);
}

void OrderedOutput::write(int unit, const char* bytes, std::size_t n) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (unit == head_)
    emit_(bytes, n);
  else
    keep(kept_[static_cast<std::size_t>(unit)], bytes, n);
}

void OrderedOutput::keep(Kept& kept, const char* bytes, std::size_t n) {
  if (spill_ == nullptr && spilling_) {
    spill_ = std::tmpfile();
    spilling_ = spill_ != nullptr;
  }
  // Once in memory, a unit's later text stays there too (it follows the
  // extents when written). A failed write leaves what went before readable;
  // this piece and all later ones go to memory.
  if (spilling_ && kept.text.empty() && write_all(fileno(spill_), bytes, n)) {
    kept.extents.push_back({spill_end_, n});
    spill_end_ += static_cast<long long>(n);
    return;
  }
  spilling_ = false;
  kept.text.append(bytes, n);
}

void OrderedOutput::write_kept(Kept& kept) {
  if (!kept.extents.empty() && buffer_.empty()) buffer_.resize(kReadBack);
  for (const Extent& e : kept.extents) {
    for (std::size_t done = 0; done < e.size;) {
      const std::size_t part = std::min(kReadBack, e.size - done);
      const ssize_t got = ::pread(fileno(spill_), buffer_.data(), part, e.offset + static_cast<long long>(done));
      if (got <= 0) throw RunError(kExitFile, "a temporary file of the run could not be read back!");
      emit_(buffer_.data(), static_cast<std::size_t>(got));
      done += static_cast<std::size_t>(got);
    }
  }
  if (!kept.text.empty()) emit_(kept.text.data(), kept.text.size());
  Kept().extents.swap(kept.extents);
  std::string().swap(kept.text);
}

void OrderedOutput::finish(int unit) {
  const std::lock_guard<std::mutex> lock(mutex_);
  finished_[static_cast<std::size_t>(unit)] = 1;
  const int units = static_cast<int>(finished_.size());
  while (head_ < units && finished_[static_cast<std::size_t>(head_)] != 0) {
    if (++head_ == units) break;
    // The new head's text so far goes first; what it writes next follows.
    write_kept(kept_[static_cast<std::size_t>(head_)]);
  }
}

}  // namespace zub
