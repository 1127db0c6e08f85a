// Files as OpenImageIO is shown them, where the file's own metadata would
// cost far more memory than its frame: read through these, the library never
// sees what was left out. Each reads the file by its name, with pread, and
// throws a CodecError if it cannot open it.
#pragma once

#include <OpenImageIO/filesystem.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cli/exr_header.h"
#include "cli/tiff_tags.h"

namespace corvalin::cli {

// A read-only file read by offset; what the library is shown at each offset
// is the derived class's.
class FilteredFile : public OIIO::Filesystem::IOProxy {
 public:
  explicit FilteredFile(const std::string& path);
  ~FilteredFile() override;
  FilteredFile(const FilteredFile&) = delete;
  FilteredFile& operator=(const FilteredFile&) = delete;

  size_t read(void* buf, size_t size) override;

 protected:
  // Bytes of the file itself at `offset`, fewer at its end.
  size_t ReadFile(void* buf, size_t size, uint64_t offset) const;
  uint64_t fileSize() const { return fileSize_; }

 private:
  int fd_ = -1;
  uint64_t fileSize_ = 0;
};

// An OpenEXR file with attributes left out of its header: the kept header
// (KeptExrHeader), then the offset table with every offset moved by the
// bytes left out, then the rest of the file, so that each offset still
// finds its chunk.
class ExrShownFile final : public FilteredFile {
 public:
  ExrShownFile(const std::string& path, std::string keptHeader, const ExrHeaderWalk& walk);
  const char* proxytype() const override { return "corvalin-exr-header"; }
  size_t size() const override { return fileSize() - shift_; }
  size_t pread(void* buf, size_t size, int64_t offset) override;

 private:
  std::string head_;
  uint64_t headerEnd_, tableBytes_, shift_;
};

// A file with some of its bytes replaced (TIFF tags shown with no value).
class PatchedFile final : public FilteredFile {
 public:
  PatchedFile(const std::string& path, std::vector<FilePatch> patches);
  const char* proxytype() const override { return "corvalin-patched"; }
  size_t size() const override { return fileSize(); }
  size_t pread(void* buf, size_t size, int64_t offset) override;

 private:
  std::vector<FilePatch> patches_;  // in order of offset, none overlapping
};

}  // namespace corvalin::cli
