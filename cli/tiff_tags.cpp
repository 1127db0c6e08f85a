#include "cli/tiff_tags.h"

#include <sys/types.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <iterator>
#include <set>

#include "cli/colour_tags.h"

namespace corvalin::cli {

namespace {

constexpr uint16_t kIccProfileTag = 34675, kExifTag = 34665, kGpsTag = 34853;
constexpr size_t kDroppedNamed = 3;

// What reading the pixels needs: never shown empty.
bool NeededForPixels(uint16_t tag) {
  static constexpr uint16_t kNeeded[] = {
      254, 255,             // subfile types
      256, 257, 258, 259,   // sides, bits, compression
      262, 266, 273, 274,   // photometric, fill order, strips, orientation
      277, 278, 279,        // samples, rows per strip, strip sizes
      282, 283, 284, 296,   // resolution, planar configuration
      317, 320, 322, 323,   // predictor, colour map, tile sides
      324, 325, 330, 338,   // tiles, sub-directories, extra samples
      339, 347,             // sample format, JPEG tables
      529, 530, 531, 532};  // YCbCr
  return std::find(std::begin(kNeeded), std::end(kNeeded), tag) != std::end(kNeeded);
}

// The tags the pixels need that the reader takes whole, as many values as
// they state: strip and tile tables, the colour map, per-sample lists. Of
// the others it takes one value, whatever count they state.
bool IsNeededTable(uint16_t tag) {
  static constexpr uint16_t kTables[] = {258, 273, 279, 320, 324, 325, 330, 338, 339, 347};
  return std::find(std::begin(kTables), std::end(kTables), tag) != std::end(kTables);
}

const char* TagName(uint16_t tag) {
  switch (tag) {
    case 269: return "DocumentName";
    case 270: return "ImageDescription";
    case 271: return "Make";
    case 272: return "Model";
    case 273: return "StripOffsets";
    case 279: return "StripByteCounts";
    case 305: return "Software";
    case 315: return "Artist";
    case 320: return "ColorMap";
    case 324: return "TileOffsets";
    case 325: return "TileByteCounts";
    case 700: return "XMP";
    case 33432: return "Copyright";
    case 33723: return "IPTC";
    case 34377: return "Photoshop";
    case kIccProfileTag: return "ICC profile";
    case 37500: return "MakerNote";
    case 37510: return "UserComment";
    default: return nullptr;
  }
}

std::string Describe(uint16_t tag, uint64_t bytes) {
  const char* name = TagName(tag);
  const std::string size = bytes >= (1u << 20)
                               ? std::to_string((bytes + (1u << 20) - 1) >> 20) + " MiB"
                               : std::to_string(bytes) + " bytes";
  if (name == nullptr) return "tag " + std::to_string(tag) + " (" + size + ")";
  return std::string(name) + " tag (" + std::to_string(tag) + ", " + size + ")";
}

// Bytes of one value of a TIFF field type; 1 for BYTE, ASCII, SBYTE,
// UNDEFINED and types the format does not define.
uint64_t TypeBytes(uint16_t type) {
  static constexpr uint8_t kBytes[] = {1, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4, 1, 1, 8, 8, 8};
  return type < std::size(kBytes) ? kBytes[type] : 1;
}

struct FileClose {
  void operator()(FILE* f) const { std::fclose(f); }
};

class TiffReader {
 public:
  TiffReader(FILE* file, bool bigEndian) : file_(file), bigEndian_(bigEndian) {}
  bool Read(uint64_t at, uint8_t* into, size_t bytes) {
    return ::fseeko(file_, static_cast<off_t>(at), SEEK_SET) == 0 &&
           std::fread(into, 1, bytes, file_) == bytes;
  }
  uint64_t Value(const uint8_t* p, int bytes) const {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) {
      v |= uint64_t{p[bigEndian_ ? bytes - 1 - i : i]} << (8 * i);
    }
    return v;
  }
  void Put(std::string& out, uint64_t v, int bytes) const {
    for (int i = 0; i < bytes; ++i) {
      const int shift = 8 * (bigEndian_ ? bytes - 1 - i : i);
      out.push_back(static_cast<char>(v >> shift));
    }
  }

 private:
  FILE* file_;
  bool bigEndian_;
};

}  // namespace

TiffTagWalk WalkTiffTags(const std::string& path) {
  TiffTagWalk walk;
  std::unique_ptr<FILE, FileClose> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    walk.problem = std::strerror(errno);
    return walk;
  }
  uint8_t head[16] = {};
  if (std::fread(head, 1, 8, file.get()) != 8) return walk;  // the library says what is wrong
  const bool bigEndian = head[0] == 'M';
  TiffReader in(file.get(), bigEndian);
  const bool big = in.Value(head + 2, 2) == 43;
  if (big && !in.Read(0, head, 16)) return walk;
  const int offsetBytes = big ? 8 : 4;
  const int countBytes = big ? 8 : 2;
  const int entryBytes = big ? 20 : 12;
  std::vector<uint64_t> directories = {big ? in.Value(head + 8, 8) : in.Value(head + 4, 4)};
  std::set<uint64_t> seen;
  int pages = 0;
  for (size_t next = 0; next < directories.size(); ++next) {
    uint64_t at = directories[next];
    // The pages, then each page's Exif and GPS directories.
    while (at != 0 && seen.insert(at).second && pages < 3 * kMaxTiffDirectories) {
      ++pages;
      uint8_t countField[8];
      if (!in.Read(at, countField, static_cast<size_t>(countBytes))) break;
      const uint64_t entries = std::min<uint64_t>(in.Value(countField, countBytes), 65535);
      std::vector<uint8_t> table(static_cast<size_t>(entries) * static_cast<size_t>(entryBytes) +
                                 static_cast<size_t>(offsetBytes));
      if (!in.Read(at + static_cast<uint64_t>(countBytes), table.data(), table.size())) break;
      uint64_t directoryBytes = 0;
      for (uint64_t e = 0; e < entries; ++e) {
        const uint8_t* entry = table.data() + e * static_cast<uint64_t>(entryBytes);
        const auto tag = static_cast<uint16_t>(in.Value(entry, 2));
        const auto type = static_cast<uint16_t>(in.Value(entry + 2, 2));
        const uint64_t count = in.Value(entry + 4, big ? 8 : 4);
        const uint64_t unit = TypeBytes(type);
        const uint64_t bytes = count > UINT64_MAX / unit ? UINT64_MAX : count * unit;
        if ((tag == kExifTag || tag == kGpsTag) && count == 1) {
          directories.push_back(in.Value(entry + 4 + offsetBytes, offsetBytes));
        }
        if (bytes <= static_cast<uint64_t>(offsetBytes)) continue;  // held in the entry itself
        if (IsNeededTable(tag)) {
          if (bytes > kMaxTiffNeededTagBytes) {
            walk.problem = "the TIFF " + Describe(tag, bytes) + " is larger than the limit of " +
                           std::to_string(kMaxTiffNeededTagBytes >> 20) + " MiB";
            return walk;
          }
          walk.keptBytes += bytes;
          continue;
        }
        if (NeededForPixels(tag)) continue;
        const uint64_t limit = tag == kIccProfileTag ? kMaxIccProfileBytes : kMaxTiffTagBytes;
        if (bytes <= limit &&
            directoryBytes + bytes <= kMaxTiffTagsBytes + (tag == kIccProfileTag ? limit : 0)) {
          directoryBytes += bytes;
          walk.keptBytes += bytes;
          continue;
        }
        // An empty value of the tag's own type: no count, nothing read.
        FilePatch patch{
            at + static_cast<uint64_t>(countBytes) + e * static_cast<uint64_t>(entryBytes) + 4, {}};
        in.Put(patch.bytes, 0, big ? 8 : 4);
        walk.patches.push_back(std::move(patch));
        if (walk.dropped.size() < kDroppedNamed) walk.dropped.push_back(Describe(tag, bytes));
        ++walk.droppedCount;
      }
      at = in.Value(table.data() + entries * static_cast<uint64_t>(entryBytes), offsetBytes);
      if (next > 0) break;  // an Exif or GPS directory has no pages after it
    }
  }
  return walk;
}

}  // namespace corvalin::cli
