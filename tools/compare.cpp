// Puts images side by side, each enlarged by a whole factor with nearest
// neighbour so single pixels stay visible, for before/after comparisons.
// Usage: corvalin_compare OUTPUT.png SCALE IMAGE...
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "cli/image_io.h"

int main(int argc, char** argv) {
  using corvalin::cli::Image;
  int scale = 0;
  const std::string scaleText = argc > 2 ? argv[2] : "";
  std::from_chars(scaleText.data(), scaleText.data() + scaleText.size(), scale);
  if (argc < 4 || scale < 1 || scale > 16) {
    std::fprintf(stderr, "usage: corvalin_compare OUTPUT.png SCALE(1 to 16) IMAGE...\n");
    return 2;
  }
  try {
    std::vector<Image> images;
    for (int i = 3; i < argc; ++i) images.push_back(corvalin::cli::ReadImage(argv[i]));
    const int32_t gap = 2 * scale;
    Image sheet;
    sheet.bits = 8;
    for (const Image& im : images) {
      sheet.width += im.width * scale + gap;
      sheet.height = std::max(sheet.height, im.height * scale + 2 * gap);
    }
    sheet.width += gap;
    // A mid-grey frame around and between the pictures.
    sheet.samples.assign(static_cast<size_t>(sheet.width) * static_cast<size_t>(sheet.height) * 4,
                         128);
    int32_t left = gap;
    for (const Image& im : images) {
      const bool deep = im.bits == 16;  // 16-bit outputs shown at 8 bits
      for (int32_t y = 0; y < im.height * scale; ++y) {
        for (int32_t x = 0; x < im.width * scale; ++x) {
          const uint16_t* s = &im.samples[im.index(x / scale, y / scale)];
          uint16_t* d = &sheet.samples[sheet.index(left + x, gap + y)];
          for (int k = 0; k < 4; ++k)
            d[k] = deep ? static_cast<uint16_t>((s[k] * 255u + 32767u) / 65535u) : s[k];
        }
      }
      left += im.width * scale + gap;
    }
    corvalin::cli::WriteImage(argv[1], sheet);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "corvalin_compare: %s\n", e.what());
    return 1;
  }
  return 0;
}
