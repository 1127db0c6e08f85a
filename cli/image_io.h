// Whole images in file units, for the tests and the demo's tools: four-channel
// RGBA samples of 8 or 16 bits. They read and write through the frame reader
// and writer (frame_io.h), as the command does.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli/formats.h"

namespace corvalin::cli {

struct Image {
  int32_t width = 0, height = 0;
  int bits = 8;                   // bits per sample: 8 or 16
  std::vector<uint16_t> samples;  // red, green, blue, alpha per pixel, row by row

  size_t index(int32_t x, int32_t y) const {
    return (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4;
  }
};

// Called with the header of a file being read (width, height and bits set, no
// samples) before any pixel memory is allocated; throws to refuse the file.
using HeaderCheck = std::function<void(const Image& header)>;

// Reads the first image of a file in file units: gray gives red = green =
// blue, a missing alpha is the largest sample value. Only 8 and 16-bit
// unsigned samples (float files go through FrameReader), and nothing but a
// regular file (a FIFO or a device would block or never end).
Image ReadImage(const std::string& path, const HeaderCheck& check = {});

// The opaque 8-bit image of a drawn picture: its `width`, `height` and the
// red, green and blue of at(x, y), as the demo's and benchmark's tools draw.
template <class Picture>
Image OpaqueImage8(const Picture& picture) {
  Image image;
  image.width = picture.width;
  image.height = picture.height;
  image.samples.reserve(static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4);
  for (int32_t y = 0; y < image.height; ++y) {
    for (int32_t x = 0; x < image.width; ++x) {
      const auto& p = picture.at(x, y);
      image.samples.insert(image.samples.end(), {p.red, p.green, p.blue, 255});
    }
  }
  return image;
}

// Writes RGBA with unassociated alpha to a temporary file beside `path` and
// renames it into place; on failure nothing is left behind. A CliError when
// the format cannot hold the image's bits (TGA holds 8, OpenEXR 16 as float).
void WriteImage(const std::string& path, const Image& image);

}  // namespace corvalin::cli
