// Movies and files of several images, in and out: refused with a message
// that names them (and for movies shows the ffmpeg routes), nothing written.
#include <OpenImageIO/imageio.h>

#include <cstdlib>
#include <fstream>

#include "cli/command.h"
#include "cli_test_support.h"

namespace corvalin::clitest {
namespace {

class CliMovies : public ScratchTest {
 protected:
  // The command fails with `status` saying each of `messages`; the folder is
  // as it was.
  void ExpectRefused(const std::vector<std::string>& args, int status,
                     const std::vector<std::string>& messages) {
    SCOPED_TRACE(args[0] + " -> " + args[1]);
    const std::vector<std::string> before = Files();
    const CommandResult r = RunRender(args);
    EXPECT_EQ(r.status, status) << r.output;
    for (const std::string& m : messages)
      EXPECT_NE(r.output.find(m), std::string::npos) << m << "\n" << r.output;
    EXPECT_EQ(Files(), before);
  }
  std::vector<std::string> MovieInput(const std::string& input, const std::string& kind) {
    return {"cannot read " + input + ": a movie (" + kind + "), and the command reads image files",
            "ffmpeg -i " + input +
                " -vf \"format=rgba,frei0r=corvalin\" -c:v png -pix_fmt rgba out.mov",
            "ffmpeg -i " + input + " f.%04d.png\n    corvalin render 'f.####.png' 'out.####.png'"};
  }
};

TEST_F(CliMovies, HandMadeHeadersAndAnFfmpegMovieAreRefused) {
  std::string ts(3 * 188, '\0');
  ts[0] = ts[188] = ts[376] = 0x47;
  const std::vector<std::pair<std::string, std::string>> movies = {
      // clang-format off
      {std::string("\0\0\0\x14" "ftypqt  \0\0\0\0qt  ", 20), "QuickTime or MP4"},
      {std::string("\0\0\0\x08" "mdat", 8), "QuickTime or MP4"},
      // clang-format on
      {"\x1A\x45\xDF\xA3\x9F\x42\x86\x81", "Matroska or WebM"},
      {std::string("RIFF\x24\0\0\0"
                   "AVI LIST",
                   16),
       "AVI"},
      {"\x06\x0E\x2B\x34\x02\x05\x01\x01", "MXF"},
      {std::string("\0\0\x01\xBA\x44", 5), "MPEG program stream"},
      {ts, "MPEG transport stream"},
      {"GIF89a\x04", "GIF"}};
  for (size_t i = 0; i < movies.size(); ++i) {
    // Known by content under an image's name.
    const std::string name = Path("clip" + std::to_string(i) + ".png");
    std::ofstream(name, std::ios::binary) << movies[i].first;
    ExpectRefused({name, Path("out.png")}, cli::kExitFailed, MovieInput(name, movies[i].second));
  }
  // By name when the content is no image; a still HEIF picture is no movie;
  // frames of a sequence each say so.
  std::ofstream(Path("unknown.mkv")) << "no known header";
  ExpectRefused({Path("unknown.mkv"), Path("o.png")}, 1,
                MovieInput(Path("unknown.mkv"), "Matroska or WebM"));
  std::ofstream(Path("heif.png"), std::ios::binary) << std::string(
      "\0\0\0\x18"
      "ftypheic\0\0\0\0",
      16);
  ExpectRefused({Path("heif.png"), Path("o.png")}, 1, {"not a file of a format the command reads"});
  fs::copy_file(Path("clip3.png"), Path("s.0001.png"));
  ExpectRefused({Path("s.####.png"), Path("o.####.png")}, 1,
                {"frame 1: cannot read " + Path("s.0001.png") + ": a movie (AVI)"});

  if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
  const std::string make = "ffmpeg -v error -f lavfi -i testsrc=size=64x48:rate=10 -frames:v 10 '" +
                           Path("ts.mov") + "'";
  ASSERT_EQ(std::system(make.c_str()), 0);
  const std::vector<std::string> said = MovieInput(Path("ts.mov"), "QuickTime or MP4");
  ExpectRefused({Path("ts.mov"), Path("out.png")}, cli::kExitFailed, said);
  // A pattern OUTPUT without --frames: the movie is named first.
  ExpectRefused({Path("ts.mov"), Path("out.####.png")}, cli::kExitFailed, said);
}

TEST_F(CliMovies, AMovieOutputIsAUsageErrorBeforeAnythingRenders) {
  cli::WriteImage(Path("in.png"), CelImage(16, 12, 8));
  for (const auto& [output, kind] :
       std::vector<std::pair<std::string, std::string>>{{"out.MP4", "QuickTime or MP4"},
                                                        {"out.webm", "Matroska or WebM"},
                                                        {"out.gif", "GIF"},
                                                        {"out.0001.mxf", "MXF"}}) {
    std::vector<std::string> args = {Path("in.png"), Path(output)};
    if (output == "out.0001.mxf") args = {Path("in.png"), Path("out.####.mxf"), "--frames", "1-3"};
    ExpectRefused(args, cli::kExitUsage,
                  {Path(output) + ": a movie (" + kind + "), and the command writes image files",
                   "ffmpeg -i in.mov -vf \"format=rgba,frei0r=corvalin\" " + Path(output) + "\n",
                   "ffmpeg -framerate 24 -i out.%04d.png " + Path(output)});
  }
  ExpectRefused({Path("in.png"), Path("out.xyz")}, cli::kExitUsage,
                {Path("out.xyz") +
                 ": unsupported output format '.xyz'; use .png, .tif, .tiff, .tga or .exr"});
}

TEST_F(CliMovies, FilesOfSeveralImagesAreRefusedWithTheirCount) {
  for (const auto& [name, count] : std::vector<std::pair<std::string, int>>{
           {"two.tif", 2}, {"five.tif", 5}, {"two.exr", 2}, {"one.tif", 1}}) {
    std::vector<OIIO::ImageSpec> layouts(static_cast<size_t>(count),
                                         OIIO::ImageSpec(4, 3, 3, OIIO::TypeDesc::HALF));
    auto out = OIIO::ImageOutput::create(Path(name));
    ASSERT_TRUE(out && out->open(Path(name), count, layouts.data())) << name;
    const std::vector<float> pixels(36, 0.5f);
    for (int i = 0; i < count; ++i) {
      ASSERT_TRUE(i == 0 || out->open(Path(name), layouts[0], OIIO::ImageOutput::AppendSubimage));
      ASSERT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, pixels.data())) << out->geterror();
    }
    ASSERT_TRUE(out->close());
    if (count == 1) {
      EXPECT_EQ(RunRender({Path(name), Path("one.exr")}).status, 0);
      continue;
    }
    ExpectRefused(
        {Path(name), Path("out.exr")}, cli::kExitFailed,
        {"cannot read " + Path(name) + ": the file holds " + std::to_string(count) + " images (" +
         (name.ends_with(".exr") ? "parts" : "pages") +
         "), and the command reads files of one image; write each image to a file of its own"});
  }
}

}  // namespace
}  // namespace corvalin::clitest
