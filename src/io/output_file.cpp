#include "io/output_file.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <utility>

#include "common/run_error.h"

namespace zub {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The temporary output that a signal ending the process removes. A handler
// can reach nothing but static storage, so its path is kept here, in a fixed
// buffer written before `armed_` is set; this is all the state the process
// shares. One output at a time (a program's own), armed and disarmed by the
// thread that opens it.
class RemovalOnSignal {
 public:
  static bool arm(const std::string& path) {
    if (armed_ != 0 || path.size() >= sizeof path_) return false;
    std::memcpy(path_, path.c_str(), path.size() + 1);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    armed_ = 1;
    return true;
  }
  static void disarm() { armed_ = 0; }
  // Only async-signal-safe calls. SA_RESETHAND has put the default action
  // back, so the signal raised again ends the process as it would have.
  static void handle(int signal) {
    if (armed_ != 0) unlink(path_);
    raise(signal);
  }

 private:
  static inline char path_[PATH_MAX];
  static inline volatile std::sig_atomic_t armed_ = 0;
};

// Six letters or digits that make a temporary's name differ from run to run.
std::string random_suffix(unsigned attempt) {
  static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::uint64_t x = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                    (static_cast<std::uint64_t>(getpid()) << 32) ^ (attempt * 0x9E3779B97F4A7C15ULL);
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;  // splitmix64's finaliser
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  x ^= x >> 31;
  std::string s(6, 'x');
  for (char& c : s) {
    c = kChars[x % (sizeof kChars - 1)];
    x /= sizeof kChars - 1;
  }
  return s;
}

// The file that `path` leads to through symbolic links, or "" when it leads
// into /proc (/dev/stdout, /dev/fd/N: an open stream, to be written in place)
// or through too many links.
std::string follow_links(const std::string& path) {
  struct stat proc {};
  const bool has_proc = lstat("/proc/self", &proc) == 0;
  std::string p = path;
  for (int hop = 0; hop < 40; ++hop) {
    struct stat st {};
    if (lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
    if (has_proc && st.st_dev == proc.st_dev) return "";
    char link[PATH_MAX];
    const ssize_t n = readlink(p.c_str(), link, sizeof link);
    if (n <= 0 || static_cast<std::size_t>(n) == sizeof link) return "";
    const std::string to(link, static_cast<std::size_t>(n));
    const std::size_t slash = p.rfind('/');
    p = to[0] == '/' || slash == std::string::npos ? to : p.substr(0, slash + 1) + to;
  }
  return "";
}

// The regular file (existing and writable, or not there yet) that the
// output at `path` is, or "" for an output written in place.
std::string replaceable(const std::string& path) {
  const std::string target = follow_links(path);
  if (target.empty()) return "";
  struct stat st {};
  if (lstat(target.c_str(), &st) != 0) return errno == ENOENT ? target : "";
  if (!S_ISREG(st.st_mode)) return "";
  // A file the user may not write is not replaced either: in place, its
  // opening fails as it always has.
  const int fd = open(target.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return "";
  close(fd);
  return target;
}

}  // namespace

OutputFile::OutputFile(const std::string& path) : path_(path) {
  const std::string target = replaceable(path);
  if (!target.empty()) open_temporary(target);
  if (file_ == nullptr) file_ = std::fopen(path.c_str(), "w");
}

OutputFile::~OutputFile() { drop(); }

void OutputFile::open_temporary(const std::string& target) {
  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string name = target.substr(folder.size(), 200);  // the temporary's name must fit NAME_MAX too
  if (name.empty() || name == "." || name == "..") return;
  // The signals stay blocked until the temporary is both made and armed, so
  // that no signal can leave it behind, or remove a file of that name that
  // is not ours.
  sigset_t blocked, before;
  sigemptyset(&blocked);
  for (int s : kSignals) sigaddset(&blocked, s);
  pthread_sigmask(SIG_BLOCK, &blocked, &before);
  for (unsigned attempt = 0; attempt < 100 && file_ == nullptr; ++attempt) {
    const std::string candidate = folder + "." + name + ".zub-" + random_suffix(attempt);
    // Mode 0666 as fopen gives: the umask (and a default ACL) decide.
    const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) break;
    file_ = fdopen(fd, "w");
    if (file_ == nullptr) {
      close(fd);
      unlink(candidate.c_str());
      break;
    }
    temporary_ = candidate;
    target_ = target;
    if (RemovalOnSignal::arm(temporary_)) {
      removes_on_signal_ = true;
      struct sigaction removal {};
      removal.sa_handler = &RemovalOnSignal::handle;
      removal.sa_mask = blocked;
      removal.sa_flags = SA_RESETHAND;
      // Only where the signal would end the process: a signal the parent
      // ignores (nohup) or one the embedder handles is left alone.
      for (std::size_t k = 0; k < std::size(kSignals); ++k)
        if (sigaction(kSignals[k], nullptr, &previous_[k]) == 0 && !(previous_[k].sa_flags & SA_SIGINFO) &&
            previous_[k].sa_handler == SIG_DFL)
          sigaction(kSignals[k], &removal, nullptr);
    }
  }
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

void OutputFile::drop() {
  if (file_ != nullptr) std::fclose(std::exchange(file_, nullptr));
  if (!temporary_.empty()) unlink(temporary_.c_str());
  temporary_.clear();
  if (removes_on_signal_) {
    for (std::size_t k = 0; k < std::size(kSignals); ++k) {
      struct sigaction now {};
      // Put back only what this object set.
      if (sigaction(kSignals[k], nullptr, &now) == 0 && now.sa_handler == &RemovalOnSignal::handle)
        sigaction(kSignals[k], &previous_[k], nullptr);
    }
    RemovalOnSignal::disarm();
    removes_on_signal_ = false;
  }
}

void OutputFile::commit() {
  std::FILE* f = std::exchange(file_, nullptr);
  const bool closed = f != nullptr && std::fclose(f) == 0;
  if (closed && (temporary_.empty() || std::rename(temporary_.c_str(), target_.c_str()) == 0)) {
    temporary_.clear();  // it is the output now
    drop();
    return;
  }
  drop();
  throw RunError(kExitFile, path_ + " could not be written!");
}

namespace {

bool same_regular_file(const struct stat& in, const char* output) {
  struct stat out {};
  return S_ISREG(in.st_mode) && stat(output, &out) == 0 && S_ISREG(out.st_mode) && in.st_dev == out.st_dev &&
         in.st_ino == out.st_ino;
}

}  // namespace

bool is_same_file(const char* input, const char* output) {
  struct stat in {};
  return stat(input, &in) == 0 && same_regular_file(in, output);
}

bool is_same_file(int input_fd, const char* output) {
  struct stat in {};
  return fstat(input_fd, &in) == 0 && same_regular_file(in, output);
}

}  // namespace zub
