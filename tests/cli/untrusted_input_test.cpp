// The built command against files made to break it, as a studio receiving
// outside material gets them: formats it does not document, names carrying
// reader options, geometry that overflows 32 bits, tiles and headers that
// ask for gigabytes, and PNG interlacing at its edge. Each hostile file fails
// with exit status 1, a message naming the reason, and no output.
#include <OpenImageIO/imageio.h>
#include <sys/resource.h>

#include <zlib.h>

#include <chrono>
#include <climits>
#include <csignal>
#include <thread>
#include <cstddef>
#include <fstream>
#include <map>

#include "cli/command.h"
#include "cli/frame_io.h"
#include "cli/frame_pattern.h"
#include "cli/stop_signal.h"
#include "cli_test_support.h"

namespace corvalin::clitest {
namespace {

using Bytes = std::vector<unsigned char>;

void Put(Bytes& b, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

// One IFD entry of a little-endian TIFF: SHORT (3), LONG (4) or RATIONAL (5,
// the values in numerator, denominator pairs).
struct TiffEntry {
  uint16_t type;
  std::vector<uint32_t> values;
};
using TiffTags = std::map<uint16_t, TiffEntry>;

// A TIFF of `data` right after the header and one IFD of `tags`; values
// longer than four bytes follow the IFD.
Bytes MakeTiff(const TiffTags& tags, const Bytes& data) {
  Bytes out = {'I', 'I', 42, 0};
  const uint32_t ifd = static_cast<uint32_t>(8 + data.size() + data.size() % 2);
  Put(out, ifd, 4);
  out.insert(out.end(), data.begin(), data.end());
  if (data.size() % 2 != 0) out.push_back(0);
  Bytes extra;
  const uint32_t extraAt = ifd + 2 + static_cast<uint32_t>(tags.size()) * 12 + 4;
  Put(out, static_cast<uint32_t>(tags.size()), 2);
  for (const auto& [tag, entry] : tags) {
    Bytes value;
    for (uint32_t v : entry.values) Put(value, v, entry.type == 3 ? 2 : 4);
    const size_t count = entry.type == 5 ? entry.values.size() / 2 : entry.values.size();
    Put(out, tag, 2);
    Put(out, entry.type, 2);
    Put(out, static_cast<uint32_t>(count), 4);
    if (value.size() <= 4) {
      value.resize(4, 0);
      out.insert(out.end(), value.begin(), value.end());
    } else {
      Put(out, extraAt + static_cast<uint32_t>(extra.size()), 4);
      extra.insert(extra.end(), value.begin(), value.end());
    }
  }
  Put(out, 0, 4);  // no next IFD
  out.insert(out.end(), extra.begin(), extra.end());
  return out;
}

// An 8-bit RGB TIFF of w x h in one strip, its samples 0, 1, 2, ...; `changes`
// replace or add tags.
Bytes RgbTiff(uint32_t w, uint32_t h, const TiffTags& changes = {}) {
  Bytes data(static_cast<size_t>(w) * h * 3);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i);
  TiffTags tags = {
      {256, {4, {w}}}, {257, {4, {h}}}, {258, {3, {8, 8, 8}}},
      {259, {3, {1}}}, {262, {3, {2}}}, {273, {4, {8}}},
      {277, {3, {3}}}, {278, {4, {h}}}, {279, {4, {static_cast<uint32_t>(data.size())}}},
      {284, {3, {1}}}};
  for (const auto& [tag, entry] : changes) tags[tag] = entry;
  return MakeTiff(tags, data);
}

// A 20 x 20 RGB TIFF in tiles of tileWidth x tileHeight, whose offsets all
// point at 1200 bytes of samples: the tiles claim far more than the file has.
Bytes TiledTiff(uint32_t tileWidth, uint32_t tileHeight) {
  const uint32_t across = (20 + tileWidth - 1) / tileWidth;
  const uint32_t down = static_cast<uint32_t>((20 + uint64_t{tileHeight} - 1) / tileHeight);
  TiffTags changes = {{322, {4, {tileWidth}}}, {323, {4, {tileHeight}}}};
  changes[324] = {4, std::vector<uint32_t>(across * down, 8)};
  changes[325] = {4, std::vector<uint32_t>(across * down, 1200)};
  return RgbTiff(20, 20, changes);
}

class CliUntrustedInput : public ScratchTest {
 protected:
  // The command on `input` fails with exit status `status`, `message` in its
  // output, and writes nothing: the folder holds what it held before.
  void ExpectRefused(const std::string& input, const std::string& message,
                     std::vector<std::string> extra = {}, int status = cli::kExitFailed) {
    ExpectRefusedSaying(input, {message}, std::move(extra), status);
  }
  void ExpectRefusedSaying(const std::string& input, const std::vector<std::string>& messages,
                           std::vector<std::string> extra = {}, int status = cli::kExitFailed) {
    SCOPED_TRACE(input);
    const std::vector<std::string> before = Files();
    std::vector<std::string> args = {Path(input), Path("out.png")};
    args.insert(args.end(), extra.begin(), extra.end());
    const CommandResult r = RunRender(args);
    EXPECT_EQ(r.status, status) << r.output;
    for (const std::string& message : messages) {
      EXPECT_NE(r.output.find(message), std::string::npos) << message << "\n" << r.output;
    }
    EXPECT_EQ(r.output.find("AddressSanitizer"), std::string::npos) << r.output;
    EXPECT_EQ(Files(), before);
  }

  static void ExpectChildrenStayedSmall() {
    // Every child so far stayed far below the gigabytes the headers claim
    // (ru_maxrss is in KiB).
    rusage usage{};
    ASSERT_EQ(::getrusage(RUSAGE_CHILDREN, &usage), 0);
    EXPECT_LT(usage.ru_maxrss, 1L << 20) << "peak KiB of a corvalin run";
  }
};

const std::string kNotOurs =
    "not a file of a format the command reads (PNG, TIFF, TGA or OpenEXR, named .png, .tif, "
    ".tiff, .tga or .exr)";

TEST_F(CliUntrustedInput, OnlyTheDocumentedFormatsChosenByContentAndName) {
  // A 171-byte ICO (one 4 x 4 32-bit image) named as a TIFF.
  Bytes ico = {0, 0, 1, 0, 1, 0, 4, 4, 0, 0, 1, 0, 32, 0};
  Put(ico, 171 - 22, 4);
  Put(ico, 22, 4);
  ico.resize(171, 0);
  SaveBytes(Path("icon.tif"), ico);
  // A BMP, a FITS and an RLA header, each under a name the command reads.
  Bytes bmp = {'B', 'M'};
  bmp.resize(70, 0);
  SaveBytes(Path("bitmap.png"), bmp);
  std::string fits = "SIMPLE  =                    T";
  fits.resize(2880, ' ');
  SaveBytes(Path("sky.exr"), Bytes(fits.begin(), fits.end()));
  Bytes rla(740, 0);
  rla[0] = 0, rla[2] = 0, rla[4] = 0, rla[6] = 3;  // a window of 4 x 4, "RLA" files have no magic
  SaveBytes(Path("render.tif"), rla);
  // DICOM: 128 bytes of preamble and "DICM".
  Bytes dicom(128, 0);
  dicom.insert(dicom.end(), {'D', 'I', 'C', 'M'});
  dicom.resize(1024, 0);
  SaveBytes(Path("scan.tga"), dicom);
  // A large sparse file of zeros named .tga: no TGA header, never read.
  { std::ofstream(Path("sparse.tga")); }
  fs::resize_file(Path("sparse.tga"), 20ull << 30);
  // OpenImageIO's pseudo file that describes its picture in its name.
  const std::string pseudo = "k.null?RES=3x3&TYPE=uint8&PIXEL=1,0,0,1";
  { std::ofstream(Path(pseudo)); }
  const std::string pseudoTif = "k.tif?RES=3x3&TYPE=uint8";
  SaveBytes(Path(pseudoTif), RgbTiff(3, 3));
  // Real files under another format's name.
  cli::WriteImage(Path("real.png"), FlatImage(3, 3, 8, 10, 20, 30, 255));
  fs::copy_file(Path("real.png"), Path("png_as.tif"));
  SaveBytes(Path("tiff_as.png"), RgbTiff(3, 3));
  SaveBytes(Path("tiff_as.exr"), RgbTiff(3, 3));
  fs::copy_file(Path("real.png"), Path("png_as.dpx"));

  ExpectRefused("icon.tif", "cannot read " + Path("icon.tif") + ": " + kNotOurs);
  ExpectRefused("bitmap.png", "cannot read " + Path("bitmap.png") + ": " + kNotOurs);
  ExpectRefused("sky.exr", "cannot read " + Path("sky.exr") + ": " + kNotOurs);
  ExpectRefused("render.tif", "cannot read " + Path("render.tif") + ": " + kNotOurs);
  const std::string noTga =
      "not a TGA file (its header holds no TGA image type, sides and depth); " + kNotOurs;
  ExpectRefused("scan.tga", "cannot read " + Path("scan.tga") + ": " + noTga);
  ExpectRefused("sparse.tga", "cannot read " + Path("sparse.tga") + ": " + noTga);
  ExpectRefused(pseudo, "cannot read " + Path(pseudo) + ": " + kNotOurs);
  ExpectRefused(pseudoTif,
                "cannot read " + Path(pseudoTif) + ": a TIFF file named '.tif?RES=3x3&TYPE=uint8'");
  ExpectRefused("png_as.tif", "cannot read " + Path("png_as.tif") +
                                  ": a PNG file named as TIFF ('.tif'); name it .png");
  ExpectRefused("tiff_as.png", "cannot read " + Path("tiff_as.png") +
                                   ": a TIFF file named as PNG ('.png'); name it .tif or .tiff");
  ExpectRefused("tiff_as.exr", "a TIFF file named as OpenEXR ('.exr'); name it .tif or .tiff");
  ExpectRefused("png_as.dpx",
                "a PNG file named '.dpx'; the command reads only PNG, TIFF, TGA or "
                "OpenEXR files named .png, .tif, .tiff, .tga or .exr, so name it .png");

  // Each documented format still reads, the extension in any case, and
  // the hand-made TIFF's samples arrive as stored.
  SaveBytes(Path("hand.TIF"), RgbTiff(3, 2));
  const cli::Image hand = cli::ReadImage(Path("hand.TIF"));
  ASSERT_EQ(hand.width, 3);
  ASSERT_EQ(hand.height, 2);
  for (int32_t y = 0; y < 2; ++y) {
    for (int32_t x = 0; x < 3; ++x) {
      const size_t at = hand.index(x, y);
      const auto first = static_cast<uint16_t>((y * 3 + x) * 3);
      EXPECT_EQ(hand.samples[at], first);
      EXPECT_EQ(hand.samples[at + 1], first + 1);
      EXPECT_EQ(hand.samples[at + 2], first + 2);
      EXPECT_EQ(hand.samples[at + 3], 255);
    }
  }
  cli::WriteImage(Path("real.tga"), FlatImage(3, 3, 8, 10, 20, 30, 255));
  cli::WriteImage(Path("real.exr"), FlatImage(3, 3, 16, 1000, 2000, 3000, 65535));
  for (const char* good : {"real.png", "hand.TIF", "real.tga", "real.exr"}) {
    SCOPED_TRACE(good);
    const CommandResult r = RunRender({Path(good), Path(std::string("out_") + good + ".png")});
    EXPECT_EQ(r.status, 0) << r.output;
  }
  EXPECT_EQ(cli::ReadImage(Path("real.tga")).samples, FlatImage(3, 3, 8, 10, 20, 30, 255).samples);
  ExpectChildrenStayedSmall();
}

TEST_F(CliUntrustedInput, GeometryFromTheFileIsCheckedIn64Bits) {
  // The data window's origin from the TIFF position tags (resolution 1):
  // y + height would pass 2^31.
  const TiffTags unitResolution = {{282, {5, {1, 1}}}, {283, {5, {1, 1}}}, {296, {3, {1}}}};
  TiffTags highY = unitResolution;
  highY[286] = {5, {0, 1}};
  highY[287] = {5, {2147483000u, 1}};
  SaveBytes(Path("ypos.tif"), RgbTiff(20, 20, highY));
  TiffTags farX = unitResolution;
  farX[286] = {5, {1073741900u, 1}};
  farX[287] = {5, {0, 1}};
  SaveBytes(Path("xpos.tif"), RgbTiff(20, 20, farX));
  // OpenEXR keeps its windows within 2^30 itself, but not its tiles.
  {
    OIIO::ImageSpec layout(4, 4, 4, OIIO::TypeDesc::HALF);
    layout.tile_width = 16;
    layout.tile_height = 4096;
    auto out = OIIO::ImageOutput::create(Path("window.exr"));
    ASSERT_TRUE(out && out->open(Path("window.exr"), layout)) << (out ? out->geterror() : "");
    std::vector<float> pixels(64, 0.5f);
    ASSERT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, pixels.data()));
    out->close();
  }
  // Tiles far taller than the image, and one of INT_MAX rows.
  SaveBytes(Path("tall_tiles.tif"), TiledTiff(16, 16777216));
  SaveBytes(Path("intmax_tiles.tif"), TiledTiff(16, INT_MAX));
  // A width beyond any frame, and a strip whose rows run past the end of
  // the file.
  SaveBytes(Path("wide.tif"), RgbTiff(20, 20, {{256, {4, {2000000}}}}));
  SaveBytes(Path("past_end.tif"), RgbTiff(20, 20, {{273, {4, {1000}}}}));

  const auto range = [](const std::string& what, const std::string& value, const std::string& lo,
                        const std::string& hi) {
    return what + " " + value + " is outside the valid range " + lo + " to " + hi;
  };
  // The reader turns the positions into origins through float: the values
  // come out rounded to a multiple of 128.
  const std::string originRange = " is outside the valid range -1073741824 to 1073741824";
  ExpectRefusedSaying(
      "ypos.tif",
      {"cannot read " + Path("ypos.tif") + ": the data window's y origin 21474", originRange});
  ExpectRefusedSaying(
      "xpos.tif",
      {"cannot read " + Path("xpos.tif") + ": the data window's x origin 10737", originRange});
  ExpectRefused("window.exr", "cannot read " + Path("window.exr") + ": " +
                                  range("the tile height", "4096", "1", "2048"));
  ExpectRefused("tall_tiles.tif", "cannot read " + Path("tall_tiles.tif") + ": " +
                                      range("the tile height", "16777216", "1", "2048"));
  ExpectRefused("intmax_tiles.tif", "cannot read " + Path("intmax_tiles.tif") + ": " +
                                        range("the tile height", "2147483647", "1", "2048"));
  ExpectRefused("wide.tif", "cannot read " + Path("wide.tif") + ": " +
                                range("the image's width", "2000000", "1", "1000000"));
  // libtiff's words: the strip is 1200 bytes, the file ends 340 bytes in.
  ExpectRefused("past_end.tif", "cannot read " + Path("past_end.tif") + ": Read error");
  ExpectChildrenStayedSmall();
}

// A PNG of `width` x `height` gray 16-bit pixels, all zero, Adam7
// interlaced, deflated a pass row at a time: a small file that decodes into
// gigabytes. Without `pixels` the data stream ends after a few rows: a
// header to plan by.
void WritePngBomb(const std::string& path, uint32_t width, uint32_t height, bool pixels = true) {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  const auto chunk = [&png](const char* type, const Bytes& data) {
    Bytes be;
    for (int i = 3; i >= 0; --i) be.push_back(static_cast<unsigned char>(data.size() >> (8 * i)));
    png.insert(png.end(), be.begin(), be.end());
    Bytes body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    png.insert(png.end(), body.begin(), body.end());
    const auto crc = static_cast<uint32_t>(::crc32(0, body.data(), static_cast<uInt>(body.size())));
    for (int i = 3; i >= 0; --i) png.push_back(static_cast<unsigned char>(crc >> (8 * i)));
  };
  Bytes ihdr;
  for (uint32_t v : {width, height})
    for (int i = 3; i >= 0; --i) ihdr.push_back(static_cast<unsigned char>(v >> (8 * i)));
  ihdr.insert(ihdr.end(), {16, 0, 0, 0, 1});  // 16-bit gray, Adam7
  chunk("IHDR", ihdr);
  z_stream z{};
  ASSERT_EQ(::deflateInit(&z, 1), Z_OK);
  constexpr uint32_t x0[7] = {0, 4, 0, 2, 0, 1, 0}, dx[7] = {8, 8, 4, 4, 2, 2, 1};
  constexpr uint32_t y0[7] = {0, 0, 4, 0, 2, 0, 1}, dy[7] = {8, 8, 8, 4, 4, 2, 2};
  Bytes idat, out(1 << 16);
  const auto feed = [&](Bytes& in, int flush) {
    z.next_in = in.data();
    z.avail_in = static_cast<uInt>(in.size());
    do {
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      ::deflate(&z, flush);
      idat.insert(idat.end(), out.begin(), out.end() - z.avail_out);
    } while (z.avail_out == 0);
  };
  for (int pass = 0; pass < 7; ++pass) {
    const uint32_t w = width > x0[pass] ? (width - x0[pass] + dx[pass] - 1) / dx[pass] : 0;
    const uint32_t h = height > y0[pass] ? (height - y0[pass] + dy[pass] - 1) / dy[pass] : 0;
    if (w == 0) continue;
    Bytes row(1 + static_cast<size_t>(w) * 2, 0);
    for (uint32_t y = 0; y < (pixels ? h : std::min(h, 4u)); ++y) feed(row, Z_NO_FLUSH);
  }
  Bytes none;
  feed(none, Z_FINISH);
  ::deflateEnd(&z);
  chunk("IDAT", idat);
  chunk("IEND", {});
  SaveBytes(path, png);
}

TEST_F(CliUntrustedInput, AReadErrorTheReaderLeavesOnRecordFailsTheFrame) {
  // A 4 x 10 TIFF of 252 channels whose strip holds a fraction of its bytes:
  // the TIFF reader returns success for the band, with the failed strip read
  // on record, and rows it never read.
  static const char kFile[] =
      "\x49\x49\x2a\x00\x08\x00\x00\x00\x0e\x00\x00\x01\x03\x00\x01\x00\x00\x00"
      "\x04\x00\x00\x00\x01\x01\x03\x00\x01\x00\x00\x00\x0a\x00\x00\x04\x00\x01"
      "\x03\x00\x04\x00\x00\x00\xb6\x00\x00\x00\x03\x01\x03\x00\x01\x00\x00\x00"
      "\x01\x00\x00\x00\x06\x01\x03\x00\x01\x4d\x65\x6d\x46\x72\x75\x65\x11\x01"
      "\x04\x00\x01\x00\x00\x00\xda\x00\x00\x00\x12\x01\x03\x00\x01\x00\x00\x00"
      "\x01\x00\x00\x00\x15\x01\x03\x00\x01\x00\x00\x00\xfc\x00\x00\x00\x16\x01"
      "\x03\x00\x01\x00\x00\x00\x20\x00\x06\x00\x00\x0a\x06\x00\x00\x00\x00\x00"
      "\x00\x00\x11\x11\x11\x11\x11\x11\x11\x11\x11\x11\x11\x11\x11\x11\x11\xbb"
      "\x65\x73\x73\x69\x6f\x6e\x00\xfc\xfc\xfc\xfc\xfc\xfc\xfc\xfc\xfc\xfc\xfc"
      "\xfc\xfc\xfc\xfc\xfc\xfc\xfc\xfc\xfc\xfc\xfc\xfc\xfc\xfc\xfc\xfc\x01\x00"
      "\x00\x30\x00\x52\x00\x00\x01\x64";
  std::ofstream(Path("short-strip.tif"), std::ios::binary).write(kFile, sizeof kFile - 1);
  ExpectRefused("short-strip.tif", "TIFFReadEncodedStrip failed", {"--depth", "16"});
}

TEST_F(CliUntrustedInput, OpenExrAttributesCannotDeclareMoreThanTheFileHolds) {
  // 337 bytes whose string attribute claims 1.6 GB: the library would
  // allocate it before finding the file ends.
  std::string exr = {'\x76', '\x2f', '\x31', '\x01', '\x02', '\0', '\0', '\0'};
  exr += std::string("comments") + '\0' + "string" + '\0';
  exr += std::string{'\x00', '\x00', '\x00', '\x63'};  // 0x63000000 = 1660944384
  exr += std::string(300, 'x');
  std::ofstream(Path("claims.exr"), std::ios::binary) << exr;
  ExpectRefused("claims.exr",
                "the OpenEXR attribute 'comments' declares a value of 1660944384 "
                "bytes; 0 to the 300 bytes left in the file are possible");
  // A header that ends inside an attribute name.
  std::ofstream(Path("cut.exr"), std::ios::binary) << exr.substr(0, 12);
  ExpectRefused("cut.exr", "an OpenEXR file whose header ends early");
  ExpectChildrenStayedSmall();
}

TEST_F(CliUntrustedInput, FrameMemoryIsLimitedFromTheHeader) {
  // 16000 x 16000, 16-bit, interlaced, zeros: about half a megabyte.
  WritePngBomb(Path("bomb.png"), 16000, 16000);
  ASSERT_LT(fs::file_size(Path("bomb.png")), 4u << 20);
  // Two worlds of 16000 x 16000 at 16 bits (8 bytes a pixel) and the whole
  // interlaced frame as 16-bit RGBA.
  const int64_t worlds = 2 * int64_t{16000} * 16000 * 8, whole = int64_t{16000} * 16000 * 8;
  const cli::FrameMemory need =
      cli::FrameReader(Path("bomb.png")).MemoryNeed(16, 0, cli::SampleKind::uint16);
  EXPECT_EQ(need.worlds, worlds);
  EXPECT_EQ(need.decoding, whole);
  EXPECT_EQ(need.total, worlds + whole);
  // The default lets it render (5860 MiB), a lowered limit refuses it
  // before any pixel memory exists.
  EXPECT_LE(need.total, cli::kDefaultMaxFrameMemory);
  ExpectRefused("bomb.png",
                Path("bomb.png") +
                    ": a frame of 16000 x 16000 pixels at 16 bits needs 5860 MiB "
                    "(3907 MiB for the input and output, 1954 MiB for decoding), "
                    "more than the limit of 1024 MiB per frame; raise it with "
                    "--max-frame-memory",
                {"--max-frame-memory", "1G"});
  // At 8 bits the 16-bit file is read through a band of scratch.
  ExpectRefused("bomb.png",
                "at 8 bits needs 3909 MiB (1954 MiB for the input and output, 1956 "
                "MiB for decoding), more than the limit of 2000 MiB",
                {"--max-frame-memory", "2000", "--depth", "8"});

  // The largest frame the default is sized for: 16384 x 16384 at 16 bits,
  // interlaced, the costliest PNG; its header alone is read.
  WritePngBomb(Path("largest.png"), 16384, 16384, false);
  const cli::FrameMemory largest =
      cli::FrameReader(Path("largest.png")).MemoryNeed(16, 0, cli::SampleKind::uint16);
  EXPECT_EQ(largest.total, int64_t{6144} << 20);
  EXPECT_LE(largest.total, cli::kDefaultMaxFrameMemory);
  // A float output adds its band to the scratch buffer, no more.
  EXPECT_LE(cli::FrameReader(Path("largest.png")).MemoryNeed(16, 0, cli::SampleKind::float32).total,
            cli::kDefaultMaxFrameMemory);

  // A small frame renders under a small limit; the option's values are checked.
  cli::WriteImage(Path("small.png"), CelImage(40, 30, 8));
  EXPECT_EQ(
      RunRender({Path("small.png"), Path("small_out.png"), "--max-frame-memory", "16M"}).status, 0);
  for (const char* bad : {"3T", "15", "-1G", "1025G", "G", "8GB"}) {
    SCOPED_TRACE(bad);
    const CommandResult r =
        RunRender({Path("small.png"), Path("x.png"), "--max-frame-memory", bad});
    EXPECT_EQ(r.status, cli::kExitUsage);
    EXPECT_NE(r.output.find("16 MiB to 1024 GiB"), std::string::npos) << r.output;
  }
  EXPECT_FALSE(fs::exists(Path("x.png")));
  ExpectChildrenStayedSmall();
}

TEST_F(CliUntrustedInput, AStopRequestEndsALongDecodeWithinItsRows) {
  // An interlaced frame is decoded whole inside the first band: the stop
  // must be heeded within the passes, not after them.
  WritePngBomb(Path("long.png"), 6000, 6000);
  cli::FrameBuffer<PF_Pixel16> world(6000, 6000, 0);
  std::vector<std::byte> scratch;
  using Clock = std::chrono::steady_clock;
  // A whole decode, timed the second time, when the world's pages exist.
  Clock::duration whole{};
  for (int run = 0; run < 2; ++run) {
    const Clock::time_point start = Clock::now();
    cli::FrameReader(Path("long.png")).ReadInto(world, scratch, AlphaConvention::straight, nullptr);
    whole = Clock::now() - start;
  }
  EXPECT_EQ(world.at(5999, 5999).alpha, 32768);  // opaque, in render units

  cli::FrameReader reader(Path("long.png"));
  Clock::time_point stoppedAt;
  std::thread stopper([&] {
    std::this_thread::sleep_for(whole / 10);
    stoppedAt = Clock::now();
    cli::RequestStop(SIGTERM);
  });
  bool stopped = false;
  try {
    reader.ReadInto(world, scratch, AlphaConvention::straight, nullptr);
  } catch (const cli::StopRequested&) {
    stopped = true;
  }
  const Clock::time_point endedAt = Clock::now();
  stopper.join();
  cli::ClearStopRequest();
  EXPECT_TRUE(stopped);
  EXPECT_LT(endedAt - stoppedAt, whole / 4)
      << std::chrono::duration<double>(whole).count() << " s for the whole decode";
}

TEST_F(CliUntrustedInput, HeightOneInterlacedPngsReadAsTheSamePictureStoredPlainly) {
  // Every colour type and depth, widths that leave passes 2, 4 and 6 empty
  // or not; the samples of pixel x are fixed functions of x.
  struct Type {
    int colourType, bitDepth;
  };
  const Type types[] = {{PNG_COLOR_TYPE_GRAY, 1},       {PNG_COLOR_TYPE_GRAY, 4},
                        {PNG_COLOR_TYPE_GRAY, 8},       {PNG_COLOR_TYPE_GRAY, 16},
                        {PNG_COLOR_TYPE_GRAY_ALPHA, 8}, {PNG_COLOR_TYPE_GRAY_ALPHA, 16},
                        {PNG_COLOR_TYPE_RGB, 8},        {PNG_COLOR_TYPE_RGB, 16},
                        {PNG_COLOR_TYPE_RGB_ALPHA, 8},  {PNG_COLOR_TYPE_RGB_ALPHA, 16},
                        {PNG_COLOR_TYPE_PALETTE, 2},    {PNG_COLOR_TYPE_PALETTE, 8}};
  const std::vector<png_color> palette = {{0, 0, 0}, {200, 10, 20}, {30, 220, 40}, {50, 60, 240}};
  const std::vector<png_byte> paletteAlpha = {255, 128, 0, 255};
  for (const Type& type : types) {
    for (int width : {1, 2, 3, 5, 9}) {
      SCOPED_TRACE("colour type " + std::to_string(type.colourType) + ", " +
                   std::to_string(type.bitDepth) + " bits, width " + std::to_string(width));
      const int top = (1 << type.bitDepth) - 1;
      // Sample value of channel c of pixel x, as stored.
      const auto sample = [&](int x, int c) { return (x * 37 + c * 101 + 11) % (top + 1); };
      std::vector<uint8_t> row;
      uint32_t bits = 0;
      int filled = 0;
      const bool palettised = type.colourType == PNG_COLOR_TYPE_PALETTE;
      const int channels = palettised                                     ? 1
                           : type.colourType == PNG_COLOR_TYPE_GRAY       ? 1
                           : type.colourType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                           : type.colourType == PNG_COLOR_TYPE_RGB        ? 3
                                                                          : 4;
      for (int x = 0; x < width; ++x) {
        for (int c = 0; c < channels; ++c) {
          const int v = palettised ? x % 4 : sample(x, c);
          if (type.bitDepth == 16) {
            row.push_back(static_cast<uint8_t>(v >> 8));
            row.push_back(static_cast<uint8_t>(v));
          } else {
            bits = bits << type.bitDepth | static_cast<uint32_t>(v);
            filled += type.bitDepth;
            if (filled == 8) row.push_back(static_cast<uint8_t>(bits)), bits = 0, filled = 0;
          }
        }
      }
      if (filled > 0) row.push_back(static_cast<uint8_t>(bits << (8 - filled)));
      PngLayout layout(width, 1, type.colourType, type.bitDepth);
      if (palettised) layout.palette = palette, layout.paletteAlpha = paletteAlpha;
      WritePng(Path("plain.png"), layout, {row});
      layout.interlaced = true;
      WritePng(Path("interlaced.png"), layout, {row});

      const cli::Image interlaced = cli::ReadImage(Path("interlaced.png"));
      const cli::Image plain = cli::ReadImage(Path("plain.png"));
      ASSERT_EQ(interlaced.width, width);
      ASSERT_EQ(interlaced.height, 1);
      EXPECT_EQ(interlaced.samples, plain.samples);
      // The values themselves: low depths widen by repeating their bits.
      const int bitsOut = type.bitDepth == 16 ? 16 : 8;
      ASSERT_EQ(interlaced.bits, bitsOut);
      const int full = (1 << bitsOut) - 1;
      const auto widen = [&](int v) { return palettised ? v : v * full / top; };
      for (int x = 0; x < width; ++x) {
        const size_t at = interlaced.index(x, 0);
        int expected[4];
        if (palettised) {
          const png_color& p = palette[static_cast<size_t>(x % 4)];
          expected[0] = p.red, expected[1] = p.green, expected[2] = p.blue;
          expected[3] = paletteAlpha[static_cast<size_t>(x % 4)];
        } else if (channels < 3) {
          expected[0] = expected[1] = expected[2] = widen(sample(x, 0));
          expected[3] = channels == 2 ? widen(sample(x, 1)) : full;
        } else {
          for (int c = 0; c < 3; ++c) expected[c] = widen(sample(x, c));
          expected[3] = channels == 4 ? widen(sample(x, 3)) : full;
        }
        for (int c = 0; c < 4; ++c)
          EXPECT_EQ(interlaced.samples[at + static_cast<size_t>(c)], expected[c]) << x << " " << c;
      }
    }
  }

  // Through the whole command: the same output file, byte for byte.
  PngLayout rgb(7, 1, PNG_COLOR_TYPE_RGB, 8);
  std::vector<uint8_t> row;
  for (int x = 0; x < 7; ++x) row.insert(row.end(), {static_cast<uint8_t>(x * 30), 90, 200});
  WritePng(Path("plain.png"), rgb, {row});
  rgb.interlaced = true;
  WritePng(Path("interlaced.png"), rgb, {row});
  ASSERT_EQ(RunRender({Path("interlaced.png"), Path("out_interlaced.png")}).status, 0);
  ASSERT_EQ(RunRender({Path("plain.png"), Path("out_plain.png")}).status, 0);
  std::ifstream a(Path("out_interlaced.png"), std::ios::binary),
      b(Path("out_plain.png"), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(a), {}),
            std::string(std::istreambuf_iterator<char>(b), {}));
}

TEST_F(CliUntrustedInput, FramePatternWidthsAreBounded) {
  using cli::FindFramePattern;
  EXPECT_EQ(FindFramePattern("o_%01d.png")->digits, 1);
  EXPECT_EQ(FindFramePattern("o_%018d.png")->digits, 18);
  EXPECT_EQ(FindFramePattern("o_%018d.png")->Expand(7), "o_000000000000000007.png");
  // Wider fields, and one whose width wraps a 32-bit integer to 4.
  for (const std::string width : {"19", "00", "4294967300", "99999999999999999999999"}) {
    SCOPED_TRACE(width);
    try {
      FindFramePattern("o_%0" + width + "d.png");
      ADD_FAILURE() << "accepted";
    } catch (const cli::CliError& e) {
      EXPECT_EQ(std::string(e.what()), "o_%0" + width + "d.png: the frame field '%0" + width +
                                           "d' has a width of " + width +
                                           " digits; the width must be 1 to 18");
    }
  }
  // Not fields at all: plain text in a still's name.
  EXPECT_FALSE(FindFramePattern("o_%0.png"));
  EXPECT_FALSE(FindFramePattern("o_%04x.png"));

  cli::WriteImage(Path("in.png"), FlatImage(3, 3, 8, 10, 20, 30, 255));
  const CommandResult r = RunRender({Path("in.png"), Path("o_%04294967300d.png"), "--frames", "1"});
  EXPECT_EQ(r.status, cli::kExitUsage) << r.output;
  EXPECT_NE(r.output.find("the width must be 1 to 18"), std::string::npos) << r.output;
  EXPECT_EQ(Files(), std::vector<std::string>{"in.png"});
  // A thousand '#' are refused as the command line is read, not at the first write.
  const std::string output = Path("o_" + std::string(1000, '#') + ".png");
  const CommandResult hashes = RunRender({Path("in.png"), output, "--frames", "1"});
  EXPECT_EQ(hashes.status, cli::kExitUsage);
  EXPECT_EQ(hashes.output, "corvalin: error: " + output + ": the frame field '" +
                               std::string(16, '#') +
                               "...' has a width of 1000 digits; the width must be 1 to 18\n");
  EXPECT_EQ(Files(), std::vector<std::string>{"in.png"});
}

}  // namespace
}  // namespace corvalin::clitest
