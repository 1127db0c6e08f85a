// Metadata made to cost memory or to refuse a frame: thousands of text
// chunks, text that inflates to tens of megabytes, animated PNGs, OpenEXR
// files of thousands of part headers or of 100 MiB attributes, TIFF tags of
// 100 MiB. The pixels render (or the file is refused for what the pixels
// need, saying why), a warning names what was left out, and no run takes
// more than a small amount of memory.
#include <OpenImageIO/imageio.h>
#include <zlib.h>

#include <cstring>
#include <fstream>

#include "cli/command.h"
#include "cli_test_support.h"

namespace corvalin::clitest {
namespace {

using Bytes = std::string;

Bytes Be32(uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }

Bytes Le32(uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

Bytes Chunk(const std::string& type, const Bytes& data) {
  const Bytes body = type + data;
  const auto crc = static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())));
  return Be32(static_cast<uint32_t>(data.size())) + body + Be32(crc);
}

Bytes Deflated(const Bytes& data) {
  Bytes packed(compressBound(data.size()), '\0');
  uLongf size = packed.size();
  compress(reinterpret_cast<Bytef*>(packed.data()), &size,
           reinterpret_cast<const Bytef*>(data.data()), data.size());
  packed.resize(size);
  return packed;
}

// A 6 x 4 RGBA PNG of a red and blue staircase, `before` its image data
// and `after` it.
Bytes StairPng(const Bytes& before = {}, const Bytes& after = {}) {
  Bytes rows;
  for (int y = 0; y < 4; ++y) {
    rows += '\0';
    for (int x = 0; x < 6; ++x)
      rows += x > y ? Bytes{'\xc8', '\x0a', '\x0a', '\xff'} : Bytes{'\x0a', '\x0a', '\xc8', '\xff'};
  }
  const Bytes ihdr = Be32(6) + Be32(4) + Bytes{8, 6, 0, 0, 0};
  return Bytes("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", ihdr) + before +
         Chunk("IDAT", Deflated(rows)) + after + Chunk("IEND", {});
}

struct MeasuredRun {
  int status = -1;
  std::string output;
  long peakKiB = 0;
};

// The built command under /usr/bin/time, which reports the peak memory of
// the command alone: a child's own count would start from this test's.
MeasuredRun RunMeasured(const std::vector<std::string>& args) {
  const CommandResult r = RunRender(args, "/usr/bin/time -f 'peak KiB %M' ");
  MeasuredRun run{r.status, r.output, 0};
  const size_t at = r.output.rfind("peak KiB ");
  EXPECT_NE(at, std::string::npos) << r.output;
  if (at != std::string::npos) run.peakKiB = std::stol(r.output.substr(at + 9));
  return run;
}

class CliHostileMetadata : public ScratchTest {
 protected:
  // Renders `input` to `output`; the run's status, messages and memory.
  MeasuredRun Render(const std::string& input, const std::string& output,
                     std::vector<std::string> more = {}) {
    std::vector<std::string> args = {Path(input), Path(output)};
    args.insert(args.end(), more.begin(), more.end());
    MeasuredRun run = RunMeasured(args);
#ifndef CORVALIN_TEST_SANITIZED
    // A run of these small frames takes some 140 MiB with the codec module
    // loaded; what the files declare would take gigabytes.
    EXPECT_LT(run.peakKiB, 256 * 1024) << input << " took " << run.peakKiB << " KiB";
#endif
    return run;
  }
  void ExpectSaid(const MeasuredRun& run, const std::string& text) {
    EXPECT_NE(run.output.find(text), std::string::npos) << text << "\n" << run.output;
  }
};

// What the command never uses or carries cannot refuse a frame, wherever it
// stands and whatever its size: the frame renders as the clean file does.
TEST_F(CliHostileMetadata, PngTextAndUnknownChunksAreNeverFatal) {
  SaveBytes(Path("clean.png"), StairPng());
  ASSERT_EQ(Render("clean.png", "clean_out.png").status, 0);
  Bytes texts;
  for (int i = 0; i < 1500; ++i)
    texts += Chunk("tEXt", "Comment" + Bytes(1, '\0') + std::to_string(i));
  const Bytes inflating =
      Chunk("zTXt", "Comment" + Bytes(2, '\0') + Deflated(Bytes(40 << 20, 'a')));
  const Bytes unknown = Chunk("prVt", Bytes(3 << 20, 'u'));
  const std::pair<const char*, Bytes> cases[] = {
      {"texts.png", StairPng(texts)},
      {"inflating.png", StairPng(inflating)},
      {"after.png", StairPng({}, texts + inflating)},
      {"unknown.png", StairPng(unknown + Chunk("tIME", Bytes(7, '\0')))},
  };
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    SaveBytes(Path(name), bytes);
    const MeasuredRun run = Render(name, std::string(name) + ".out.png");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.find("warning"), std::string::npos) << run.output;
    EXPECT_EQ(ReadBytes(Path(std::string(name) + ".out.png")), ReadBytes(Path("clean_out.png")));
  }
  // A profile past its limit is left out, and the user told so.
  const Bytes huge = Chunk("iCCP", "P" + Bytes(2, '\0') + Deflated(Bytes(20 << 20, 'p')));
  SaveBytes(Path("profile.png"), StairPng(huge));
  const MeasuredRun run = Render("profile.png", "profile_out.png");
  EXPECT_EQ(run.status, 0) << run.output;
  ExpectSaid(run,
             "warning: " + Path("profile.png") +
                 ": the iCCP chunk is not carried: its profile inflates past the limit of 16 MiB");
  EXPECT_EQ(ReadBytes(Path("profile_out.png")), ReadBytes(Path("clean_out.png")));
}

// An animation is refused as other files of several images are, with its
// frame count and the way to frames; its default image alone is not it.
TEST_F(CliHostileMetadata, AnimatedPngsAreRefusedNotCutToOneImage) {
  const Bytes frameControl =
      Chunk("fcTL", Be32(0) + Be32(6) + Be32(4) + Be32(0) + Be32(0) + Bytes{0, 1, 0, 10, 0, 0});
  const Bytes frameData = Chunk("fdAT", Be32(2) + Deflated(Bytes(10, '\0')));
  const struct {
    const char* name;
    Bytes file;
    const char* says;
  } cases[] = {
      {"three.png",
       StairPng(Chunk("acTL", Be32(3) + Be32(0)) + frameControl, frameControl + frameData),
       "an animated PNG of 3 frames (acTL chunk);"},
      {"hidden.png", StairPng(Chunk("acTL", Be32(2) + Be32(0)), frameControl + frameData),
       "an animated PNG of 2 frames (acTL chunk), whose default image is not one of them;"},
      {"claims.png", StairPng(Chunk("acTL", Be32(0x7fffffff) + Be32(0)) + frameControl),
       "an animated PNG of 2147483647 frames (acTL chunk);"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SaveBytes(Path(c.name), c.file);
    const MeasuredRun run = Render(c.name, "out.png");
    EXPECT_EQ(run.status, cli::kExitFailed) << run.output;
    ExpectSaid(run, "cannot read " + Path(c.name) + ": " + c.says);
    ExpectSaid(run, "split it into frames with ffmpeg (ffmpeg -i " + Path(c.name) +
                        " -fps_mode passthrough frame.%04d.png)");
    EXPECT_FALSE(fs::exists(Path("out.png")));
  }
  // One frame that is the default image is the file itself.
  SaveBytes(Path("one.png"), StairPng(Chunk("acTL", Be32(1) + Be32(0)) + frameControl));
  SaveBytes(Path("clean.png"), StairPng());
  ASSERT_EQ(Render("one.png", "one_out.png").status, 0);
  ASSERT_EQ(Render("clean.png", "clean_out.png").status, 0);
  EXPECT_EQ(ReadBytes(Path("one_out.png")), ReadBytes(Path("clean_out.png")));
}

// An OpenEXR attribute as the format stores it.
Bytes ExrAttribute(const std::string& name, const std::string& type, const Bytes& value) {
  return name + '\0' + type + '\0' + Le32(static_cast<uint32_t>(value.size())) + value;
}

// An attribute of `size` bytes of `fill`, written a block at a time: the
// test's own memory stays small.
struct BigAttribute {
  std::string name, type;
  size_t size;
  char fill;
};

// `attributes` put into the header of the single-part OpenEXR file `path`,
// before its closing zero, and each of its `chunks` offsets moved to match.
void InsertIntoExrHeader(const std::string& path, const Bytes& small,
                         const std::vector<BigAttribute>& big, size_t chunks) {
  Bytes file = ReadBytes(path);
  size_t at = 8;
  while (file[at] != '\0') {
    const size_t typeAt = file.find('\0', at) + 1, sizeAt = file.find('\0', typeAt) + 1;
    uint32_t size = 0;
    std::memcpy(&size, file.data() + sizeAt, 4);
    at = sizeAt + 4 + size;
  }
  uint64_t added = small.size();
  for (const BigAttribute& a : big) added += a.name.size() + a.type.size() + 6 + a.size;
  const size_t table = at + 1;
  for (size_t i = 0; i < chunks; ++i) {
    uint64_t offset = 0;
    std::memcpy(&offset, file.data() + table + 8 * i, 8);
    offset += added;
    std::memcpy(file.data() + table + 8 * i, &offset, 8);
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(file.data(), static_cast<std::streamsize>(at)) << small;
  for (const BigAttribute& a : big) {
    out << a.name << '\0' << a.type << '\0' << Le32(static_cast<uint32_t>(a.size));
    const Bytes block(1 << 20, a.fill);
    for (size_t left = a.size; left > 0; left -= std::min(left, block.size())) {
      out.write(block.data(), static_cast<std::streamsize>(std::min(left, block.size())));
    }
  }
  out.write(file.data() + at, static_cast<std::streamsize>(file.size() - at));
}

// A 16 x 12 checker of half samples, scanline or in 8 x 8 tiles.
void WriteExr(const std::string& path, bool tiled) {
  OIIO::ImageSpec layout(16, 12, 4, OIIO::TypeDesc::HALF);
  layout.attribute("compression", "none");
  if (tiled) layout.tile_width = layout.tile_height = 8;
  std::vector<float> pixels(16 * 12 * 4);
  for (size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = ((i / 4 + i / 64) % 2 == 0) == (i % 4 != 1) ? 1.0f : 0.0f;
  auto out = OIIO::ImageOutput::create(path);
  ASSERT_TRUE(out && out->open(path, layout) &&
              out->write_image(OIIO::TypeDesc::FLOAT, pixels.data()) && out->close());
}

// Attributes past the limits are left out of the header the library reads,
// and the frame renders as it does without them.
TEST_F(CliHostileMetadata, OversizedOpenExrAttributesAreLeftOutAndTheFrameRenders) {
  for (const bool tiled : {false, true}) {
    SCOPED_TRACE(tiled ? "tiled" : "scanline");
    WriteExr(Path("clean.exr"), tiled);
    ASSERT_EQ(Render("clean.exr", "clean_out.png").status, 0);
    fs::copy_file(Path("clean.exr"), Path("big.exr"), fs::copy_options::overwrite_existing);
    InsertIntoExrHeader(
        Path("big.exr"), {},
        {{"comments", "string", 100 << 20, 'c'}, {"oiio:ColorSpace", "string", 100 << 20, 's'}},
        tiled ? 4 : 12);
    const MeasuredRun run = Render("big.exr", "big_out.png", {"--max-frame-memory", "16M"});
    EXPECT_EQ(run.status, 0) << run.output;
    ExpectSaid(run, "warning: " + Path("big.exr") +
                        ": the OpenEXR attributes 'comments' (100 MiB) and 'oiio:ColorSpace' "
                        "(100 MiB) are not read: an attribute is read up to 1 MiB");
    EXPECT_EQ(ReadBytes(Path("big_out.png")), ReadBytes(Path("clean_out.png")));
  }
  // More attributes than a header is read with: the first thousand are.
  WriteExr(Path("many.exr"), false);
  Bytes many;
  for (int i = 0; i < 3000; ++i) many += ExrAttribute("note" + std::to_string(i), "int", Le32(7));
  InsertIntoExrHeader(Path("many.exr"), many, {}, 12);
  const MeasuredRun run = Render("many.exr", "many_out.png");
  EXPECT_EQ(run.status, 0) << run.output;
  ExpectSaid(run, "the OpenEXR attributes 'note");
  ExpectSaid(run,
             "more are not read: an attribute is read up to 1 MiB, a header up to 1000 attributes");
  EXPECT_EQ(ReadBytes(Path("many_out.png")), ReadBytes(Path("clean_out.png")));
}

// What the pixels need past its limit refuses the frame, naming it; parts
// are counted up to 100 and never read, however many the file has.
TEST_F(CliHostileMetadata, OpenExrPartsAndNeededAttributesAreCountedBeforeReading) {
  const Bytes partHeader = ExrAttribute("comments", "string", Bytes(8000, 'z')) +
                           ExrAttribute("name", "string", "part") + '\0';
  const Bytes version = Bytes{'\x76', '\x2f', '\x31', '\x01', '\x02', '\x10', '\0', '\0'};
  {
    std::ofstream out(Path("parts.exr"), std::ios::binary);
    out << version;
    for (int i = 0; i < 20000; ++i) out << partHeader;  // 160 MB
    out << '\0';
  }
  MeasuredRun run = Render("parts.exr", "out.png", {"--max-frame-memory", "64M"});
  EXPECT_EQ(run.status, cli::kExitFailed) << run.output;
  ExpectSaid(run, "cannot read " + Path("parts.exr") +
                      ": the file holds more than 100 images (parts), and the command reads "
                      "files of one image");
  SaveBytes(Path("three.exr"), version + partHeader + partHeader + partHeader + '\0');
  ExpectSaid(Render("three.exr", "out.png"), "the file holds 3 images (parts)");

  WriteExr(Path("channels.exr"), false);
  InsertIntoExrHeader(Path("channels.exr"), {}, {{"channels", "chlist", 2 << 20, 'A'}}, 12);
  run = Render("channels.exr", "out.png");
  EXPECT_EQ(run.status, cli::kExitFailed) << run.output;
  ExpectSaid(run, "cannot read " + Path("channels.exr") +
                      ": the OpenEXR attribute 'channels' (2 MiB) lies beyond what the command "
                      "reads of a header: an attribute up to 1 MiB");
  EXPECT_FALSE(fs::exists(Path("out.png")));
}

// A 16 x 12 RGBA TIFF of the checker, with a description of `description`
// characters when asked.
void WriteTiff(const std::string& path, size_t description) {
  OIIO::ImageSpec layout(16, 12, 4, OIIO::TypeDesc::UINT8);
  if (description > 0) layout.attribute("ImageDescription", std::string(description, 'd'));
  std::vector<uint8_t> pixels(16 * 12 * 4);
  for (size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = ((i / 4 + i / 64) % 2 == 0) == (i % 4 != 1) ? 255 : 0;
  auto out = OIIO::ImageOutput::create(path);
  ASSERT_TRUE(out && out->open(path, layout) &&
              out->write_image(OIIO::TypeDesc::UINT8, pixels.data()) && out->close());
}

// A tag past its limit is shown to the library with no value; one the
// pixels need refuses the file, naming it.
TEST_F(CliHostileMetadata, OversizedTiffTagsAreNotReadAndTheFrameRenders) {
  WriteTiff(Path("clean.tif"), 0);
  ASSERT_EQ(Render("clean.tif", "clean_out.png").status, 0);
  WriteTiff(Path("described.tif"), size_t{100} << 20);
  MeasuredRun run = Render("described.tif", "described_out.png", {"--max-frame-memory", "16M"});
  EXPECT_EQ(run.status, 0) << run.output;
  ExpectSaid(run, "warning: " + Path("described.tif") +
                      ": the TIFF ImageDescription tag (270, 101 MiB) is not read: a tag is "
                      "read up to 1 MiB");
  EXPECT_EQ(ReadBytes(Path("described_out.png")), ReadBytes(Path("clean_out.png")));

  // The strip table claiming 20 million strips.
  Bytes tiff = ReadBytes(Path("clean.tif"));
  ASSERT_EQ(tiff.substr(0, 4), Bytes("II*\0", 4));
  uint32_t directory = 0;
  std::memcpy(&directory, tiff.data() + 4, 4);
  uint16_t entries = 0;
  std::memcpy(&entries, tiff.data() + directory, 2);
  bool patched = false;
  for (uint16_t e = 0; e < entries; ++e) {
    char* entry = tiff.data() + directory + 2 + 12 * e;
    uint16_t tag = 0;
    std::memcpy(&tag, entry, 2);
    if (tag != 273) continue;
    const uint32_t count = 20000000;
    std::memcpy(entry + 4, &count, 4);
    patched = true;
  }
  ASSERT_TRUE(patched);
  SaveBytes(Path("strips.tif"), tiff);
  run = Render("strips.tif", "strips_out.png");
  EXPECT_EQ(run.status, cli::kExitFailed) << run.output;
  ExpectSaid(run,
             "cannot read " + Path("strips.tif") +
                 ": the TIFF StripOffsets tag (273, 77 MiB) is larger than the limit of 64 MiB");
  EXPECT_FALSE(fs::exists(Path("strips_out.png")));
}

}  // namespace
}  // namespace corvalin::clitest
