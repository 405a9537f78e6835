#include "parallel/ordered_output.h"

#include "io/fsout.h"

namespace zub {

OrderedOutput::OrderedOutput(FSout& out, int units)
    : out_(out), pending_(static_cast<std::size_t>(units)), finished_(static_cast<std::size_t>(units), 0) {}

void OrderedOutput::write(int unit, const char* bytes, std::size_t n) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (unit == head_)
    out_.write_bytes(bytes, n);
  else
    pending_[static_cast<std::size_t>(unit)].append(bytes, n);
}

void OrderedOutput::finish(int unit) {
  const std::lock_guard<std::mutex> lock(mutex_);
  finished_[static_cast<std::size_t>(unit)] = 1;
  const int units = static_cast<int>(finished_.size());
  while (head_ < units && finished_[static_cast<std::size_t>(head_)] != 0) {
    if (++head_ == units) break;
    // The new head's text so far goes first; what it writes next follows.
    std::string& kept = pending_[static_cast<std::size_t>(head_)];
    if (!kept.empty()) out_.write_bytes(kept.data(), kept.size());
    std::string().swap(kept);
  }
}

}  // namespace zub
