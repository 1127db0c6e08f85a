// The header of an OpenEXR file, walked before the library reads it. The
// library reads every part's header and every attribute whole, whatever
// their number and size, so a file of a thousand part headers or one of a
// 100 MiB attribute would cost memory far past the frame's. The walk seeks
// over attribute values and counts: parts up to kMaxExrPartsCounted, and
// attributes against the limits below; what it finds beyond them is
// refused (parts, an oversized attribute the pixels need) or left out of
// the header that the library is shown (every other attribute).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvalin::cli {

// Counting parts stops past this, as counting TIFF pages does.
inline constexpr int kMaxExrPartsCounted = 100;
// An attribute larger than this is not read: real ones are at most a few
// hundred kilobytes (a channel list of 1024 channels, a preview image).
inline constexpr uint32_t kMaxExrAttributeBytes = uint32_t{1} << 20;
// The attributes read of a header, in number and in bytes together: what
// the library is shown of a header costs at most this.
inline constexpr int kMaxExrAttributes = 1000;
inline constexpr uint64_t kMaxExrHeaderBytes = uint64_t{4} << 20;
// Attributes left out that a message names.
inline constexpr size_t kDroppedNamed = 3;

struct ExrAttribute {
  std::string name, type;
  uint32_t size = 0;
  uint64_t valueAt = 0;  // file offset of the value
};

struct ExrHeaderWalk {
  // Why the file cannot be read as one frame, naming the part or
  // attribute; empty when it can.
  std::string problem;
  int parts = 1;  // up to kMaxExrPartsCounted + 1
  // Of a single-part file: where its header ends (the offset table starts),
  // the attributes shown to the library and those left out, in file order.
  uint64_t headerEnd = 0;
  std::vector<ExrAttribute> kept;
  // How many were left out, and the first few of them, for the message.
  uint64_t droppedCount = 0;
  std::vector<ExrAttribute> dropped;
  uint32_t versionField = 0;
  bool multipart = false;  // a multi-part file of one part: its header list ends with an empty one
  // Entries of the offset table, known from the kept attributes; 0 when it
  // could not be worked out.
  uint64_t chunkCount = 0;
  // Bytes of the kept header: the memory its attributes take.
  uint64_t keptBytes = 0;
};

// Walks the header of the OpenEXR file `path` (its magic number checked by
// the caller). Every value's declared size is held to what follows it in
// the file, since the library allocates that size before it reads; a file
// it cannot walk (cut short, a size past the end) gets a problem naming the
// attribute.
ExrHeaderWalk WalkExrHeader(const std::string& path);

// The header bytes of `walk`'s kept attributes, from the version field to
// the header's closing zero: what the library is shown in place of the
// file's own header, when attributes were left out.
std::string KeptExrHeader(const std::string& path, const ExrHeaderWalk& walk);

}  // namespace corvalin::cli
