// Golden renders: whole frames through the module's EffectMain over the mini
// host, held to the output the effect gave when they were recorded. The other
// whole-frame tests compare two ways of rendering with each other; these
// compare with fixed values, so a change of any output pixel of any case fails
// and names the case.
//
// After an intended change of the output, print the table and the pinned
// frames anew with
//   CORVALIN_PRINT_GOLDEN=1 build/tests/golden_tests
// and paste them over the old ones. The check never rewrites them itself.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <utility>

#include "cli/image_io.h"
#include "cli/frame_buffer.h"
#include "tests/support/image_worlds.h"
#include "engine/scan/scan_settings.h"
#include "tests/support/minihost/mini_host.h"
#include "tests/support/test_images.h"

namespace corvalin {
namespace {

using minihost::HostWorld;
using test_images::Colour8;

bool Printing() {
  const char* v = std::getenv("CORVALIN_PRINT_GOLDEN");
  return v != nullptr && *v != '\0' && std::strcmp(v, "0") != 0;
}

const minihost::MiniHost& Host() {
  static const minihost::MiniHost* host = [] {
    auto* h = new minihost::MiniHost(minihost::LinkedEffectModule());
    EXPECT_EQ(h->GlobalSetup(), PF_Err_NONE);
    EXPECT_EQ(h->ParamsSetup(), PF_Err_NONE);
    return h;
  }();
  return *host;
}

constexpr PF_Pixel8 Key(Colour8 c) { return PF_Pixel8{c.alpha, c.red, c.green, c.blue}; }

// Key colours: the default (white), scene colours and the example's sky.
constexpr PF_Pixel8 kWhite = Key(test_images::colours::white);
constexpr PF_Pixel8 kInk = Key(test_images::colours::ink);
constexpr PF_Pixel8 kPaper = Key(test_images::colours::paper);
constexpr PF_Pixel8 kGlass = Key(test_images::colours::glass);  // the key ignores alpha
constexpr PF_Pixel8 kSun = Key(test_images::colours::sun);
constexpr PF_Pixel8 kBrick = Key(test_images::colours::brick);
constexpr PF_Pixel8 kGrass = Key(test_images::colours::grass);
constexpr PF_Pixel8 kExampleSky{255, 156, 208, 236};

// The key as the table writes it.
std::string KeyName(const PF_Pixel8& key) {
  const std::pair<PF_Pixel8, const char*> names[] = {
      {kWhite, "kWhite"}, {kInk, "kInk"},     {kPaper, "kPaper"}, {kGlass, "kGlass"},
      {kSun, "kSun"},     {kBrick, "kBrick"}, {kGrass, "kGrass"}, {kExampleSky, "kExampleSky"}};
  for (const auto& [k, name] : names)
    if (std::memcmp(&k, &key, sizeof key) == 0) return name;
  return "PF_Pixel8{" + std::to_string(key.alpha) + ", " + std::to_string(key.red) + ", " +
         std::to_string(key.green) + ", " + std::to_string(key.blue) + "}";
}

// 64-bit FNV-1a over width pixels of every row, channels in alpha, red,
// green, blue order, each little-endian.
template <class Pixel>
uint64_t FrameDigest(const HostWorld<Pixel>& world) {
  uint64_t hash = 0xcbf29ce484222325ull;
  auto add = [&hash](uint32_t channel) {
    for (size_t byte = 0; byte < sizeof(Pixel) / 4; ++byte)
      hash = (hash ^ ((channel >> (8 * byte)) & 0xFFu)) * 0x100000001b3ull;
  };
  for (int32_t y = 0; y < world.height(); ++y)
    for (int32_t x = 0; x < world.width(); ++x) {
      const Pixel& p = world.at(x, y);
      add(p.alpha), add(p.red), add(p.green), add(p.blue);
    }
  return hash;
}

// A seeded scene of the shared generator (all its colours; the same with dark
// outlines; or paper, ink and transparent only, where many pixels meet
// transparency and the row padding), or examples/cel_frame.png.
enum class Source { scene, outlinedScene, threeColourScene, example };

struct GoldenCase {
  const char* name;
  Source source;
  uint32_t seed;  // of a scene
  int32_t width, height, padding;
  int depth;  // 8 or 16
  RenderSettings settings;
  uint64_t digest;
};

// clang-format off
const GoldenCase kCases[] = {
    {"1x1+0 8-bit default", Source::scene, 1, 1, 1, 0, 8, {false, kWhite, 1, 0}, 0x988ce9653d8437dbull},
    {"1x1+1 16-bit key glass", Source::scene, 2, 1, 1, 1, 16, {true, kGlass, 1, 0}, 0xa8c7f832281a39c5ull},
    {"1x1+0 16-bit r50 w1", Source::scene, 3, 1, 1, 0, 16, {false, kWhite, 50, 1}, 0x56fbc847e5e5fdc5ull},
    {"2x2+0 8-bit range 0", Source::scene, 4, 2, 2, 0, 8, {false, kWhite, 0, 0}, 0x1eab988ee6a66127ull},
    {"2x2+2 16-bit r1 w1", Source::scene, 5, 2, 2, 2, 16, {false, kWhite, 1, 1}, 0xd1447604673fd3f7ull},
    {"2x2+1 8-bit key paper", Source::scene, 6, 2, 2, 1, 8, {true, kPaper, 1, 0}, 0xe809629b4b5fe43bull},
    {"3x7+0 8-bit r10 w0.3", Source::scene, 7, 3, 7, 0, 8, {false, kWhite, 10, 0.3}, 0x798ab190bcb84c6aull},
    {"3x7+1 16-bit default", Source::scene, 8, 3, 7, 1, 16, {false, kWhite, 1, 0}, 0xe5a3240034ad58bcull},
    {"3x7+0 16-bit key sun r10 w1", Source::scene, 9, 3, 7, 0, 16, {true, kSun, 10, 1}, 0x909a5471fbc97b29ull},
    {"7x3+3 8-bit r50 w1", Source::scene, 10, 7, 3, 3, 8, {false, kWhite, 50, 1}, 0x3a5a068cb097967cull},
    {"7x3+0 16-bit range 0", Source::scene, 11, 7, 3, 0, 16, {false, kWhite, 0, 0}, 0x3acd467c86d56b9dull},
    {"7x3+0 8-bit key grass r0 w0.3", Source::scene, 12, 7, 3, 0, 8, {true, kGrass, 0, 0.3}, 0x7af84a6e967e14abull},
    {"5x5+0 8-bit r1 w1", Source::scene, 13, 5, 5, 0, 8, {false, kWhite, 1, 1}, 0x04d60ec470bc9cd7ull},
    {"5x5+2 16-bit sun unkeyed w0.3", Source::scene, 14, 5, 5, 2, 16, {false, kSun, 1, 0.3}, 0x31f6707d17008a1cull},
    {"12x10+0 8-bit default", Source::scene, 15, 12, 10, 0, 8, {false, kWhite, 1, 0}, 0x3d306ceaa929cf90ull},
    {"outlined 12x10+0 16-bit default", Source::outlinedScene, 16, 12, 10, 0, 16, {false, kWhite, 1, 0}, 0x218bedbc44358170ull},
    {"12x10+1 8-bit key grass r50", Source::scene, 17, 12, 10, 1, 8, {true, kGrass, 50, 0}, 0xa11ccf8a68cd2f15ull},
    {"three-colour 12x10+4 16-bit r10 w0.3", Source::threeColourScene, 18, 12, 10, 4, 16, {false, kWhite, 10, 0.3}, 0x4aa6bcdf833e5b58ull},
    {"16x9+0 8-bit range 0", Source::scene, 19, 16, 9, 0, 8, {false, kWhite, 0, 0}, 0x19a49c1095de1412ull},
    {"three-colour 16x9+3 16-bit r1 w1", Source::threeColourScene, 20, 16, 9, 3, 16, {false, kWhite, 1, 1}, 0xe21446f12271e418ull},
    {"outlined 16x9+0 16-bit key brick r0 w0.3", Source::outlinedScene, 21, 16, 9, 0, 16, {true, kBrick, 0, 0.3}, 0x392d8f0e2e05cc78ull},
    {"outlined 31x17+0 8-bit r50 w1", Source::outlinedScene, 22, 31, 17, 0, 8, {false, kWhite, 50, 1}, 0xb9fe31c4cbd644d6ull},
    {"31x17+2 8-bit key brick r10 w1", Source::scene, 23, 31, 17, 2, 8, {true, kBrick, 10, 1}, 0x2e860105f9c5f1d1ull},
    {"three-colour 31x17+0 16-bit ink unkeyed w0.3", Source::threeColourScene, 24, 31, 17, 0, 16, {false, kInk, 1, 0.3}, 0xd9f1a27a559091dcull},
    {"31x17+5 16-bit key white", Source::scene, 25, 31, 17, 5, 16, {true, kWhite, 1, 0}, 0x07072d99c7c1603full},
    {"40x30+0 8-bit r10 w0.3", Source::scene, 26, 40, 30, 0, 8, {false, kWhite, 10, 0.3}, 0x71ca3f51a82051c3ull},
    {"outlined 40x30+1 16-bit range 0", Source::outlinedScene, 27, 40, 30, 1, 16, {false, kWhite, 0, 0}, 0x3972f69cba370abcull},
    {"three-colour 40x30+0 8-bit r1 w1", Source::threeColourScene, 28, 40, 30, 0, 8, {false, kWhite, 1, 1}, 0x06c1748edc7a01edull},
    {"40x30+3 16-bit key grass r50", Source::scene, 29, 40, 30, 3, 16, {true, kGrass, 50, 0}, 0x6e02734700a7cfccull},
    {"outlined 64x48+0 8-bit default", Source::outlinedScene, 30, 64, 48, 0, 8, {false, kWhite, 1, 0}, 0x320a09eaa58aed36ull},
    {"64x48+7 8-bit key brick r0 w0.3", Source::scene, 31, 64, 48, 7, 8, {true, kBrick, 0, 0.3}, 0xb96eacae130713caull},
    {"three-colour 64x48+0 16-bit r50 w1", Source::threeColourScene, 32, 64, 48, 0, 16, {false, kWhite, 50, 1}, 0x1dc92862ec2acb5bull},
    {"outlined 64x48+2 16-bit r1 w1", Source::outlinedScene, 33, 64, 48, 2, 16, {false, kWhite, 1, 1}, 0x80d7aeb744e74e33ull},
    {"97x61+0 8-bit default", Source::scene, 34, 97, 61, 0, 8, {false, kWhite, 1, 0}, 0x4cb4bb7b2ac6de6aull},
    {"outlined 97x61+3 8-bit range 0", Source::outlinedScene, 35, 97, 61, 3, 8, {false, kWhite, 0, 0}, 0x249f9f2bd21ee176ull},
    {"three-colour 97x61+1 8-bit r10 w0.3", Source::threeColourScene, 36, 97, 61, 1, 8, {false, kWhite, 10, 0.3}, 0x2d32688e45abb228ull},
    {"97x61+5 8-bit key sun r10 w1", Source::scene, 37, 97, 61, 5, 8, {true, kSun, 10, 1}, 0xf06da05cb0977780ull},
    {"outlined 97x61+0 16-bit r1 w1", Source::outlinedScene, 38, 97, 61, 0, 16, {false, kWhite, 1, 1}, 0xa1d4fd5232e31b23ull},
    {"three-colour 97x61+2 16-bit key ink", Source::threeColourScene, 39, 97, 61, 2, 16, {true, kInk, 1, 0}, 0xb0069e2d5c56d68full},
    {"97x61+0 16-bit sun unkeyed w0.3", Source::scene, 40, 97, 61, 0, 16, {false, kSun, 1, 0.3}, 0xb896a6b1870934beull},
    {"outlined 97x61+7 16-bit key grass r50", Source::outlinedScene, 41, 97, 61, 7, 16, {true, kGrass, 50, 0}, 0xa5fc3f121b7400d1ull},
    {"outlined 17x301+0 8-bit default", Source::outlinedScene, 42, 17, 301, 0, 8, {false, kWhite, 1, 0}, 0x1d2267e2549f084eull},
    {"three-colour 17x301+1 8-bit r1 w1", Source::threeColourScene, 43, 17, 301, 1, 8, {false, kWhite, 1, 1}, 0xbfd4c86d6365e8d0ull},
    {"outlined 17x301+2 16-bit r10 w0.3", Source::outlinedScene, 44, 17, 301, 2, 16, {false, kWhite, 10, 0.3}, 0xdb69bd4a228c15eeull},
    {"three-colour 17x301+3 16-bit range 0", Source::threeColourScene, 45, 17, 301, 3, 16, {false, kWhite, 0, 0}, 0x8bec5980389c34ddull},
    {"three-colour 23x451+2 8-bit key paper r10 w1", Source::threeColourScene, 46, 23, 451, 2, 8, {true, kPaper, 10, 1}, 0xe7f48256159626cdull},
    {"outlined 23x451+1 8-bit r50 w1", Source::outlinedScene, 47, 23, 451, 1, 8, {false, kWhite, 50, 1}, 0x4c38e57f5d91a93cull},
    {"three-colour 23x451+1 16-bit default", Source::threeColourScene, 48, 23, 451, 1, 16, {false, kWhite, 1, 0}, 0xe8f86813dbb66c45ull},
    {"outlined 23x451+0 16-bit key ink r0 w0.3", Source::outlinedScene, 49, 23, 451, 0, 16, {true, kInk, 0, 0.3}, 0x3d7776f81e863f15ull},
    {"outlined 31x263+3 8-bit r1 w1", Source::outlinedScene, 50, 31, 263, 3, 8, {false, kWhite, 1, 1}, 0x4c768f1d2a192538ull},
    {"three-colour 31x263+2 8-bit ink unkeyed w0.3", Source::threeColourScene, 51, 31, 263, 2, 8, {false, kInk, 1, 0.3}, 0x1c05766135cf559eull},
    {"outlined 31x263+0 16-bit default", Source::outlinedScene, 52, 31, 263, 0, 16, {false, kWhite, 1, 0}, 0xd8abbd7579386239ull},
    {"three-colour 31x263+4 16-bit r10 w0.3", Source::threeColourScene, 53, 31, 263, 4, 16, {false, kWhite, 10, 0.3}, 0xc9b3d576b6820c91ull},
    {"three-colour 40x577+1 8-bit range 0", Source::threeColourScene, 54, 40, 577, 1, 8, {false, kWhite, 0, 0}, 0x9e9c34f07f89ae52ull},
    {"outlined 40x577+0 8-bit key white", Source::outlinedScene, 55, 40, 577, 0, 8, {true, kWhite, 1, 0}, 0xf563c24bd9175472ull},
    {"three-colour 40x577+3 16-bit r1 w1", Source::threeColourScene, 56, 40, 577, 3, 16, {false, kWhite, 1, 1}, 0x1e202656a6779068ull},
    {"outlined 40x577+1 16-bit r50 w1", Source::outlinedScene, 57, 40, 577, 1, 16, {false, kWhite, 50, 1}, 0xc7628ea4abf81836ull},
    {"example 192x144+0 8-bit default", Source::example, 0, 192, 144, 0, 8, {false, kWhite, 1, 0}, 0x53c2098401b83bdfull},
    {"example 192x144+0 16-bit default", Source::example, 0, 192, 144, 0, 16, {false, kWhite, 1, 0}, 0x48bc9a1b8c1b196dull},
    {"example 192x144+3 8-bit key sky r10 w1", Source::example, 0, 192, 144, 3, 8, {true, kExampleSky, 10, 1}, 0x9f3c13f2e021b7f0ull},
    {"example 192x144+2 16-bit r50 w0.3", Source::example, 0, 192, 144, 2, 16, {false, kWhite, 50, 0.3}, 0xe404d2e7e8f52fd1ull},
};
// clang-format on

// A scene with one shape per 40 pixels (at least 8), so that staircases,
// lines and junctions meet every border, also of tall frames.
template <class Pixel>
void DrawCaseScene(HostWorld<Pixel>& world, const GoldenCase& c) {
  using namespace test_images::colours;
  test_images::Scene scene;
  scene.shapes = 8 + c.width * c.height / 40;
  scene.outlines = c.source == Source::outlinedScene;
  if (c.source == Source::threeColourScene) scene.palette = {paper, ink, transparent};
  test_images::DrawScene(test_images::CanvasOver(world), c.seed, scene);
}

const cli::Image& Example() {
  static const cli::Image image = cli::ReadImage(CORVALIN_EXAMPLE_FRAME);
  return image;
}

struct Rendered {
  uint64_t digest;
  bool inputKeyed;  // the key turned pixels of the input transparent
};

template <class Pixel>
Rendered Render(const GoldenCase& c) {
  HostWorld<Pixel> input(c.width, c.height, c.padding), output(c.width, c.height, c.padding);
  if (c.source != Source::example) {
    DrawCaseScene(input, c);
  } else if (Example().width == c.width && Example().height == c.height) {
    test::ImageToWorld(Example(), input);
  } else {
    ADD_FAILURE() << c.name << ": the example is " << Example().width << "x" << Example().height;
  }
  const HostWorld<Pixel> before = input;
  EXPECT_EQ(Host().Render(c.settings, input, output), PF_Err_NONE) << c.name;
  const size_t bytes =
      sizeof(Pixel) * static_cast<size_t>(input.stride()) * static_cast<size_t>(c.height);
  return Rendered{FrameDigest(output), std::memcmp(before.pixels(), input.pixels(), bytes) != 0};
}

void PrintRow(const GoldenCase& c, uint64_t digest) {
  const RenderSettings& s = c.settings;
  const char* sources[] = {"scene", "outlinedScene", "threeColourScene", "example"};
  std::printf("    {\"%s\", Source::%s, %u, %d, %d, %d, %d, {%s, %s, %g, %g}, 0x%016" PRIx64
              "ull},\n",
              c.name, sources[static_cast<int>(c.source)], c.seed, c.width, c.height, c.padding,
              c.depth, s.useKey ? "true" : "false", KeyName(s.keyColour).c_str(), s.smootherRange,
              s.lineWeight, digest);
}

TEST(Golden, EveryCaseRendersItsRecordedDigest) {
  int mismatches = 0;
  for (const GoldenCase& c : kCases) {
    const Rendered r = c.depth == 16 ? Render<PF_Pixel16>(c) : Render<PF_Pixel8>(c);
    // Keyed cases are meant to find their key colour in the frame.
    if (c.settings.useKey) {
      EXPECT_TRUE(r.inputKeyed) << c.name << ": no pixel has the key colour";
    }
    if (Printing()) {
      PrintRow(c, r.digest);
    } else if (r.digest != c.digest) {
      ++mismatches;
      ADD_FAILURE() << "case \"" << c.name << "\": digest " << std::hex << r.digest << ", recorded "
                    << c.digest;
    }
  }
  EXPECT_EQ(mismatches, 0) << "of " << std::size(kCases) << " cases";
}

constexpr int32_t kPinnedWidth = 12, kPinnedHeight = 10;
using GreyLevels = uint32_t[kPinnedHeight][kPinnedWidth];

// Black ink ('#') on grey paper: a one-pixel line, a small disc and a
// staircase slope.
const char* const kInkOnPaper[kPinnedHeight] = {
    "..##........", "....###.....", ".......###..", "..........##", "......#.....",
    "#....###....", "####..#.....", "#######.....", "##########..", "############",
};

template <class Pixel>
HostWorld<Pixel> InkOnPaper() {
  HostWorld<Pixel> world(kPinnedWidth, kPinnedHeight);
  for (int32_t y = 0; y < kPinnedHeight; ++y)
    for (int32_t x = 0; x < kPinnedWidth; ++x)
      world.at(x, y) = test_images::ToPixel<Pixel>(
          kInkOnPaper[y][x] == '#' ? Colour8{255, 0, 0, 0} : Colour8{255, 240, 240, 240});
  return world;
}

// InkOnPaper rendered with the default controls: each pixel opaque grey
// (red = green = blue) at the level given, or an opaque pure red mark, which
// the render leaves at the corners of its rectangle.
constexpr uint32_t kRedMark = 0xFFFFFFFFu;
// clang-format off
const GreyLevels kInkOnPaper8 = {
    {240, 240,   0,   0, 160, 229, 240, 240, 240, 240, 240, 240},
    {240, kRedMark, 240, 240,  80,  10,  80, 160, 229, 240, 240, kRedMark},
    {240, 240, 240, 240, 240, 229, 160,  80,  10,  80, 209, 240},
    {240, 240, 240, 240, 240, 240, 240, 240, 229, 160,  30,   0},
    {240, 240, 240, 240, 240, 209,  60, 240, 240, 240, 240, 240},
    {  0, 240, 240, 240, 240,  60,   0,  60, 240, 240, 240, 240},
    {  0,   0,   0,  60, 179, 149,   0, 179, 240, 240, 240, 240},
    {  0,   0,   0,   0,   0,   0,   0, 119, 240, 240, 240, 240},
    {  0,   0,   0,   0,   0,   0,   0,   0,  10,  80, 209, 240},
    {  0, kRedMark,   0,   0,   0,   0,   0,   0,   0,   0,   0, kRedMark},
};
const GreyLevels kInkOnPaper16 = {
    {30840, 30840,     0,     0, 20559, 29554, 30840, 30840, 30840, 30840, 30840, 30840},
    {30840, kRedMark, 30840, 30840, 10280,  1285, 10280, 20559, 29554, 30840, 30840, kRedMark},
    {30840, 30840, 30840, 30840, 30840, 29554, 20559, 10280,  1285, 10280, 26985, 30840},
    {30840, 30840, 30840, 30840, 30840, 30840, 30840, 30840, 29554, 20559,  3855,     0},
    {30840, 30840, 30840, 30840, 30840, 26985,  7710, 30840, 30840, 30840, 30840, 30840},
    {    0, 30840, 30840, 30840, 30840,  7710,     0,  7710, 30840, 30840, 30840, 30840},
    {    0,     0,     0,  7710, 23130, 19275,     0, 23130, 30840, 30840, 30840, 30840},
    {    0,     0,     0,     0,     0,     0,     0, 15420, 30840, 30840, 30840, 30840},
    {    0,     0,     0,     0,     0,     0,     0,     0,  1285, 10280, 26985, 30840},
    {    0, kRedMark,     0,     0,     0,     0,     0,     0,     0,     0,     0, kRedMark},
};
// clang-format on

template <class Pixel>
void ExpectPinnedFrame(const GreyLevels& grey) {
  HostWorld<Pixel> input = InkOnPaper<Pixel>(), output(kPinnedWidth, kPinnedHeight);
  ASSERT_EQ(Host().Render(RenderSettings{false, kWhite, 1.0, 0.0}, input, output), PF_Err_NONE);
  constexpr uint32_t M = test_images::ChannelMaximum<Pixel>();
  auto isMark = [](const Pixel& p) {
    return p.alpha == M && p.red == M && p.green == 0 && p.blue == 0;
  };
  if (Printing()) {
    for (int32_t y = 0; y < kPinnedHeight; ++y) {
      std::printf("    {");
      for (int32_t x = 0; x < kPinnedWidth; ++x) {
        const Pixel& p = output.at(x, y);
        const std::string cell = isMark(p) ? "kRedMark" : std::to_string(p.green);
        std::printf("%*s%s", M > 255 ? 5 : 3, cell.c_str(), x + 1 < kPinnedWidth ? ", " : "},\n");
      }
    }
    return;
  }
  int mismatches = 0;
  for (int32_t y = 0; y < kPinnedHeight; ++y)
    for (int32_t x = 0; x < kPinnedWidth; ++x) {
      const Pixel& p = output.at(x, y);
      const uint32_t g = grey[y][x];
      const bool marked = g == kRedMark;
      const bool expected =
          marked ? isMark(p) : p.alpha == M && p.red == g && p.green == g && p.blue == g;
      if (!expected && ++mismatches <= 8) {
        ADD_FAILURE() << "at (" << x << "," << y << "): (" << +p.alpha << "," << +p.red << ","
                      << +p.green << "," << +p.blue << "), expected "
                      << (marked ? "a red mark" : "grey " + std::to_string(g));
      }
    }
  EXPECT_EQ(mismatches, 0);
}

TEST(GoldenPinned, InkOnPaperAtEightBits) { ExpectPinnedFrame<PF_Pixel8>(kInkOnPaper8); }
TEST(GoldenPinned, InkOnPaperAtSixteenBits) { ExpectPinnedFrame<PF_Pixel16>(kInkOnPaper16); }

}  // namespace
}  // namespace corvalin
