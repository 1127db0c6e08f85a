#include "cli/exr_header.h"

#include <sys/types.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>

namespace corvalin::cli {

namespace {

constexpr uint32_t kTiledFlag = 0x200, kLongNamesFlag = 0x400, kDeepFlag = 0x800,
                   kMultipartFlag = 0x1000;

// What reading the pixels needs: these are never left out.
bool NeededForPixels(const std::string& name) {
  // clang-format off
  static const char* const kNeeded[] = {
      "channels", "compression", "dataWindow", "displayWindow", "lineOrder", "pixelAspectRatio",
      "screenWindowCenter", "screenWindowWidth", "tiles", "type", "name", "version", "chunkCount",
      "maxSamplesPerPixel"};
  // clang-format on
  return std::any_of(std::begin(kNeeded), std::end(kNeeded),
                     [&](const char* n) { return name == n; });
}

struct FileClose {
  void operator()(FILE* f) const { std::fclose(f); }
};

enum class NameRead { ok, end, tooLong };

class Walker {
 public:
  explicit Walker(FILE* file) : file_(file) {}

  // A zero-terminated name of at most `limit` characters.
  NameRead Name(std::string& out, size_t limit) {
    out.clear();
    for (;;) {
      const int c = std::fgetc(file_);
      if (c == EOF) return NameRead::end;
      if (c == 0) return NameRead::ok;
      if (out.size() == limit) return NameRead::tooLong;
      out.push_back(static_cast<char>(c));
    }
  }
  uint64_t Size() {
    const uint64_t at = Tell();
    ::fseeko(file_, 0, SEEK_END);
    const uint64_t end = Tell();
    Seek(at);
    return end;
  }
  bool U32(uint32_t& v) {
    uint8_t b[4];
    if (std::fread(b, 1, 4, file_) != 4) return false;
    v = uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
    return true;
  }
  uint64_t Tell() const { return static_cast<uint64_t>(::ftello(file_)); }
  bool Seek(uint64_t at) { return ::fseeko(file_, static_cast<off_t>(at), SEEK_SET) == 0; }
  int Peek() {
    const int c = std::fgetc(file_);
    if (c != EOF) std::ungetc(c, file_);
    return c;
  }
  bool Read(uint64_t at, void* into, size_t bytes) {
    return Seek(at) && std::fread(into, 1, bytes, file_) == bytes;
  }

 private:
  FILE* file_;
};

int32_t I32(const uint8_t* p) {
  return static_cast<int32_t>(uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
                              uint32_t{p[3]} << 24);
}

const ExrAttribute* Find(const std::vector<ExrAttribute>& attributes, const char* name,
                         const char* type, uint32_t size) {
  for (const ExrAttribute& a : attributes) {
    if (a.name == name && a.type == type && a.size == size) return &a;
  }
  return nullptr;
}

// Rows of a scanline chunk for each compression the format defines: none,
// RLE, ZIPS, ZIP, PIZ, PXR24, B44, B44A, DWAA, DWAB; 0 for another.
int64_t LinesPerChunk(uint8_t compression) {
  static constexpr int64_t kLines[] = {1, 1, 1, 16, 32, 16, 32, 32, 32, 256};
  return compression < std::size(kLines) ? kLines[compression] : 0;
}

// floor or ceil of log2(x), x >= 1.
int Log2(int64_t x, bool up) {
  int y = 0;
  int64_t p = 1;
  while (p * 2 <= x) p *= 2, ++y;
  return up && p < x ? y + 1 : y;
}

int64_t LevelSize(int64_t size, int level, bool up) {
  const int64_t d = int64_t{1} << level;
  return std::max<int64_t>(1, up ? (size + d - 1) / d : size / d);
}

// The offset table's length of a single-part file, from its kept header.
uint64_t ChunkCount(Walker& in, const ExrHeaderWalk& walk) {
  if (const ExrAttribute* a = Find(walk.kept, "chunkCount", "int", 4)) {
    uint8_t b[4];
    if (!in.Read(a->valueAt, b, 4) || I32(b) < 1) return 0;
    return static_cast<uint64_t>(I32(b));
  }
  const ExrAttribute* window = Find(walk.kept, "dataWindow", "box2i", 16);
  const ExrAttribute* compression = Find(walk.kept, "compression", "compression", 1);
  if (window == nullptr || compression == nullptr) return 0;
  uint8_t box[16], method = 0;
  if (!in.Read(window->valueAt, box, 16) || !in.Read(compression->valueAt, &method, 1)) return 0;
  const int64_t width = int64_t{I32(box + 8)} - I32(box) + 1;
  const int64_t height = int64_t{I32(box + 12)} - I32(box + 4) + 1;
  if (width < 1 || height < 1) return 0;
  if ((walk.versionField & kTiledFlag) == 0) {
    const int64_t lines = LinesPerChunk(method);
    return lines == 0 ? 0 : static_cast<uint64_t>((height + lines - 1) / lines);
  }
  const ExrAttribute* tiles = Find(walk.kept, "tiles", "tiledesc", 9);
  uint8_t t[9];
  if (tiles == nullptr || !in.Read(tiles->valueAt, t, 9)) return 0;
  const int64_t tileW = static_cast<uint32_t>(I32(t)), tileH = static_cast<uint32_t>(I32(t + 4));
  const int mode = t[8] & 0x0f;
  const bool up = (t[8] >> 4) != 0;
  if (tileW < 1 || tileH < 1 || mode > 2) return 0;
  const auto across = [&](int64_t size, int64_t tile) { return (size + tile - 1) / tile; };
  if (mode == 0) return static_cast<uint64_t>(across(width, tileW) * across(height, tileH));
  uint64_t count = 0;
  if (mode == 1) {
    const int levels = Log2(std::max(width, height), up) + 1;
    for (int l = 0; l < levels; ++l) {
      count += static_cast<uint64_t>(across(LevelSize(width, l, up), tileW) *
                                     across(LevelSize(height, l, up), tileH));
    }
    return count;
  }
  const int levelsX = Log2(width, up) + 1, levelsY = Log2(height, up) + 1;
  for (int ly = 0; ly < levelsY; ++ly) {
    for (int lx = 0; lx < levelsX; ++lx) {
      count += static_cast<uint64_t>(across(LevelSize(width, lx, up), tileW) *
                                     across(LevelSize(height, ly, up), tileH));
    }
  }
  return count;
}

std::string MiB(uint64_t bytes) {
  if (bytes < (1 << 20)) return std::to_string(bytes) + " bytes";
  return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MiB";
}

}  // namespace

ExrHeaderWalk WalkExrHeader(const std::string& path) {
  ExrHeaderWalk walk;
  std::unique_ptr<FILE, FileClose> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    walk.problem = std::strerror(errno);
    return walk;
  }
  Walker in(file.get());
  uint32_t magic = 0;
  if (!in.U32(magic) || !in.U32(walk.versionField)) {
    walk.problem = "an OpenEXR file whose header ends early";
    return walk;
  }
  const uint64_t fileSize = in.Size();
  const uint32_t flags = walk.versionField;
  const size_t nameLimit = (flags & kLongNamesFlag) != 0 ? 255 : 31;
  const bool multipart = (flags & kMultipartFlag) != 0;
  int parts = 0;
  std::string name, type;
  // Each value's declared size is held to what follows it in the file: the
  // library allocates that size before it reads.
  const auto readName = [&](std::string& into) {
    switch (in.Name(into, nameLimit)) {
      case NameRead::ok: return true;
      case NameRead::end: walk.problem = "an OpenEXR file whose header ends early"; break;
      case NameRead::tooLong:
        walk.problem =
            "an OpenEXR attribute name longer than " + std::to_string(nameLimit) + " characters";
        break;
    }
    return false;
  };
  for (;;) {
    ++parts;
    if (parts > kMaxExrPartsCounted) break;
    int attributes = 0;
    for (;;) {
      if (!readName(name)) return walk;
      if (name.empty()) break;  // the header's closing zero
      uint32_t size = 0;
      if (!readName(type)) return walk;
      if (!in.U32(size)) {
        walk.problem = "an OpenEXR file whose header ends early";
        return walk;
      }
      ExrAttribute a{name, type, size, in.Tell()};
      const int64_t declared = static_cast<int32_t>(size);
      const int64_t left = static_cast<int64_t>(fileSize) - static_cast<int64_t>(a.valueAt);
      if (declared < 0 || declared > left) {
        walk.problem = "the OpenEXR attribute '" + name + "' declares a value of " +
                       std::to_string(declared) + " bytes; 0 to the " + std::to_string(left) +
                       " bytes left in the file are possible";
        return walk;
      }
      if (!in.Seek(a.valueAt + size)) {
        walk.problem = "an OpenEXR file whose header ends early";
        return walk;
      }
      if (parts > 1) continue;
      ++attributes;
      const bool fits = size <= kMaxExrAttributeBytes && attributes <= kMaxExrAttributes &&
                        walk.keptBytes + size <= kMaxExrHeaderBytes;
      if (fits) {
        walk.keptBytes += size;
        walk.kept.push_back(std::move(a));
        continue;
      }
      if (NeededForPixels(name)) {
        walk.problem = "the OpenEXR attribute '" + name + "' (" + MiB(size) +
                       ") lies beyond what the command reads of a header: an attribute up to " +
                       MiB(kMaxExrAttributeBytes) + ", a header up to " +
                       std::to_string(kMaxExrAttributes) + " attributes and " +
                       MiB(kMaxExrHeaderBytes);
        return walk;
      }
      if (walk.dropped.size() < kDroppedNamed) walk.dropped.push_back(std::move(a));
      ++walk.droppedCount;
    }
    if (parts == 1) walk.headerEnd = in.Tell();
    // A multi-part file's headers end with an empty one.
    if (!multipart || in.Peek() == 0 || in.Peek() == EOF) break;
  }
  walk.parts = parts;
  if (multipart && parts == 1) {
    walk.headerEnd += 1;
    walk.multipart = true;
  }
  if (parts == 1 && walk.droppedCount > 0) {
    if ((flags & kDeepFlag) != 0) {
      walk.problem =
          "the OpenEXR file holds deep data, and its header's attributes exceed "
          "the limits the command reads";
      return walk;
    }
    walk.chunkCount = ChunkCount(in, walk);
    if (walk.chunkCount == 0) {
      walk.problem = "the OpenEXR header's data window, compression or tiles are not valid";
    }
  }
  return walk;
}

std::string KeptExrHeader(const std::string& path, const ExrHeaderWalk& walk) {
  std::unique_ptr<FILE, FileClose> file(std::fopen(path.c_str(), "rb"));
  if (!file) return {};
  Walker in(file.get());
  std::string head(8, '\0');
  if (!in.Read(0, head.data(), 8)) return {};
  for (const ExrAttribute& a : walk.kept) {
    head += a.name;
    head += '\0';
    head += a.type;
    head += '\0';
    for (int shift = 0; shift < 32; shift += 8) head += static_cast<char>(a.size >> shift);
    const size_t at = head.size();
    head.resize(at + a.size);
    if (!in.Read(a.valueAt, head.data() + at, a.size)) return {};
  }
  head += '\0';
  if (walk.multipart) head += '\0';  // the empty header that ends the list
  return head;
}

}  // namespace corvalin::cli
