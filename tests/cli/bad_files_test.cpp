// The built command against damaged and hostile inputs, most made at run
// time from a small good PNG, and against outputs it cannot write: each fails
// with a message naming the file and the problem, exit status 1, no
// temporary file left, and an existing output untouched. Headers claiming
// huge sizes are refused before the pixel memory is touched.
#include <OpenImageIO/imageio.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <zlib.h>

#include <cstddef>
#include <fstream>
#include <iterator>

#include "cli/command.h"
#include "cli_test_support.h"

namespace corvalin::clitest {
namespace {

using Bytes = std::vector<unsigned char>;

void PutBe32(Bytes& b, size_t at, uint32_t v) {
  for (size_t i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (24 - 8 * i));
}

// The PNG with its IHDR claiming `width` x `height`; the chunk's CRC is
// recomputed unless `keepCrc`, so the decoder gets as far as the size.
Bytes WithSize(Bytes png, uint32_t width, uint32_t height, bool keepCrc = false) {
  PutBe32(png, 16, width);
  PutBe32(png, 20, height);
  // The CRC covers "IHDR" and its 13 data bytes.
  if (!keepCrc) PutBe32(png, 29, static_cast<uint32_t>(::crc32(0, &png[12], 17)));
  return png;
}

class CliBadFiles : public ScratchTest {};

TEST_F(CliBadFiles, FailClearlyLeaveNoTempFilesAndKeepTheOutput) {
  cli::WriteImage(Path("good.png"), CelImage(40, 30, 8));
  const Bytes good = ReadBytes<Bytes>(Path("good.png"));
  ASSERT_GT(good.size(), 33u);
  ASSERT_EQ(std::string(good.begin() + 12, good.begin() + 16), "IHDR");

  Bytes magic = good;
  magic[1] = 'Q';
  SaveBytes(Path("magic.png"), magic);
  SaveBytes(Path("header_only.png"), Bytes(good.begin(), good.begin() + 33));
  SaveBytes(Path("bad_crc.png"), WithSize(good, 41, 30, true));
  SaveBytes(Path("huge.png"), WithSize(good, 100000, 100000));
  SaveBytes(Path("widest.png"), WithSize(good, 2147483647, 1));
  SaveBytes(Path("zero_wide.png"), WithSize(good, 0, 30));
  SaveBytes(Path("zero_high.png"), WithSize(good, 40, 0));
  SaveBytes(Path("padded.png"), WithSize(good, 46340, 46341));  // fits, but not with padding 4
  SaveBytes(Path("short.png"), WithSize(good, 24000, 24000));   // fits, 2.3 GB; the data is 40 x 30
  ASSERT_EQ(::mkfifo(Path("fifo.png").c_str(), 0600), 0);
  fs::create_symlink(Path("nowhere.png"), Path("dangling.png"));
  fs::create_symlink("/dev/null", Path("device.png"));
  SaveBytes(Path("junk.png"), Bytes{'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'});
  // Cut inside the pixels.
  const auto half = static_cast<std::ptrdiff_t>(good.size() / 2);
  SaveBytes(Path("cut.png"), Bytes(good.begin(), good.begin() + half));
  {
    OIIO::ImageSpec layout(4, 4, 4, OIIO::TypeDesc::DOUBLE);
    auto out = OIIO::ImageOutput::create(Path("double.tif"));
    ASSERT_TRUE(out && out->open(Path("double.tif"), layout));
    std::vector<double> pixels(64, 0.5);
    ASSERT_TRUE(out->write_image(OIIO::TypeDesc::DOUBLE, pixels.data()));
    out->close();
  }
  fs::create_directory(Path("folder.png"));
  SaveBytes(Path("out.png"), Bytes{'p', 'r', 'e', 'v'});
  const std::vector<std::string> before = Files();

  struct Case {
    std::string input, message;
    std::vector<std::string> extra = {};
    std::string output = "out.png";
  };
  const std::string pixelLimit = "2147483647 pixels";
  const std::string sideLimit = " pixels; each side must be 1 to 1000000";
  auto unread = [&](const std::string& file, const std::string& why) {
    return "cannot read " + Path(file) + ": " + why;
  };
  const std::vector<Case> cases = {
      {"magic.png", unread("magic.png",
                           "not a file of a format the command reads (PNG, TIFF, TGA or "
                           "OpenEXR, named .png, .tif, .tiff, .tga or .exr)")},
      {"header_only.png",
       unread("header_only.png", "the PNG data ends early (a cut or unfinished file)")},
      {"bad_crc.png", unread("bad_crc.png", "PNG invalid chunk checksum")},
      {"huge.png",
       Path("huge.png") + ": 100000 x 100000 pixels is more than the limit of " + pixelLimit},
      {"widest.png", unread("widest.png", "the PNG header gives 2147483647 x 1" + sideLimit)},
      {"zero_wide.png", unread("zero_wide.png", "the PNG header gives 0 x 30" + sideLimit)},
      {"zero_high.png", unread("zero_high.png", "the PNG header gives 40 x 0" + sideLimit)},
      {"padded.png",
       Path("padded.png") + ": a frame of 46340 x 46341 pixels with rows 46344 pixels apart "
                            "spans 2147627304 pixels: width (row padding included) x height "
                            "must be at most 2147483647 (a signed 32-bit pixel index)",
       {"--row-padding", "4"}},
      {"short.png", unread("short.png", "PNG IDAT stream too short")},
      {"fifo.png", unread("fifo.png", "not a regular file (a FIFO, socket or device)")},
      {"device.png", unread("device.png", "not a regular file (a FIFO, socket or device)")},
      {"dangling.png", unread("dangling.png", "no such file (a link to a missing file)")},
      {"missing.png", unread("missing.png", "no such file")},
      {"folder.png", unread("folder.png", "it is a folder")},
      {"junk.png", unread("junk.png", "")},
      {"cut.png", unread("cut.png", "")},
      {"double.tif", Path("double.tif") + ": 64-bit float samples are not supported"},
      {"good.png",
       "cannot load effect module '" + Path("none.so") + "'",
       {"--plugin", Path("none.so")}},
      {"good.png",
       "cannot write " + Path("no/such/out.png") + ": the folder " + Path("no/such") +
           " does not exist",
       {},
       "no/such/out.png"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input + " -> " + c.output + (c.extra.empty() ? "" : " " + c.extra[0]));
    std::vector<std::string> args = {Path(c.input), Path(c.output)};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const CommandResult r = RunRender(args);
    EXPECT_EQ(r.status, cli::kExitFailed) << r.output;
    EXPECT_NE(r.output.find("corvalin: error: " + c.message), std::string::npos) << r.output;
    // One line per message (libpng prints its own lines too).
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);) {
      EXPECT_TRUE(line.starts_with("corvalin: ") || line.starts_with("libpng ")) << line;
    }
    EXPECT_EQ(Files(), before);
    EXPECT_EQ(ReadBytes<Bytes>(Path("out.png")), (Bytes{'p', 'r', 'e', 'v'}));
  }

  EXPECT_TRUE(fs::is_empty(Path("folder.png")));
  // A good render replaces the output.
  ASSERT_EQ(RunRender({Path("good.png"), Path("out.png")}).status, 0);
  EXPECT_EQ(cli::ReadImage(Path("out.png")).width, 40);

  // Every child so far, the huge headers included, stayed far below the
  // gigabytes those headers claim (ru_maxrss is in KiB).
  rusage usage{};
  ASSERT_EQ(::getrusage(RUSAGE_CHILDREN, &usage), 0);
  EXPECT_LT(usage.ru_maxrss, 1L << 20) << "peak KiB of a corvalin run";
}

}  // namespace
}  // namespace corvalin::clitest
