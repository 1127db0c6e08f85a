// Shared pieces of the command's tests: a scratch folder per test, PNG files
// of any colour type and bit depth written with libpng, and a way to run the
// built corvalin binary and collect its status and messages.
#pragma once

#include <gtest/gtest.h>
#include <png.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli/image_io.h"
#include "tests/support/test_images.h"

namespace corvalin::clitest {

namespace fs = std::filesystem;

// A fresh, empty folder for each test, removed afterwards.
class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / ("corvalin_cli_" + std::string(info->test_suite_name()) +
                                        "_" + info->name() + "_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  // Every file name in the folder, sorted: shows leftovers of failed writes.
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
};

// A whole file's bytes (none when it cannot be read), as a string or a
// vector of bytes.
template <class Bytes = std::string>
Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Replaces the file with `bytes`.
template <class Bytes>
void SaveBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

// A PNG with one row of packed samples per image row, exactly as the colour
// type and bit depth lay them out. Palette entries and tRNS are optional.
struct PngLayout {
  PngLayout() = default;
  PngLayout(int w, int h, int type, int depth, std::vector<png_color> entries = {},
            std::vector<png_byte> entryAlpha = {},
            std::optional<png_color_16> transparentColour = std::nullopt)
      : width(w), height(h), colourType(type), bitDepth(depth), palette(std::move(entries)),
        paletteAlpha(std::move(entryAlpha)), transparent(transparentColour) {}

  int width = 1, height = 1;
  int colourType = PNG_COLOR_TYPE_RGB;
  int bitDepth = 8;
  std::vector<png_color> palette;
  std::vector<png_byte> paletteAlpha;       // tRNS for palette images
  std::optional<png_color_16> transparent;  // tRNS for gray and RGB images
  bool interlaced = false;                  // Adam7
};

inline void WritePng(const std::string& path, const PngLayout& layout,
                     const std::vector<std::vector<uint8_t>>& rows) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(layout.width),
               static_cast<png_uint_32>(layout.height), layout.bitDepth, layout.colourType,
               layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!layout.palette.empty()) {
    png_set_PLTE(png, info, layout.palette.data(), static_cast<int>(layout.palette.size()));
  }
  if (!layout.paletteAlpha.empty()) {
    png_set_tRNS(png, info, layout.paletteAlpha.data(),
                 static_cast<int>(layout.paletteAlpha.size()), nullptr);
  }
  if (layout.transparent) {
    png_color_16 colour = *layout.transparent;
    png_set_tRNS(png, info, nullptr, 0, &colour);
  }
  png_write_info(png, info);
  const int passes = layout.interlaced ? png_set_interlace_handling(png) : 1;
  for (int pass = 0; pass < passes; ++pass) {
    for (const auto& row : rows) png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
}

// Big-endian 16-bit samples as PNG stores them.
inline std::vector<uint8_t> Be16(std::initializer_list<uint16_t> values) {
  std::vector<uint8_t> bytes;
  for (uint16_t v : values) {
    bytes.push_back(static_cast<uint8_t>(v >> 8));
    bytes.push_back(static_cast<uint8_t>(v & 0xFF));
  }
  return bytes;
}

// An image of one colour, in file units.
inline cli::Image FlatImage(int32_t w, int32_t h, int bits, uint16_t r, uint16_t g, uint16_t b,
                            uint16_t a) {
  cli::Image im;
  im.width = w;
  im.height = h;
  im.bits = bits;
  for (int32_t i = 0; i < w * h; ++i) im.samples.insert(im.samples.end(), {r, g, b, a});
  return im;
}

// A cel-like picture in file units: opaque flat regions, slopes, discs and
// one-pixel lines with dark outlines, so the smoothing steps all have work.
// The seed gives large areas of sun (FAC828), the command tests' key colour.
inline cli::Image CelImage(int32_t w, int32_t h, int bits) {
  using namespace test_images::colours;
  test_images::Scene scene;
  scene.palette = {paper, ink, sky, grass, sun, brick};
  scene.outlines = true;
  test_images::PaddedImage<test_images::Colour8> picture(w, h);
  test_images::DrawScene(picture.canvas(), 2, scene);
  const uint32_t full = bits == 16 ? 65535 : 255;
  auto scale = [full](uint8_t v) { return static_cast<uint16_t>(v * full / 255); };
  cli::Image im;
  im.width = w;
  im.height = h;
  im.bits = bits;
  for (const test_images::Colour8& c : picture.pixels)
    im.samples.insert(im.samples.end(),
                      {scale(c.red), scale(c.green), scale(c.blue), scale(c.alpha)});
  return im;
}

struct CommandResult {
  int status = -1;
  std::string output;  // stdout and stderr together
};

// Runs the built command with `args` (each quoted for the shell), after the
// shell commands `prelude` (a limit, say). Under the leak checker a known
// leak inside OpenImageIO is suppressed.
inline CommandResult RunCorvalin(const std::vector<std::string>& args,
                                 const std::string& prelude = "") {
  ::setenv("LSAN_OPTIONS", "print_suppressions=0:suppressions=" CORVALIN_LSAN_SUPPRESSIONS, 0);
  std::string command = prelude + "'" CORVALIN_CLI_PATH "'";
  for (const std::string& a : args) {
    std::string quoted;
    for (char c : a) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    command += " '" + quoted + "'";
  }
  command += " 2>&1";
  CommandResult result;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  const int raw = ::pclose(pipe);
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return result;
}

inline CommandResult RunRender(std::vector<std::string> args, const std::string& prelude = "") {
  args.insert(args.begin(), "render");
  return RunCorvalin(args, prelude);
}

}  // namespace corvalin::clitest
