#include "cli/filtered_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "cli/formats.h"

namespace corvalin::cli {

FilteredFile::FilteredFile(const std::string& path)
    : IOProxy(path, IOProxy::Read), fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
  if (fd_ < 0) throw CodecError(std::strerror(errno));
  const off_t end = ::lseek(fd_, 0, SEEK_END);
  fileSize_ = end > 0 ? static_cast<uint64_t>(end) : 0;
}

FilteredFile::~FilteredFile() { ::close(fd_); }

size_t FilteredFile::read(void* buf, size_t size) {
  const size_t n = pread(buf, size, m_pos);
  m_pos += static_cast<int64_t>(n);
  return n;
}

size_t FilteredFile::ReadFile(void* buf, size_t size, uint64_t offset) const {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd_, static_cast<char*>(buf) + done, size - done,
                              static_cast<off_t>(offset + done));
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

ExrShownFile::ExrShownFile(const std::string& path, std::string keptHeader,
                           const ExrHeaderWalk& walk)
    : FilteredFile(path), head_(std::move(keptHeader)), headerEnd_(walk.headerEnd),
      tableBytes_(walk.chunkCount * 8), shift_(walk.headerEnd - head_.size()) {}

size_t ExrShownFile::pread(void* buf, size_t size, int64_t offset) {
  auto* out = static_cast<uint8_t*>(buf);
  uint64_t at = static_cast<uint64_t>(std::max<int64_t>(offset, 0));
  size_t done = 0;
  const uint64_t tableAt = head_.size();
  while (done < size) {
    if (at < tableAt) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(size - done, tableAt - at));
      std::memcpy(out + done, head_.data() + at, n);
      done += n, at += n;
    } else if (at < tableAt + tableBytes_) {
      // Offsets are little-endian 64-bit file positions; one before the
      // header is damaged and is left for the library to find so.
      const uint64_t entry = (at - tableAt) / 8, within = (at - tableAt) % 8;
      uint8_t bytes[8];
      if (ReadFile(bytes, 8, headerEnd_ + entry * 8) != 8) break;
      uint64_t value = 0;
      for (int i = 7; i >= 0; --i) value = value << 8 | bytes[i];
      if (value >= headerEnd_) value -= shift_;
      for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
      const size_t n = static_cast<size_t>(std::min<uint64_t>(size - done, 8 - within));
      std::memcpy(out + done, bytes + within, n);
      done += n, at += n;
    } else {
      done += ReadFile(out + done, size - done, at + shift_);
      break;
    }
  }
  return done;
}

PatchedFile::PatchedFile(const std::string& path, std::vector<FilePatch> patches)
    : FilteredFile(path), patches_(std::move(patches)) {
  std::sort(patches_.begin(), patches_.end(),
            [](const FilePatch& a, const FilePatch& b) { return a.at < b.at; });
}

size_t PatchedFile::pread(void* buf, size_t size, int64_t offset) {
  if (offset < 0) return 0;
  const size_t got = ReadFile(buf, size, static_cast<uint64_t>(offset));
  const auto begin = static_cast<uint64_t>(offset), end = begin + got;
  // The first patch that may reach into the range; patches are short.
  auto p = std::lower_bound(
      patches_.begin(), patches_.end(), begin,
      [](const FilePatch& patch, uint64_t at) { return patch.at + patch.bytes.size() <= at; });
  for (; p != patches_.end() && p->at < end; ++p) {
    for (size_t i = 0; i < p->bytes.size(); ++i) {
      const uint64_t at = p->at + i;
      if (at >= begin && at < end) static_cast<char*>(buf)[at - begin] = p->bytes[i];
    }
  }
  return got;
}

}  // namespace corvalin::cli
