#include "io/line_ranges.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "io/byte_ranges.h"

namespace zub {

bool list_parts(const std::string& folder, std::vector<InputFile>& parts, std::string& why) {
  parts.clear();
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) {
    why = folder;
    return false;
  }
  std::vector<std::string> names;
  while (const dirent* e = ::readdir(dir)) {
    if (e->d_name[0] != '.' && e->d_name[0] != '_') names.emplace_back(e->d_name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string path = folder + (folder.ends_with('/') ? "" : "/") + name;
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
      why = path;
      return false;
    }
    parts.push_back({path, static_cast<long long>(st.st_size)});
  }
  return true;
}

namespace {

// A boundary is searched in blocks of this size: a line feed is usually near.
constexpr std::size_t kBoundaryBlock = std::size_t(1) << 16;

// The first line start at or after `at` in the file (its size when none),
// by the rule of the byte-range reader, so that both cut alike.
bool line_start_from(RangeReader& reader, long long at, long long size, long long& start) {
  std::uint64_t found = 0;
  bool failed = false;
  const ByteRange rest{static_cast<std::uint64_t>(std::max(at, 0LL)), static_cast<std::uint64_t>(size)};
  if (reader.find_start(rest, found, failed)) {
    start = static_cast<long long>(found);
    return true;
  }
  start = size;
  return !failed;
}

}  // namespace

bool share_of(const std::vector<InputFile>& files, int index, int shares, std::vector<FilePiece>& pieces,
              std::string& why) {
  pieces.clear();
  long long total = 0;
  for (const InputFile& f : files) total += f.size;
  // The share's bytes in the files one after another: [from, to).
  const auto bound = [&](int k) { return static_cast<long long>(static_cast<__int128>(total) * k / shares); };
  const long long from = bound(index), to = bound(index + 1);
  long long base = 0;  // where the file starts among all bytes
  for (const InputFile& f : files) {
    const long long lo = std::max(from, base) - base, hi = std::min(to, base + f.size) - base;
    base += f.size;
    if (lo >= hi) continue;
    const int fd = ::open(f.path.c_str(), O_RDONLY | O_CLOEXEC);
    long long begin = 0, end = 0;
    bool ok = fd >= 0;
    if (ok) {
      RangeReader reader(fd, kBoundaryBlock);
      ok = line_start_from(reader, lo, f.size, begin) && line_start_from(reader, hi, f.size, end);
      ::close(fd);
    }
    if (!ok) {
      why = f.path;
      return false;
    }
    if (begin < end) pieces.push_back({f.path, begin, end});
  }
  return true;
}

PieceStream::PieceStream(std::vector<FilePiece> pieces)
    : pieces_(std::move(pieces)), lines_(pieces_.size(), 0), ends_in_feed_(pieces_.size(), true) {
  for (const FilePiece& p : pieces_) {
    const int fd = ::open(p.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      failed_ = p.path;
      return;
    }
    fds_.push_back(fd);
  }
  const cookie_io_functions_t io{&PieceStream::read, nullptr, &PieceStream::seek, &PieceStream::close};
  stream_ = ::fopencookie(this, "r", io);
  // A buffer as large as the reader's block: stdio then hands whole blocks
  // to the read function (without one it asks for a byte at a time).
  constexpr std::size_t kBuffer = std::size_t(1) << 20;
  buffer_.reset(new char[kBuffer]);
  if (stream_ != nullptr) std::setvbuf(stream_, buffer_.get(), _IOFBF, kBuffer);
}

PieceStream::~PieceStream() {
  if (stream_ != nullptr) std::fclose(stream_);
  for (int fd : fds_) ::close(fd);
}

ssize_t PieceStream::read(void* cookie, char* buf, std::size_t size) {
  return static_cast<PieceStream*>(cookie)->read_some(buf, size);
}

ssize_t PieceStream::read_some(char* buf, std::size_t size) {
  if (offset_ == 0) {  // a pass begins: its lines are counted anew
    std::fill(lines_.begin(), lines_.end(), 0);
    std::fill(ends_in_feed_.begin(), ends_in_feed_.end(), true);
    reached_ = 0;
  }
  while (at_piece_ < pieces_.size()) {
    const FilePiece& p = pieces_[at_piece_];
    const long long left = p.end - p.begin - at_byte_;
    if (left > 0) {
      const std::size_t want = static_cast<std::size_t>(std::min<long long>(left, static_cast<long long>(size)));
      const ssize_t got = ::pread(fds_[at_piece_], buf, want, p.begin + at_byte_);
      if (got < 0) return -1;
      if (got == 0) {  // the file is shorter than when it was split
        errno = EIO;
        return -1;
      }
      at_byte_ += got;
      offset_ += got;
      reached_ = at_piece_;
      lines_[at_piece_] += std::count(buf, buf + got, '\n');
      ends_in_feed_[at_piece_] = buf[got - 1] == '\n';
      return got;
    }
    if (!ends_in_feed_[at_piece_]) {
      ends_in_feed_[at_piece_] = true;
      ++lines_[at_piece_];
      buf[0] = '\n';
      ++offset_;
      return 1;
    }
    ++at_piece_;
    at_byte_ = 0;
  }
  return 0;
}

int PieceStream::seek(void* cookie, off64_t* offset, int whence) {
  auto& s = *static_cast<PieceStream*>(cookie);
  if (whence == SEEK_CUR && *offset == 0) {
    *offset = s.offset_;
    return 0;
  }
  if (whence != SEEK_SET || *offset != 0) return -1;
  // Back to the start for another pass; the last pass's lines stay until it reads.
  s.at_piece_ = 0;
  s.at_byte_ = s.offset_ = 0;
  return 0;
}

int PieceStream::close(void*) { return 0; }

void PieceStream::locate(long long line, int& piece, long long& line_in_piece) const {
  piece = -1;
  line_in_piece = line;
  if (pieces_.empty()) return;
  // The pieces before the one read last hold all their lines.
  long long before = 0;
  std::size_t p = 0;
  while (p < reached_ && before + lines_[p] < line) before += lines_[p++];
  piece = static_cast<int>(p);
  line_in_piece = line - before;
}

}  // namespace zub
