#include "driver/run_log.h"

#include <filesystem>
#include <system_error>

namespace zub {

RunLog::RunLog(const char* path) : path_(path), file_(std::fopen(path, "a")) {
  if (file_ != nullptr) std::setvbuf(file_, nullptr, _IONBF, 0);
}

RunLog::~RunLog() {
  if (file_ != nullptr) std::fclose(file_);
}

bool RunLog::append(const std::string& report) {
  if (file_ == nullptr) return false;
  const std::size_t written = std::fwrite(report.data(), 1, report.size(), file_);
  if (written == report.size() && std::fflush(file_) == 0) return true;
  if (written == 0) return false;
  // After an appending write the stream stands at the end of what it wrote.
  // Cut that part off, unless another run has appended behind it meanwhile.
  const long end = std::ftell(file_);
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path_, ec);
  if (!ec && end >= static_cast<long>(written) && size == static_cast<std::uintmax_t>(end))
    std::filesystem::resize_file(path_, static_cast<std::uintmax_t>(end) - written, ec);
  return false;
}

}  // namespace zub
