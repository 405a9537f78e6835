#include "io/gzip_source.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "common/run_error.h"
#include "common/tuning.h"

namespace zub {

namespace {

constexpr std::size_t kInputBlock = kGzipInputBytes;
constexpr int kGzipOnly = 15 + 16;  // the largest window, gzip header and trailer only

}  // namespace

GzipSource::GzipSource(std::FILE* file, const char* first, std::size_t size)
    : file_(file), zs_(new z_stream_s{}), in_(std::max(size, kInputBlock)) {
  const int status = inflateInit2(zs_.get(), kGzipOnly);
  if (status == Z_MEM_ERROR) fail_memory();
  if (status != Z_OK) failed_ = true;
  std::memcpy(in_.data(), first, size);
  zs_->next_in = in_.data();
  zs_->avail_in = static_cast<uInt>(size);
}

GzipSource::~GzipSource() { inflateEnd(zs_.get()); }

void GzipSource::restart() {
  if (inflateReset(zs_.get()) != Z_OK) {
    failed_ = true;
    return;
  }
  zs_->next_in = in_.data();
  zs_->avail_in = 0;
  input_end_ = member_end_ = finished_ = failed_ = false;
}

void GzipSource::fill() {
  const std::size_t n = std::fread(in_.data(), 1, in_.size(), file_);
  zs_->next_in = in_.data();
  zs_->avail_in = static_cast<uInt>(n);
  if (n == 0) {
    if (std::ferror(file_)) failed_ = true;
    input_end_ = true;
  }
}

std::size_t GzipSource::read(char* out, std::size_t size) {
  z_stream_s& zs = *zs_;
  zs.next_out = reinterpret_cast<Bytef*>(out);
  zs.avail_out = static_cast<uInt>(size);
  while (zs.avail_out > 0 && !finished_ && !failed_) {
    if (zs.avail_in == 0 && !input_end_) {
      fill();
      continue;
    }
    if (member_end_) {
      // The end of the file, or the next member's header.
      if (zs.avail_in == 0) {
        finished_ = true;
        break;
      }
      if (inflateReset(&zs) != Z_OK) {
        failed_ = true;
        break;
      }
      member_end_ = false;
    }
    switch (inflate(&zs, Z_NO_FLUSH)) {
      case Z_OK:
        break;
      case Z_STREAM_END:
        member_end_ = true;
        break;
      case Z_BUF_ERROR:
        // No progress: the input ran out inside a member.
        if (input_end_) failed_ = true;
        break;
      case Z_MEM_ERROR:
        fail_memory();
      default:  // damaged data, a bad header or check value
        failed_ = true;
        break;
    }
  }
  return size - zs.avail_out;
}

}  // namespace zub
