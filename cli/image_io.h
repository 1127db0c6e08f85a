// Whole images in file units, for the tests and the demo's tools: four-channel
// RGBA samples of 8 or 16 bits. They read and write through the same codecs
// as the frame pipeline (frame_codec.h).
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace corvalin::cli {

// Every failure the command reports: the message names the file or option and
// the problem.
class CliError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Image {
  int32_t width = 0, height = 0;
  int bits = 8;                   // bits per sample: 8 or 16
  std::vector<uint16_t> samples;  // red, green, blue, alpha per pixel, row by row

  size_t index(int32_t x, int32_t y) const {
    return (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4;
  }
};

// Largest pixel count of a frame including row padding: a pixel index is a
// signed 32-bit integer.
inline constexpr int64_t kMaxFramePixels = 2147483647;

// Called with the header of a file being read (width, height and bits set, no
// samples) before any pixel memory is allocated; throws to refuse the file.
using HeaderCheck = std::function<void(const Image& header)>;

// Reads the first image of a file in file units: gray gives red = green =
// blue, a missing alpha is the largest sample value. Only 8 and 16-bit
// unsigned samples (float files go through FrameReader), and nothing but a
// regular file (a FIFO or a device would block or never end).
Image ReadImage(const std::string& path, const HeaderCheck& check = {});

// The output formats, chosen by extension.
enum class FileFormat { png, tiff, tga, exr };

// "PNG", "TIFF", "TGA", "OpenEXR"
const char* FormatName(FileFormat format);

// The format of `path` by its extension, or a CliError naming the supported
// extensions.
FileFormat FormatOfPath(const std::string& path);

// The format of `path`, or a CliError naming the supported extensions, or one
// saying the format cannot hold a render of `bits` per channel (TGA holds 8
// bits, OpenEXR the 16-bit render as float).
FileFormat OutputFormat(const std::string& path, int bits);

// Writes RGBA with unassociated alpha to a temporary file beside `path` and
// renames it into place; on failure nothing is left behind.
void WriteImage(const std::string& path, const Image& image);

}  // namespace corvalin::cli
