#include "run/ordered_output.h"

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

OrderedOutput::OrderedOutput(Emit emit, int units, int workers, bool files)
    : emit_(std::move(emit)),
      kept_(static_cast<std::size_t>(units)),
      finished_(static_cast<std::size_t>(units), 0),
      spills_(static_cast<std::size_t>(workers)) {
  for (Spill& s : spills_) s.usable = files;
}

OrderedOutput::~OrderedOutput() {
  for (Spill& s : spills_)
    if (s.file != nullptr) std::fclose(s.file);
}

void OrderedOutput::write(int unit, int worker, const char* bytes, std::size_t n) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (unit == head_) {
      emit_(bytes, n);
      return;
    }
  }
  Extent extent{};
  const bool filed = spill(worker, bytes, n, extent);
  const std::lock_guard<std::mutex> lock(mutex_);
  // The unit may have come to the head meanwhile: what it kept is out, and
  // these bytes follow.
  Kept& kept = kept_[static_cast<std::size_t>(unit)];
  if (unit == head_)
    emit_(bytes, n);
  else if (filed && kept.text.empty())
    kept.extents.push_back(extent);
  else
    kept.text.append(bytes, n);
}

bool OrderedOutput::spill(int worker, const char* bytes, std::size_t n, Extent& extent) {
  Spill& s = spills_[static_cast<std::size_t>(worker)];
  if (s.file == nullptr && s.usable) {
    s.file = std::tmpfile();
    s.usable = s.file != nullptr;
  }
  // A failed write leaves what went before readable; nothing more goes there.
  if (!s.usable || !write_all(fileno(s.file), bytes, n)) {
    s.usable = false;
    return false;
  }
  extent = {worker, s.end, n};
  s.end += static_cast<long long>(n);
  return true;
}

void OrderedOutput::write_kept(Kept& kept) {
  if (!kept.extents.empty() && buffer_.empty()) buffer_.resize(kReadBack);
  for (const Extent& e : kept.extents) {
    for (std::size_t done = 0; done < e.size;) {
      const std::size_t part = std::min(kReadBack, e.size - done);
      std::FILE* file = spills_[static_cast<std::size_t>(e.worker)].file;
      const ssize_t got = ::pread(fileno(file), buffer_.data(), part, e.offset + static_cast<long long>(done));
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
