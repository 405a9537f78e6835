#pragma once
// Helpers shared by the tests: temporary directories, files, and running the
// real programs in a directory of their own.
#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

namespace zub::test {

std::string read_file(const std::filesystem::path& path);
std::string read_all(std::FILE* file);  // from its start
void write_file(const std::filesystem::path& path, const std::string& content);

// A fresh directory, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  void write(const std::string& name, const std::string& content) const { write_file(path_ / name, content); }
  std::string read(const std::string& name) const { return read_file(path_ / name); }
  bool exists(const std::string& name) const { return std::filesystem::exists(path_ / name); }

 private:
  std::filesystem::path path_;
};

struct ProcessResult {
  int status = -1;  // exit status, or 128 + signal
  std::string out;
  std::string err;
};

// How a program is started beyond its arguments.
struct RunOptions {
  std::string stdin_path;                 // standard input; /dev/null when empty
  std::string stdout_path;                // standard output; captured when empty
  unsigned long long address_space = 0;   // RLIMIT_AS in bytes; 0 keeps the current limit
  unsigned long long file_size = 0;       // RLIMIT_FSIZE in bytes; 0 keeps the current limit
  unsigned long long cpu_seconds = 0;     // RLIMIT_CPU; 0 keeps the current limit
  int uid = -1;                           // run as this user and group when uid >= 0
  int gid = -1;
};

// A program started in `cwd` and not yet waited for; its standard output and
// error go to files of their own (see run_program).
class StartedProgram {
 public:
  StartedProgram(const std::string& binary, const std::vector<std::string>& args, const std::filesystem::path& cwd,
                 const RunOptions& options);
  ~StartedProgram();  // kills a program not waited for
  StartedProgram(const StartedProgram&) = delete;
  StartedProgram& operator=(const StartedProgram&) = delete;
  int pid() const { return pid_; }
  // Whether it has ended; then wait() returns at once.
  bool ended();
  ProcessResult wait();

 private:
  TempDir capture_;
  int pid_ = -1;
  int raw_status_ = 0;
  bool waited_ = false;
};

// Runs `binary` with `args` in `cwd`; standard input from `stdin_path` when given.
ProcessResult run_program(const std::string& binary, const std::vector<std::string>& args,
                          const std::filesystem::path& cwd, const std::string& stdin_path = "");
ProcessResult run_program(const std::string& binary, const std::vector<std::string>& args,
                          const std::filesystem::path& cwd, const RunOptions& options);

// A user other than root to run a program as, for permission checks: false
// when there is none (or when the tests do not run as root, so that the
// current user already is one).
bool other_user(int& uid, int& gid);

// The programs under test.
inline std::string zub_binary() { return ZUB_BINARY; }
inline std::string zub_mine_binary() { return ZUB_MINE_BINARY; }

// zub-mine run in `dir` with `args`; a shell command run in `dir` with the
// path of zub-mine in $M.
ProcessResult mine(const TempDir& dir, const std::vector<std::string>& args);
ProcessResult shell(const TempDir& dir, const std::string& command);

// Runs zub_mine_main in this process with the given arguments (after the
// program name); captures what it writes to its two streams.
int run_mine_in_process(const std::vector<std::string>& args, std::string* out, std::string* err = nullptr);

// `text` without its lines of processor time (a run report's "Time:", the
// "processor time:" of --stats) and its command lines (those that begin with
// a path).
inline std::string without_time(const std::string& text) {
  return std::regex_replace(text, std::regex("(^|\n)(Time:|processor time:|wall time [a-z]+:|/)[^\n]*"), "");
}

// The path of one public benchmark dataset (in ../shared/data or
// $ZUB_DATA_DIR), or an empty string when it is absent; and the reason to
// give when a test skips for want of it.
std::string dataset(const std::string& file);
std::string no_dataset(const std::string& file);

}  // namespace zub::test
