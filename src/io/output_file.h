#pragma once
// The output file of a program's run, which holds the whole result or what
// it held before, never part of a run. A regular file (or one that does not
// exist yet) is written as a temporary `.<name>.zub-XXXXXX` in the same
// folder, made as a new file is (its mode from the umask), and renamed over
// the output by commit(); a run that fails drops the temporary, and a run
// ended by SIGINT, SIGTERM or SIGHUP removes it before the signal ends the
// process. Anything else is written in place, as fopen(path, "w") does: a
// character device (/dev/null, /dev/full), a pipe, /dev/stdout and the other
// links into /proc, and a file whose folder takes no new file.
//
// A link to a regular file is followed: the file it leads to is replaced and
// the link kept. A replaced file is a new file: another hard link to the old
// one keeps the old content.
#include <csignal>
#include <cstdio>
#include <string>

#include <sys/stat.h>

namespace zub {

class OutputFile {
 public:
  // Opens the output at `path`; is_open() tells whether that worked.
  explicit OutputFile(const std::string& path);
  // Drops the temporary of an output that was not committed.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool is_open() const { return file_ != nullptr; }
  // The stream to write to; it stays this object's.
  std::FILE* stream() const { return file_; }
  // The temporary written to, or empty when the output is written in place.
  const std::string& temporary() const { return temporary_; }
  // Closes the stream and puts the temporary in the output's place. Throws
  // RunError(kExitFile, "<path> could not be written!") when the stream
  // cannot be closed or the rename fails; the output is then left as it was.
  void commit();

 private:
  void open_temporary(const std::string& target);
  void drop();

  std::string path_;       // as given, for messages and writing in place
  std::string target_;     // the file the temporary replaces
  std::string temporary_;
  std::FILE* file_ = nullptr;
  bool removes_on_signal_ = false;
  struct sigaction previous_[3] = {};  // of SIGINT, SIGTERM, SIGHUP, while the temporary's removal is armed
};

// Whether `output` names the regular file `input` names (the same device and
// inode, through symbolic and hard links): writing the output would destroy
// the input. False when either is missing or not a regular file.
bool is_same_file(const char* input, const char* output);
// The same for an input already open (standard input).
bool is_same_file(int input_fd, const char* output);

}  // namespace zub
