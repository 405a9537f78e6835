#pragma once
// The run log: every run that mines appends its run report to it. A report
// reaches the log whole or not at all, so scripts that read the log never see
// half a report, even when the disk fills up during the write.
#include <cstdio>
#include <string>

namespace zub {

class RunLog {
 public:
  // Opens `path` for appending, creating it when it does not exist.
  explicit RunLog(const char* path);
  ~RunLog();
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  bool isOpen() const { return file_ != nullptr; }
  // Appends `report` in one write call, so concurrent runs never interleave
  // their reports. On a failed or short write the bytes that reached the file
  // are cut off again and false is returned.
  bool append(const std::string& report);

 private:
  std::string path_;
  std::FILE* file_;
};

}  // namespace zub
