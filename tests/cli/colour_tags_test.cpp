// Colour and resolution tags from input to output: PNG chunks read back
// raw with libpng, OpenImageIO attributes with OpenImageIO, and damaged or
// absurd chunks dropped without touching the image's own checks.
#include <OpenImageIO/imageio.h>
#include <spng.h>
#include <zlib.h>

#include <cstring>
#include <fstream>
#include <map>

#include "cli/colour_tags.h"
#include "cli_test_support.h"

namespace corvalin::clitest {
namespace {

using Bytes = std::vector<uint8_t>;
using Chunks = std::map<std::string, Bytes>;  // type -> data; iCCP: name, 0, inflated profile

Bytes Be32(std::initializer_list<uint32_t> values) {
  Bytes b;
  for (uint32_t v : values)
    b.insert(b.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
  return b;
}

// An ICC profile as far as a header goes: its size and signature, and a
// pattern that shows a profile cut or shifted.
Bytes Profile(uint32_t size) {
  Bytes p(size);
  for (uint32_t i = 0; i < size; ++i) p[i] = uint8_t(i * 7 + 3);
  const Bytes stated = Be32({size});
  std::copy(stated.begin(), stated.end(), p.begin());
  std::memcpy(&p[36], "acsp", 4);
  return p;
}

constexpr size_t kProfileRoom = 1 << 16;  // the largest profile these tests write, and more

// The colour chunks and pHYs of a PNG, handed over raw by libpng.
Chunks ReadChunks(const std::string& path) {
  Chunks chunks;
  FILE* f = std::fopen(path.c_str(), "rb");
  EXPECT_NE(f, nullptr) << path;
  if (f == nullptr) return chunks;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  const png_byte names[] = "sRGB\0gAMA\0cHRM\0iCCP\0pHYs";
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, names, 5);
  png_read_info(png, info);
  png_unknown_chunkp entries = nullptr;
  const int count = png_get_unknown_chunks(png, info, &entries);
  for (int i = 0; i < count; ++i) {
    const std::string type(reinterpret_cast<const char*>(entries[i].name), 4);
    Bytes data(entries[i].data, entries[i].data + entries[i].size);
    if (type == "iCCP") {
      const size_t nameEnd =
          static_cast<size_t>(std::find(data.begin(), data.end(), 0) - data.begin());
      Bytes profile(kProfileRoom);
      uLongf length = profile.size();
      EXPECT_EQ(
          uncompress(profile.data(), &length, data.data() + nameEnd + 2, data.size() - nameEnd - 2),
          Z_OK);
      data.resize(nameEnd + 1);
      data.insert(data.end(), profile.begin(),
                  profile.begin() + static_cast<std::ptrdiff_t>(length));
    }
    EXPECT_EQ(chunks.count(type), 0u) << type << " twice";
    chunks[type] = data;
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  return chunks;
}

Bytes IccpValue(const std::string& name, const Bytes& profile) {
  Bytes v(name.begin(), name.end());
  v.push_back(0);
  v.insert(v.end(), profile.begin(), profile.end());
  return v;
}

// A 2 x 2 RGBA PNG written with libspng, with the chunks of `tags` as given.
void WriteTaggedPng(const std::string& path, const Chunks& tags) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
  spng_set_png_file(ctx, f);
  spng_ihdr ihdr{2, 2, 8, SPNG_COLOR_TYPE_TRUECOLOR_ALPHA, 0, 0, 0};
  spng_set_ihdr(ctx, &ihdr);
  auto be = [](const Bytes& b, size_t at) {
    return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
  };
  if (tags.count("sRGB")) {
    EXPECT_EQ(spng_set_srgb(ctx, tags.at("sRGB")[0]), 0);
  }
  if (tags.count("gAMA")) {
    EXPECT_EQ(spng_set_gama_int(ctx, be(tags.at("gAMA"), 0)), 0);
  }
  if (tags.count("cHRM")) {
    const Bytes& c = tags.at("cHRM");
    spng_chrm_int chrm{be(c, 0),  be(c, 4),  be(c, 8),  be(c, 12),
                       be(c, 16), be(c, 20), be(c, 24), be(c, 28)};
    EXPECT_EQ(spng_set_chrm_int(ctx, &chrm), 0);
  }
  Bytes profile;
  if (tags.count("iCCP")) {
    const Bytes& v = tags.at("iCCP");
    spng_iccp iccp{};
    const size_t nameEnd = static_cast<size_t>(std::find(v.begin(), v.end(), 0) - v.begin());
    std::memcpy(iccp.profile_name, v.data(), nameEnd);
    profile.assign(v.begin() + static_cast<std::ptrdiff_t>(nameEnd) + 1, v.end());
    iccp.profile_len = profile.size();
    iccp.profile = reinterpret_cast<char*>(profile.data());
    EXPECT_EQ(spng_set_iccp(ctx, &iccp), 0);
  }
  if (tags.count("pHYs")) {
    const Bytes& p = tags.at("pHYs");
    spng_phys phys{be(p, 0), be(p, 4), p[8]};
    EXPECT_EQ(spng_set_phys(ctx, &phys), 0);
  }
  const uint8_t pixels[16] = {200, 10, 10,  255, 10, 200, 10, 255,
                              10,  10, 200, 255, 90, 90,  90, 128};
  EXPECT_EQ(spng_encode_image(ctx, pixels, sizeof pixels, SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE), 0);
  spng_ctx_free(ctx);
  std::fclose(f);
}

Bytes Deflated(const Bytes& data) {
  Bytes packed(compressBound(data.size()));
  uLongf size = packed.size();
  compress(packed.data(), &size, data.data(), data.size());
  packed.resize(size);
  return packed;
}

// A 2 x 2 RGBA PNG put together byte by byte, for chunks no library writes.
void WriteRawPng(const std::string& path, const std::vector<std::pair<std::string, Bytes>>& extra,
                 bool cutImage = false) {
  std::string file("\x89PNG\r\n\x1a\n", 8);
  auto chunk = [&](const std::string& type, const Bytes& data) {
    const std::string body = type + std::string(data.begin(), data.end());
    const Bytes length = Be32({uint32_t(data.size())});
    const Bytes crc =
        Be32({uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size())))});
    file += std::string(length.begin(), length.end()) + body + std::string(crc.begin(), crc.end());
  };
  chunk("IHDR", {0, 0, 0, 2, 0, 0, 0, 2, 8, 6, 0, 0, 0});
  for (const auto& [type, data] : extra) chunk(type, data);
  Bytes image =
      Deflated({0, 200, 10, 10, 255, 10, 200, 10, 255, 0, 10, 10, 200, 255, 90, 90, 90, 128});
  if (cutImage) image.resize(image.size() / 2);
  chunk("IDAT", image);
  if (!cutImage) chunk("IEND", {});
  std::ofstream(path, std::ios::binary) << file;
}

// What OpenImageIO reads of a file's header.
std::unique_ptr<OIIO::ImageSpec> AttributesOf(const std::string& path) {
  auto header = std::make_unique<OIIO::ImageSpec>();
  auto in = OIIO::ImageInput::create(path);
  EXPECT_TRUE(in && in->open(path, *header)) << path << ": " << OIIO::geterror();
  return header;
}

void WriteTiff(const std::string& path, const std::function<void(OIIO::ImageSpec&)>& tag) {
  OIIO::ImageSpec layout(2, 2, 4, OIIO::TypeDesc::UINT8);
  tag(layout);
  const uint8_t pixels[16] = {};
  auto out = OIIO::ImageOutput::create(path);
  ASSERT_TRUE(out && out->open(path, layout) && out->write_image(OIIO::TypeDesc::UINT8, pixels) &&
              out->close());
}

class CliColourTags : public ScratchTest {
 protected:
  void Render(const std::string& in, const std::string& out, std::vector<std::string> more = {}) {
    std::vector<std::string> args{Path(in), Path(out), "-q"};
    args.insert(args.end(), more.begin(), more.end());
    const CommandResult r = RunRender(args);
    EXPECT_EQ(r.status, 0) << in << " -> " << out << ": " << r.output;
  }
};

const Bytes kChrm = Be32({31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000});

TEST_F(CliColourTags, PngChunksComeThroughExactly) {
  const Chunks tags = {{"gAMA", Be32({45455})},
                       {"cHRM", kChrm},
                       {"iCCP", IccpValue("Studio profile", Profile(300))},
                       {"pHYs", Bytes{0, 0, 14, 196, 0, 0, 11, 19, 1}}};  // 3780 x 2835 per metre
  WriteTaggedPng(Path("tagged.png"), tags);
  ASSERT_EQ(ReadChunks(Path("tagged.png")), tags);
  Render("tagged.png", "out8.png");
  EXPECT_EQ(ReadChunks(Path("out8.png")), tags);
  Render("tagged.png", "out16.png", {"--depth", "16"});
  EXPECT_EQ(ReadChunks(Path("out16.png")), tags);
  // No chunk in, none out: an untagged PNG is not given one.
  WriteTaggedPng(Path("plain.png"), {});
  Render("plain.png", "plain_out.png");
  EXPECT_EQ(ReadChunks(Path("plain_out.png")), Chunks{});
}

// A PNG holds sRGB or iCCP; given both, the profile is what the standard
// ranks first, and the user is told which one was kept.
TEST_F(CliColourTags, AProfileBesideSrgbIsKeptAndSrgbDropped) {
  const Bytes profile = Profile(300);
  WriteTaggedPng(Path("both.png"), {{"sRGB", {1}}, {"iCCP", IccpValue("Studio", profile)}});
  const CommandResult r = RunRender({Path("both.png"), Path("out.png")});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("warning: " + Path("both.png") +
                          ": the file has both an sRGB and an iCCP chunk"),
            std::string::npos)
      << r.output;
  EXPECT_EQ(ReadChunks(Path("out.png")), (Chunks{{"iCCP", IccpValue("Studio", profile)}}));
  // A name that is no PNG keyword is not written either: the profile is.
  Bytes badName = {' ', 'S', 't', 'u', 'd', 'i', 'o', 0, 0};
  const Bytes packed = Deflated(profile);
  badName.insert(badName.end(), packed.begin(), packed.end());
  WriteRawPng(Path("named.png"), {{"iCCP", badName}});
  const CommandResult named = RunRender({Path("named.png"), Path("named_out.png")});
  EXPECT_EQ(named.status, 0) << named.output;
  EXPECT_NE(named.output.find("the iCCP profile's name is written as \"ICC profile\""),
            std::string::npos)
      << named.output;
  EXPECT_EQ(ReadChunks(Path("named_out.png")),
            (Chunks{{"iCCP", IccpValue(cli::kDefaultIccName, profile)}}));
}

// Values outside their standard's range are not carried, neither as chunks
// nor as a colour space name made from them; each is named in a warning.
TEST_F(CliColourTags, ColourValuesOutOfRangeAreDroppedWithAWarning) {
  const struct {
    std::string type;
    Bytes data;
    const char* warning;
  } cases[] = {
      {"cHRM", Be32({2143290000, 32900, 64000, 33000, 30000, 60000, 15000, 6000}),
       "the cHRM chunk is not carried: its white point (21432.90000, 0.32900) is not a colour"},
      {"cHRM", Be32({31270, 0, 64000, 33000, 30000, 60000, 15000, 6000}),
       "its white point (0.31270, 0.00000)"},
      {"cHRM", Be32({31270, 32900, 64000, 50000, 30000, 60000, 15000, 6000}),
       "its red (0.64000, 0.50000)"},
      {"gAMA", Be32({0x7fffffff}),
       "the gAMA chunk is not carried: its file gamma 21474.83647 is not 0.1 to 10"},
      {"gAMA", Be32({1}), "its file gamma 0.00001 is not 0.1 to 10"},
      {"sRGB", {4}, "the sRGB chunk is not carried: its rendering intent 4 is not 0 to 3"},
      {"pHYs",
       {0, 0, 0, 9, 0, 0, 0, 9, 7},
       "the pHYs chunk is not carried: its unit 7 is not 0 or 1"},
      {"gAMA", {0, 1, 0x86}, "the gAMA chunk holds 3 bytes, not 4, and is not carried"},
  };
  WriteRawPng(Path("clean.png"), {});
  Render("clean.png", "clean_out.png");
  const cli::Image expected = cli::ReadImage(Path("clean_out.png"));
  int n = 0;
  for (const auto& c : cases) {
    const std::string name = "bad" + std::to_string(++n);
    SCOPED_TRACE(name + " " + c.type);
    WriteRawPng(Path(name + ".png"), {{c.type, c.data}});
    const CommandResult r = RunRender({Path(name + ".png"), Path(name + ".png.exr")});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find(c.warning), std::string::npos) << r.output;
    // As OpenImageIO reads a PNG without colour chunks.
    EXPECT_EQ(AttributesOf(Path(name + ".png.exr"))->get_string_attribute("oiio:ColorSpace"),
              "sRGB");
    Render(name + ".png", name + "_out.png");
    EXPECT_EQ(ReadChunks(Path(name + "_out.png")), Chunks{});
    EXPECT_EQ(cli::ReadImage(Path(name + "_out.png")).samples, expected.samples);
  }
  // A second chunk of a kind is not carried either; the first is.
  WriteRawPng(Path("twice.png"), {{"gAMA", Be32({45455})}, {"gAMA", Be32({100000})}});
  const CommandResult r = RunRender({Path("twice.png"), Path("twice_out.png")});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("a second gAMA chunk is not carried"), std::string::npos) << r.output;
  EXPECT_EQ(ReadChunks(Path("twice_out.png")), (Chunks{{"gAMA", Be32({45455})}}));
}

// A pixel twice as high as wide (or half), through every output format: the
// resolution both ways and OpenEXR's pixelAspectRatio, width over height.
TEST_F(CliColourTags, NonSquarePixelsKeepTheirAspectInEveryFormat) {
  WriteTaggedPng(
      Path("tall.png"),
      {{"pHYs", Bytes{0, 0, 0x0b, 0x13, 0, 0, 0x16, 0x26, 1}}});  // 2835 x 5670 per metre
  WriteTiff(Path("wide.tif"), [](OIIO::ImageSpec& s) {
    s.attribute("XResolution", 300.0f);
    s.attribute("YResolution", 150.0f);
    s.attribute("ResolutionUnit", "in");
    s.attribute("PixelAspectRatio", 0.5f);  // else the writer makes Y equal to X
  });
  ASSERT_EQ(AttributesOf(Path("wide.tif"))->get_float_attribute("YResolution"), 150.0f);
  struct Expected {
    std::string input;
    float x, y, aspect;
    Bytes phys;
  };
  const Expected cases[] = {
      {"tall.png", 2835 * 0.0254f, 5670 * 0.0254f, 2.0f,
       Bytes{0, 0, 0x0b, 0x13, 0, 0, 0x16, 0x26, 1}},
      {"wide.tif", 300.0f, 150.0f, 0.5f,
       Bytes{0, 0, 0x2e, 0x23, 0, 0, 0x17, 0x12, 1}},  // 11811 x 5906
  };
  for (const Expected& c : cases) {
    SCOPED_TRACE(c.input);
    for (const char* format : {".tif", ".exr"}) {
      const std::string out = c.input + format;
      Render(c.input, out);
      const auto header = AttributesOf(Path(out));
      EXPECT_NEAR(header->get_float_attribute("XResolution"), c.x, 1e-3f) << format;
      EXPECT_NEAR(header->get_float_attribute("YResolution"), c.y, 1e-3f) << format;
      EXPECT_EQ(header->get_float_attribute("PixelAspectRatio"), c.aspect) << format;
      // And back to PNG, through the format.
      Render(out, out + ".png");
      EXPECT_EQ(ReadChunks(Path(out + ".png")).at("pHYs"), c.phys) << format;
    }
    Render(c.input, c.input + ".tga");
    EXPECT_EQ(AttributesOf(Path(c.input + ".tga"))->get_float_attribute("PixelAspectRatio"),
              c.aspect);
    Render(c.input, c.input + ".png");
    EXPECT_EQ(ReadChunks(Path(c.input + ".png")).at("pHYs"), c.phys);
  }
  // A pixel aspect with no density (OpenEXR, TGA) becomes pHYs of no unit,
  // scaled to whole numbers: 0.9 is 10 by 9.
  OIIO::ImageSpec layout(2, 2, 4, OIIO::TypeDesc::HALF);
  layout.attribute("PixelAspectRatio", 0.9f);
  const float pixels[16] = {};
  auto exr = OIIO::ImageOutput::create(Path("aspect.exr"));
  ASSERT_TRUE(exr && exr->open(Path("aspect.exr"), layout) &&
              exr->write_image(OIIO::TypeDesc::FLOAT, pixels) && exr->close());
  Render("aspect.exr", "aspect.png");
  const Bytes ratio = ReadChunks(Path("aspect.png")).at("pHYs");
  const uint32_t x =
      uint32_t(ratio[0]) << 24 | uint32_t(ratio[1]) << 16 | uint32_t(ratio[2]) << 8 | ratio[3];
  const uint32_t y =
      uint32_t(ratio[4]) << 24 | uint32_t(ratio[5]) << 16 | uint32_t(ratio[6]) << 8 | ratio[7];
  EXPECT_EQ(ratio[8], 0);
  EXPECT_NEAR(static_cast<double>(y) / x, 0.9, 1e-7) << x << " x " << y;
  Render("aspect.exr", "aspect.tif");
  EXPECT_EQ(AttributesOf(Path("aspect.tif"))->get_float_attribute("PixelAspectRatio"), 0.9f);
}

// Two renders of a frame are the same bytes in every format: no file says
// when it was written, unless SOURCE_DATE_EPOCH names the time to say.
TEST_F(CliColourTags, OutputsAreReproducibleAndDatedOnlyBySourceDateEpoch) {
  WriteTaggedPng(Path("in.png"),
                 {{"gAMA", Be32({45455})}, {"pHYs", Bytes{0, 0, 0x0b, 0x13, 0, 0, 0x16, 0x26, 1}}});
  for (const char* format : {".png", ".tif", ".tga", ".exr"}) {
    SCOPED_TRACE(format);
    const std::string first = std::string("first") + format,
                      second = std::string("second") + format;
    Render("in.png", first);
    Render("in.png", second, {"--threads", "2"});
    std::ifstream a(Path(first), std::ios::binary), b(Path(second), std::ios::binary);
    const std::string bytesA((std::istreambuf_iterator<char>(a)), {}),
        bytesB((std::istreambuf_iterator<char>(b)), {});
    EXPECT_FALSE(bytesA.empty());
    EXPECT_EQ(bytesA, bytesB);
    if (std::string(format) == ".png") continue;
    EXPECT_EQ(AttributesOf(Path(first))->find_attribute("DateTime"), nullptr);
    const std::string dated = std::string("dated") + format;
    const CommandResult r =
        RunRender({Path("in.png"), Path(dated)}, "SOURCE_DATE_EPOCH=1700000000 ");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(AttributesOf(Path(dated))->get_string_attribute("DateTime"), "2023:11:14 22:13:20");
  }
}

TEST_F(CliColourTags, EachFrameOfASequenceCarriesItsOwnTags) {
  WriteTaggedPng(Path("in.0001.png"),
                 {{"gAMA", Be32({45455})}, {"pHYs", Bytes{0, 0, 0, 1, 0, 0, 0, 2, 0}}});
  WriteTaggedPng(Path("in.0002.png"), {{"sRGB", {3}}});
  WriteTaggedPng(Path("in.0003.png"), {{"gAMA", Be32({100000})}, {"cHRM", kChrm}});
  Render("in.####.png", "out.####.png", {"--threads", "3"});
  EXPECT_EQ(ReadChunks(Path("out.0001.png")),
            (Chunks{{"gAMA", Be32({45455})}, {"pHYs", Bytes{0, 0, 0, 1, 0, 0, 0, 2, 0}}}));
  EXPECT_EQ(ReadChunks(Path("out.0002.png")), (Chunks{{"sRGB", {3}}}));
  EXPECT_EQ(ReadChunks(Path("out.0003.png")), (Chunks{{"gAMA", Be32({100000})}, {"cHRM", kChrm}}));
}

TEST_F(CliColourTags, ExrIsLabelledWithThePngsColourSpaceNotLinear) {
  const std::pair<Chunks, const char*> cases[] = {
      {{{"sRGB", {0}}}, "sRGB"},
      {{}, "sRGB"},  // as OpenImageIO reads a PNG without colour chunks
      {{{"gAMA", Be32({45455})}}, "Gamma2.2"},
      {{{"gAMA", Be32({100000})}}, "Linear"},  // linear indeed: OpenEXR's own default
  };
  int n = 0;
  for (const auto& [tags, expected] : cases) {
    const std::string name = "in" + std::to_string(++n);
    WriteTaggedPng(Path(name + ".png"), tags);
    Render(name + ".png", name + ".exr");
    EXPECT_EQ(AttributesOf(Path(name + ".exr"))->get_string_attribute("oiio:ColorSpace"), expected)
        << name;
  }
  // And back: an EXR labelled sRGB gives a PNG the sRGB chunk.
  Render("in1.exr", "back.png");
  EXPECT_EQ(ReadChunks(Path("back.png")), (Chunks{{"sRGB", {0}}}));
}

TEST_F(CliColourTags, TiffResolutionProfileAndColourSpaceReachTiffAndPng) {
  const Bytes profile = Profile(500);
  WriteTiff(Path("dpi.tif"), [](OIIO::ImageSpec& s) {
    s.attribute("XResolution", 300.0f);
    s.attribute("YResolution", 300.0f);
    s.attribute("ResolutionUnit", "in");
    s.attribute("oiio:ColorSpace", "sRGB");
  });
  WriteTiff(Path("icc.tif"), [&](OIIO::ImageSpec& s) {
    s.attribute("ICCProfile",
                OIIO::TypeDesc(OIIO::TypeDesc::UINT8, static_cast<int>(profile.size())),
                profile.data());
  });
  Render("dpi.tif", "dpi_out.tif");
  const auto tiff = AttributesOf(Path("dpi_out.tif"));
  EXPECT_EQ(tiff->get_float_attribute("XResolution"), 300.0f);
  EXPECT_EQ(tiff->get_float_attribute("YResolution"), 300.0f);
  EXPECT_EQ(tiff->get_string_attribute("ResolutionUnit"), "in");
  EXPECT_EQ(tiff->get_string_attribute("oiio:ColorSpace"), "sRGB");
  Render("dpi.tif", "dpi_out.png");
  EXPECT_EQ(ReadChunks(Path("dpi_out.png")),
            (Chunks{{"sRGB", {0}}, {"pHYs", Bytes{0, 0, 46, 35, 0, 0, 46, 35, 1}}}));  // 11811

  Render("icc.tif", "icc_out.tif");
  const auto iccTiff = AttributesOf(Path("icc_out.tif"));
  const OIIO::ParamValue* kept = iccTiff->find_attribute("ICCProfile");
  ASSERT_NE(kept, nullptr);
  const auto* bytes = static_cast<const uint8_t*>(kept->data());
  EXPECT_EQ(Bytes(bytes, bytes + kept->type().size()), profile);
  Render("icc.tif", "icc_out.png");
  EXPECT_EQ(ReadChunks(Path("icc_out.png")),
            (Chunks{{"iCCP", IccpValue(cli::kDefaultIccName, profile)}}));
}

TEST_F(CliColourTags, DamagedOrAbsurdTagsAreDroppedAndTheImageStillChecked) {
  const Bytes srgb = {3};
  const Bytes profile = Profile(200);
  Bytes cut = Deflated(profile);
  cut.resize(cut.size() / 2);
  // Name "P", its terminator, compression method 0, then the data (sized
  // first: gcc 12 at -O3 misreads a growing insert here as out of bounds).
  auto iccp = [](const Bytes& data) {
    Bytes v(3 + data.size(), 0);
    v[0] = 'P';
    std::copy(data.begin(), data.end(), v.begin() + 3);
    return v;
  };
  Bytes lying = profile;
  lying[3] = 199;  // states a size it has not
  const std::vector<std::pair<std::string, Bytes>> bad = {
      {"iCCP", iccp({'n', 'o', 't', ' ', 'z', 'l', 'i', 'b'})},
      {"iCCP", iccp(cut)},
      {"iCCP", iccp(Deflated(lying))},
      {"iCCP", iccp(Deflated(Bytes(20 << 20)))},  // 20 MiB, over the bound
      {"pHYs", {0, 0, 0, 9, 0, 0, 0, 9, 7}},      // no such unit
      {"gAMA", Be32({0})},
  };
  WriteRawPng(Path("clean.png"), {{"sRGB", srgb}});
  Render("clean.png", "clean_out.png");
  const cli::Image expected = cli::ReadImage(Path("clean_out.png"));
  for (size_t i = 0; i < bad.size(); ++i) {
    SCOPED_TRACE(bad[i].first + " case " + std::to_string(i));
    const std::string in = "bad" + std::to_string(i) + ".png", out = "bad_out" + std::to_string(i);
    WriteRawPng(Path(in), {{"sRGB", srgb}, bad[i]});
    Render(in, out + ".png");
    EXPECT_EQ(ReadChunks(Path(out + ".png")), (Chunks{{"sRGB", srgb}}));
    EXPECT_EQ(cli::ReadImage(Path(out + ".png")).samples, expected.samples);
    Render(in, out + ".tif");
    EXPECT_EQ(AttributesOf(Path(out + ".tif"))->find_attribute("ICCProfile"), nullptr);
  }
  // A damaged profile does not excuse damaged pixels.
  WriteRawPng(Path("cut.png"), {{"iCCP", iccp(cut)}}, true);
  const CommandResult r = RunRender({Path("cut.png"), Path("cut_out.png")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("cannot read " + Path("cut.png")), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(Path("cut_out.png")));
}

}  // namespace
}  // namespace corvalin::clitest
