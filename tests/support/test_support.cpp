#include "support/test_support.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "driver/mine_cli.h"

namespace zub::test {

std::string read_all(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string s;
  char buf[65536];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, file)) > 0;) s.append(buf, n);
  return s;
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_file(const std::filesystem::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

TempDir::TempDir() {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto candidate = std::filesystem::temp_directory_path() /
                     ("zub-test-" + std::to_string(rd()) + std::to_string(attempt));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary directory");
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

ProcessResult run_program(const std::string& binary, const std::vector<std::string>& args,
                          const std::filesystem::path& cwd, const std::string& stdin_path) {
  RunOptions options;
  options.stdin_path = stdin_path;
  return run_program(binary, args, cwd, options);
}

ProcessResult run_program(const std::string& binary, const std::vector<std::string>& args,
                          const std::filesystem::path& cwd, const RunOptions& options) {
  return StartedProgram(binary, args, cwd, options).wait();
}

StartedProgram::StartedProgram(const std::string& binary, const std::vector<std::string>& args,
                               const std::filesystem::path& cwd, const RunOptions& options) {
  const std::string out_path = capture_.file("out"), err_path = capture_.file("err");
  const std::string in_path = options.stdin_path.empty() ? "/dev/null" : options.stdin_path;
  std::vector<std::string> argv_store{binary};
  argv_store.insert(argv_store.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_store) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string dir = cwd.string();

  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    // The child: only async-signal-safe calls until exec.
    const int in = open(in_path.c_str(), O_RDONLY);
    const int out = options.stdout_path.empty() ? open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)
                                                : open(options.stdout_path.c_str(), O_WRONLY);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(126);
    if (chdir(dir.c_str()) != 0) _exit(126);
    // The program meets the signals' default actions, unblocked, whatever
    // the test runner ignores (a background job ignores SIGINT) or blocks.
    sigset_t blocked;
    sigemptyset(&blocked);
    for (int s : {SIGXFSZ, SIGXCPU, SIGINT, SIGTERM, SIGHUP}) {
      signal(s, SIG_DFL);
      sigaddset(&blocked, s);
    }
    sigprocmask(SIG_UNBLOCK, &blocked, nullptr);
    if (options.address_space != 0) {
      const rlimit limit{options.address_space, options.address_space};
      if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
    }
    if (options.file_size != 0) {
      const rlimit limit{options.file_size, options.file_size};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    }
    if (options.cpu_seconds != 0) {
      const rlimit limit{options.cpu_seconds, options.cpu_seconds};
      if (setrlimit(RLIMIT_CPU, &limit) != 0) _exit(126);
    }
    if (options.uid >= 0 && static_cast<uid_t>(options.uid) != geteuid() &&
        (setgroups(0, nullptr) != 0 || setgid(options.gid) != 0 || setuid(options.uid) != 0))
      _exit(126);
    execv(argv[0], argv.data());
    _exit(127);
  }
}

StartedProgram::~StartedProgram() {
  if (waited_) return;
  kill(pid_, SIGKILL);
  while (waitpid(pid_, &raw_status_, 0) < 0 && errno == EINTR) {
  }
}

bool StartedProgram::ended() {
  if (waited_) return true;
  const pid_t done = waitpid(pid_, &raw_status_, WNOHANG);
  if (done < 0 && errno != EINTR) throw std::runtime_error("waitpid failed");
  waited_ = done == pid_;
  return waited_;
}

ProcessResult StartedProgram::wait() {
  while (!waited_) {
    if (waitpid(pid_, &raw_status_, 0) == pid_) waited_ = true;
    else if (errno != EINTR) throw std::runtime_error("waitpid failed");
  }
  ProcessResult result;
  if (WIFEXITED(raw_status_))
    result.status = WEXITSTATUS(raw_status_);
  else if (WIFSIGNALED(raw_status_))
    result.status = 128 + WTERMSIG(raw_status_);
  result.out = capture_.read("out");
  result.err = capture_.read("err");
  return result;
}

ProcessResult mine(const TempDir& dir, const std::vector<std::string>& args) {
  return run_program(zub_mine_binary(), args, dir.path());
}

ProcessResult shell(const TempDir& dir, const std::string& command) {
  return run_program("/bin/sh", {"-c", "M='" + zub_mine_binary() + "'; " + command}, dir.path());
}

int run_mine_in_process(const std::vector<std::string>& args, std::string* out, std::string* err) {
  std::vector<std::string> owned{"zub-mine"};
  owned.insert(owned.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : owned) argv.push_back(a.data());
  std::FILE* streams[2] = {std::tmpfile(), std::tmpfile()};
  const int status = zub_mine_main(static_cast<int>(argv.size()), argv.data(), streams[0], streams[1]);
  if (out != nullptr) *out = read_all(streams[0]);
  if (err != nullptr) *err = read_all(streams[1]);
  for (std::FILE* f : streams) std::fclose(f);
  return status;
}

bool other_user(int& uid, int& gid) {
  if (geteuid() != 0) {
    uid = static_cast<int>(geteuid());
    gid = static_cast<int>(getegid());
    return true;
  }
  const passwd* nobody = getpwnam("nobody");
  if (nobody == nullptr || nobody->pw_uid == 0) return false;
  uid = static_cast<int>(nobody->pw_uid);
  gid = static_cast<int>(nobody->pw_gid);
  return true;
}

std::string dataset(const std::string& file) {
  const char* env = std::getenv("ZUB_DATA_DIR");
  const std::filesystem::path path = std::filesystem::path(env != nullptr ? env : ZUB_DATA_DIR) / file;
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec) ? path.string() : std::string();
}

std::string no_dataset(const std::string& file) {
  return file + " not found: the benchmark datasets are looked for in ../shared/data beside the source tree, " +
         "or in the folder that the environment variable ZUB_DATA_DIR names; set ZUB_DATA_DIR to run this test";
}

}  // namespace zub::test
