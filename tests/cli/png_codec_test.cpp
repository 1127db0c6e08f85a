// PNG frames through the command's own codec, checked against libpng: what
// it writes, libpng reads back sample for sample as PNG stores them, and
// what libpng writes (interlaced included) it reads exactly.
#include <png.h>

#include <filesystem>

#include "cli/frame_io.h"
#include "cli_test_support.h"

namespace corvalin::clitest {
namespace {

namespace fs = std::filesystem;

struct StoredPng {
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colourType = 0, interlace = 0;
  std::vector<std::vector<uint8_t>> rows;  // as stored: 16-bit samples big-endian
};

StoredPng ReadStoredPng(const std::string& path) {
  StoredPng stored;
  FILE* f = std::fopen(path.c_str(), "rb");
  EXPECT_NE(f, nullptr) << path;
  if (f == nullptr) return stored;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_read_info(png, info);
  png_get_IHDR(png, info, &stored.width, &stored.height, &stored.bitDepth, &stored.colourType,
               &stored.interlace, nullptr, nullptr);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  stored.rows.assign(stored.height, std::vector<uint8_t>(png_get_rowbytes(png, info)));
  std::vector<png_bytep> pointers;
  for (auto& row : stored.rows) pointers.push_back(row.data());
  png_read_image(png, pointers.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  return stored;
}

class CliPngCodec : public ScratchTest {};

TEST_F(CliPngCodec, WritesRgbaThatLibpngReadsBackAtEveryLevel) {
  // Samples whose two bytes differ, so that a 16-bit file stored in the
  // wrong byte order cannot read back right.
  const std::vector<uint16_t> deep = {0x1234, 0xFF00, 0x00FF, 0x8001, 0x0102, 0xFEDC,
                                      0x0000, 0xFFFF, 0xA55A, 0x5AA5, 0x7FFF, 0x8000};
  const std::vector<uint8_t> shallow = {0x12, 0xFF, 0x00, 0x80, 0x01, 0xFE,
                                        0x7F, 0x81, 0xA5, 0x5A, 0x33, 0xCC};
  for (const char* level : {"0", "2", "9"}) {
    for (const int bits : {8, 16}) {
      SCOPED_TRACE(std::string("level ") + level + ", " + std::to_string(bits) + " bits");
      const std::string path = Path(std::string("w") + level + "_" + std::to_string(bits) + ".png");
      cli::OutputLayout layout;
      layout.kind = bits == 16 ? cli::SampleKind::uint16 : cli::SampleKind::uint8;
      layout.compression = level;
      {
        // Three pixels wide, one row at a time, then the last row alone.
        cli::FrameWriter writer(path, 3, 2, layout);
        if (bits == 16) {
          writer.WriteRows(0, 1, deep.data(), 24);
          writer.WriteRows(1, 2, deep.data(), 24);
        } else {
          writer.WriteRows(0, 2, shallow.data(), 0);
        }
        writer.Finish();
      }
      const StoredPng stored = ReadStoredPng(path);
      EXPECT_EQ(stored.width, 3u);
      EXPECT_EQ(stored.height, 2u);
      EXPECT_EQ(stored.bitDepth, bits);
      EXPECT_EQ(stored.colourType, PNG_COLOR_TYPE_RGB_ALPHA);
      EXPECT_EQ(stored.interlace, PNG_INTERLACE_NONE);
      std::vector<uint8_t> row;
      if (bits == 16) {
        for (uint16_t v : deep)
          row.insert(row.end(), {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
      } else {
        row = shallow;
      }
      for (const auto& r : stored.rows) EXPECT_EQ(r, row);
    }
  }
}

TEST_F(CliPngCodec, LevelZeroStoresAndHigherLevelsCompress) {
  const cli::Image flat = FlatImage(200, 100, 8, 10, 20, 30, 255);
  std::vector<uint8_t> bytes(flat.samples.begin(), flat.samples.end());
  std::uintmax_t sizes[2] = {};
  for (const int level : {0, 6}) {
    cli::OutputLayout layout;
    layout.compression = std::to_string(level);
    const std::string path = Path("flat" + std::to_string(level) + ".png");
    cli::FrameWriter writer(path, 200, 100, layout);
    writer.WriteRows(0, 100, bytes.data(), 800);
    writer.Finish();
    sizes[level == 0 ? 0 : 1] = fs::file_size(path);
    EXPECT_EQ(cli::ReadImage(path).samples, flat.samples);
  }
  EXPECT_GT(sizes[0], 100u * 801u);  // every row byte, filter bytes included
  EXPECT_LT(sizes[1], 2000u);
}

TEST_F(CliPngCodec, InterlacedFilesReadExactly) {
  // Odd sizes, so that every one of the seven passes has pixels and the
  // last ones are partial.
  PngLayout rgba(11, 9, PNG_COLOR_TYPE_RGB_ALPHA, 8);
  rgba.interlaced = true;
  std::vector<std::vector<uint8_t>> rows;
  for (int y = 0; y < 9; ++y) {
    std::vector<uint8_t> row;
    for (int x = 0; x < 11; ++x) {
      row.insert(row.end(), {static_cast<uint8_t>(x * 23), static_cast<uint8_t>(y * 28),
                             static_cast<uint8_t>(x * y), static_cast<uint8_t>(255 - x - y)});
    }
    rows.push_back(row);
  }
  WritePng(Path("interlaced.png"), rgba, rows);
  ASSERT_EQ(ReadStoredPng(Path("interlaced.png")).interlace, PNG_INTERLACE_ADAM7);
  const cli::Image image = cli::ReadImage(Path("interlaced.png"));
  ASSERT_EQ(image.bits, 8);
  for (int y = 0; y < 9; ++y) {
    for (int x = 0; x < 11; ++x) {
      const size_t i = image.index(x, y);
      EXPECT_EQ(image.samples[i], x * 23);
      EXPECT_EQ(image.samples[i + 1], y * 28);
      EXPECT_EQ(image.samples[i + 2], x * y);
      EXPECT_EQ(image.samples[i + 3], 255 - x - y) << x << "," << y;
    }
  }

  PngLayout gray(5, 7, PNG_COLOR_TYPE_GRAY, 16);
  gray.interlaced = true;
  std::vector<std::vector<uint8_t>> grayRows;
  for (int y = 0; y < 7; ++y) {
    grayRows.push_back(Be16({static_cast<uint16_t>(0x0101 * y), 0x1234, 0xFEDC,
                             static_cast<uint16_t>(0x1000 + y), 65535}));
  }
  WritePng(Path("gray16.png"), gray, grayRows);
  const cli::Image deep = cli::ReadImage(Path("gray16.png"));
  ASSERT_EQ(deep.bits, 16);
  for (int y = 0; y < 7; ++y) {
    const uint16_t expected[5] = {static_cast<uint16_t>(0x0101 * y), 0x1234, 0xFEDC,
                                  static_cast<uint16_t>(0x1000 + y), 65535};
    for (int x = 0; x < 5; ++x) {
      const size_t i = deep.index(x, y);
      EXPECT_EQ(deep.samples[i], expected[x]);
      EXPECT_EQ(deep.samples[i + 2], expected[x]);
      EXPECT_EQ(deep.samples[i + 3], 65535);
    }
  }

  // The command renders an interlaced frame as it renders the same frame
  // stored plainly.
  PngLayout plain = rgba;
  plain.interlaced = false;
  WritePng(Path("plain.png"), plain, rows);
  ASSERT_EQ(RunRender({Path("interlaced.png"), Path("out_interlaced.png")}).status, 0);
  ASSERT_EQ(RunRender({Path("plain.png"), Path("out_plain.png")}).status, 0);
  EXPECT_EQ(cli::ReadImage(Path("out_interlaced.png")).samples,
            cli::ReadImage(Path("out_plain.png")).samples);
}

}  // namespace
}  // namespace corvalin::clitest
