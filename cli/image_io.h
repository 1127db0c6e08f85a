// Reading and writing image files through OpenImageIO. Images travel as
// four-channel RGBA samples in file units (8 or 16 bits).
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

// Reads the first image of a file: gray gives red = green = blue, a missing
// alpha is the largest sample value. Float and other sample types, and
// anything but a regular file (a FIFO or a device would block or never end),
// are refused.
Image ReadImage(const std::string& path, const HeaderCheck& check = {});

// The output formats, chosen by extension.
enum class FileFormat { png, tiff, tga };

// The format of `path`, or a CliError naming the supported extensions, or one
// saying the format cannot hold `bits` per channel.
FileFormat OutputFormat(const std::string& path, int bits);

// Writes RGBA with unassociated alpha to a temporary file beside `path` and
// renames it into place; on failure nothing is left behind.
void WriteImage(const std::string& path, const Image& image);

// Makes SIGINT, SIGTERM and SIGHUP remove the temporary files of writes in
// progress before the process ends.
void RemoveTempFilesOnSignals();

}  // namespace corvalin::cli
