// The tags of a TIFF file, sized before the library reads them. libtiff
// reads every tag of a directory whole when it opens it (and OpenImageIO
// copies each), so a file with a 100 MiB description takes hundreds of
// megabytes. The walk reads the directories the reader opens (the pages it
// counts, their Exif and GPS directories) and sizes each tag: one the
// pixels need past kMaxTiffNeededTagBytes refuses the file, naming it;
// any other past its limit is shown to the library as an empty value of
// its own type, so that it costs nothing, and the frame renders.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvalin::cli {

// A tag the output does not need is read up to this (an ICC profile up to
// kMaxIccProfileBytes), and the tags of a directory up to kMaxTiffTagsBytes
// together.
inline constexpr uint64_t kMaxTiffTagBytes = uint64_t{1} << 20;
inline constexpr uint64_t kMaxTiffTagsBytes = uint64_t{4} << 20;
// The strip and tile tables of a frame of a million rows stay well within.
inline constexpr uint64_t kMaxTiffNeededTagBytes = uint64_t{64} << 20;
// Pages walked: the pages the reader counts, and one more (with their Exif
// and GPS directories).
inline constexpr int kMaxTiffDirectories = 101;

// Bytes that replace the file's own at `at` where the library reads them.
struct FilePatch {
  uint64_t at = 0;
  std::string bytes;
};

struct TiffTagWalk {
  std::string problem;  // why the file cannot be read, naming the tag; or empty
  std::vector<FilePatch> patches;
  uint64_t droppedCount = 0;
  std::vector<std::string> dropped;  // the first few: "ImageDescription (100 MiB)"
  uint64_t keptBytes = 0;            // the tags read, out of line
};

TiffTagWalk WalkTiffTags(const std::string& path);

}  // namespace corvalin::cli
