// Premultiplied and opaque Sources through the plug-in: a premultiplied
// Source is unpremultiplied for the render and its result premultiplied; an
// opaque one renders as it is and its result is premultiplied (the key can
// make pixels transparent); a straight one renders as before. The Output
// declared in the clip preferences and the pixels written agree: the test
// host records a premultiplied Output pixel whose colour lies above its
// alpha as a misuse.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "effect/associated_alpha.h"
#include "effect/pixel_convert.h"
#include "tests/ofx/ofx_test_support.h"

namespace corvalin::ofxtest {
namespace {

constexpr const char* kPremultiplied = "OfxImageAlphaPremultiplied";
constexpr const char* kStraight = "OfxImageAlphaUnPremultiplied";
constexpr const char* kOpaque = "OfxImageOpaque";

const PF_Pixel8 kKey{255, 200, 20, 60};

// Components as the image stores them (bytes, shorts or floats).
struct Rgba {
  double r, g, b, a;
  bool operator==(const Rgba&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Rgba& p) {
  char text[96];
  std::snprintf(text, sizeof text, "{%.9g, %.9g, %.9g, %.9g}", p.r, p.g, p.b, p.a);
  return os << text;
}

// An RGB image's pixel reads with alpha 0.
Rgba GetPixel(const HostImage& image, int x, int y) {
  double c[4] = {};
  for (int i = 0; i < image.componentCount(); ++i) {
    if (image.componentBytes() == 1)
      c[i] = image.Get<uint8_t>(x, y, i);
    else if (image.componentBytes() == 2)
      c[i] = image.Get<uint16_t>(x, y, i);
    else
      c[i] = image.Get<float>(x, y, i);
  }
  return {c[0], c[1], c[2], c[3]};
}

void SetPixel(HostImage& image, int x, int y, const Rgba& p) {
  const double c[4] = {p.r, p.g, p.b, p.a};
  for (int i = 0; i < 4; ++i) {
    if (image.componentBytes() == 1)
      image.Set(x, y, i, static_cast<uint8_t>(c[i]));
    else if (image.componentBytes() == 2)
      image.Set(x, y, i, static_cast<uint16_t>(c[i]));
    else
      image.Set(x, y, i, static_cast<float>(c[i]));
  }
}

double MaxOf(const HostImage& image) {
  return image.componentBytes() == 1 ? 255 : image.componentBytes() == 2 ? 65535 : 1;
}

PF_Pixel8 Byte(const Rgba& p) {
  return PF_Pixel8{static_cast<uint8_t>(p.a), static_cast<uint8_t>(p.r), static_cast<uint8_t>(p.g),
                   static_cast<uint8_t>(p.b)};
}

std::string Declared(OfxTestHost& host) {
  std::string state;
  EXPECT_EQ(host.GetClipPreferences(&state), kOfxStatOK);
  return state;
}

// ---- Pinned band frames ------------------------------------------------------

// Five rows of 4 pixels, each row one colour, so every edge is a straight
// line and the effect leaves the pixels as they are, but for the corner
// markers (opaque red at columns 1 and 3 of rows 1 and 4) and, with the key
// on, the key-coloured top row, which becomes black transparent. Rows, top
// first: K the key colour {200, 20, 60}, opaque; P half transparent; Q
// nearly transparent; T transparent; R mostly opaque. What is left is the
// conversions and the premultiplication arithmetic, worked out by hand:
//   byte, premultiplied P {100, 50, 25, 128}: unpremultiplied
//     (100 x 255 + 64) / 128 = 199, (50 x 255 + 64) / 128 = 100, 50; then
//     premultiplied (199 x 128 + 127) / 255 = 100, 50, 25 again.
//   short, straight P {50000, 25000, 12345, 32896}: in (v x 32768 + 32767) /
//     65535 = {25000, 12500, 6173, 16448}, out (c x 65535 + 16384) / 32768 =
//     {49999, 25000, 12346, 32895}.
//   short, premultiplied P: the straight channels premultiplied,
//     (c x 16448 + 16384) / 32768 = {12549, 6274, 3099}, written out as
//     {25098, 12548, 6198}; read back to the same channels, unpremultiplied
//     (c x 32768 + 8224) / 16448 = {25001, 12499, 6174}, premultiplied to
//     {12549, 6274, 3099} again.
//   float, premultiplied Q {0.0003, 0.00105, 0.0027, 0.003} (float32 of
//     the straight Q times its alpha): divided by alpha, rounded to 16-bit
//     levels {3277, 11469, 29491}, alpha 98 (0.00299072266); out as
//     level / 32768 times alpha 98 / 32768 in float32: {0.00029909052, ...}.
// A premultiplied T carries colour at alpha 0: it comes out black.
struct BandCase {
  const char* depth;
  const char* state;
  Rgba in[5], out[5];
};

const BandCase kBandCases[] = {
    // clang-format off
    {"OfxBitDepthByte", kStraight,
     {{200, 20, 60, 255}, {200, 100, 50, 128}, {30, 90, 220, 1}, {10, 240, 10, 0},
      {255, 128, 0, 200}},
     {{200, 20, 60, 255}, {200, 100, 50, 128}, {30, 90, 220, 1}, {10, 240, 10, 0},
      {255, 128, 0, 200}}},
    {"OfxBitDepthByte", kPremultiplied,
     {{200, 20, 60, 255}, {100, 50, 25, 128}, {0, 0, 1, 1}, {10, 240, 10, 0}, {200, 100, 0, 200}},
     {{200, 20, 60, 255}, {100, 50, 25, 128}, {0, 0, 1, 1}, {0, 0, 0, 0}, {200, 100, 0, 200}}},
    {"OfxBitDepthByte", kOpaque,
     {{200, 20, 60, 255}, {200, 100, 50, 255}, {30, 90, 220, 255}, {10, 240, 10, 255},
      {255, 128, 0, 255}},
     {{200, 20, 60, 255}, {200, 100, 50, 255}, {30, 90, 220, 255}, {10, 240, 10, 255},
      {255, 128, 0, 255}}},
    {"OfxBitDepthShort", kStraight,
     {{51400, 5140, 15420, 65535}, {50000, 25000, 12345, 32896}, {7777, 23130, 56540, 300},
      {2570, 61680, 2570, 0}, {65535, 32768, 0, 51400}},
     {{51399, 5140, 15420, 65535}, {49999, 25000, 12346, 32895}, {7778, 23130, 56539, 300},
      {2570, 61679, 2570, 0}, {65535, 32768, 0, 51399}}},
    {"OfxBitDepthShort", kPremultiplied,
     {{51399, 5140, 15420, 65535}, {25098, 12548, 6198, 32895}, {36, 106, 258, 300},
      {2570, 61680, 2570, 0}, {51399, 25700, 0, 51399}},
     {{51399, 5140, 15420, 65535}, {25098, 12548, 6198, 32895}, {36, 106, 258, 300},
      {0, 0, 0, 0}, {51399, 25700, 0, 51399}}},
    {"OfxBitDepthShort", kOpaque,
     {{51400, 5140, 15420, 65535}, {50000, 25000, 12345, 65535}, {7777, 23130, 56540, 65535},
      {2570, 61680, 2570, 65535}, {65535, 32768, 0, 65535}},
     {{51399, 5140, 15420, 65535}, {49999, 25000, 12346, 65535}, {7778, 23130, 56539, 65535},
      {2570, 61679, 2570, 65535}, {65535, 32768, 0, 65535}}},
    {"OfxBitDepthFloat", kStraight,
     {{0.784301758f, 0.0784301758f, 0.235290527f, 1.0f}, {0.8f, 0.4f, 0.2f, 0.5f},
      {0.1f, 0.35f, 0.9f, 0.003f}, {0.05f, 0.9f, 0.05f, 0.0f}, {1.0f, 0.5f, 0.0f, 0.75f}},
     // clang-format on
     {{0.784301758f, 0.0784301758f, 0.235290527f, 1.0f},
      {0.799987793f, 0.399993896f, 0.200012207f, 0.5f},
      {0.100006104f, 0.350006104f, 0.899993896f, 0.00299072266f},
      {0.049987793f, 0.899993896f, 0.049987793f, 0.0f},
      {1.0f, 0.5f, 0.0f, 0.75f}}},
    {"OfxBitDepthFloat",
     kPremultiplied,
     {{0.784301758f, 0.0784301758f, 0.235290527f, 1.0f},
      {0.4f, 0.2f, 0.1f, 0.5f},
      {0.000300000014f, 0.00104999996f, 0.00269999984f, 0.003f},
      {0.05f, 0.9f, 0.05f, 0.0f},
      {0.75f, 0.375f, 0.0f, 0.75f}},
     {{0.784301758f, 0.0784301758f, 0.235290527f, 1.0f},
      {0.399993896f, 0.199996948f, 0.100006104f, 0.5f},
      {0.00029909052f, 0.00104677118f, 0.00269163214f, 0.00299072266f},
      {0.0f, 0.0f, 0.0f, 0.0f},
      {0.75f, 0.375f, 0.0f, 0.75f}}},
    {"OfxBitDepthFloat",
     kOpaque,
     {{0.784301758f, 0.0784301758f, 0.235290527f, 1.0f},
      {0.8f, 0.4f, 0.2f, 1.0f},
      {0.1f, 0.35f, 0.9f, 1.0f},
      {0.05f, 0.9f, 0.05f, 1.0f},
      {1.0f, 0.5f, 0.0f, 1.0f}},
     {{0.784301758f, 0.0784301758f, 0.235290527f, 1.0f},
      {0.799987793f, 0.399993896f, 0.200012207f, 1.0f},
      {0.100006104f, 0.350006104f, 0.899993896f, 1.0f},
      {0.049987793f, 0.899993896f, 0.049987793f, 1.0f},
      {1.0f, 0.5f, 0.0f, 1.0f}}},
};

TEST(OfxPremultiplied, PinnedBandFramesAtEveryDepth) {
  OfxTestHost host(BundleBinary());
  Prepare(host);
  const OfxRectI bounds{3, -2, 7, 3};
  for (const BandCase& c : kBandCases)
    for (const bool key : {false, true}) {
      SCOPED_TRACE(std::string(c.depth) + " " + c.state + (key ? " key on" : " key off"));
      SetParams(host, RenderSettings{key, kKey, 1.0, 0.0});
      HostImage source(c.depth, "OfxImageComponentRGBA", bounds);
      source.premultiplication = c.state;
      for (int row = 0; row < 5; ++row)
        for (int x = bounds.x1; x < bounds.x2; ++x)
          SetPixel(source, x, bounds.y2 - 1 - row, c.in[row]);
      HostImage output(c.depth, "OfxImageComponentRGBA", bounds);
      ASSERT_EQ(RenderThrough(host, source, output, bounds), kOfxStatOK);
      EXPECT_EQ(Declared(host), c.state == kStraight ? kStraight : kPremultiplied);

      const double max = MaxOf(output);
      for (int row = 0; row < 5; ++row)
        for (int col = 0; col < 4; ++col) {
          const bool marker = (row == 1 || row == 4) && (col == 1 || col == 3);
          Rgba expected = c.out[row];
          if (marker) expected = Rgba{max, 0, 0, max};
          if (key && row == 0) expected = Rgba{0, 0, 0, 0};
          EXPECT_EQ(GetPixel(output, bounds.x1 + col, bounds.y2 - 1 - row), expected)
              << "row " << row << ", column " << col;
        }
      EXPECT_TRUE(host.misuses().empty()) << host.misuses()[0];
      host.ClearRecords();
    }
}

// ---- A smoothed edge against keyed pixels --------------------------------------

// The stair of OfxRender.PinnedSmallFrame (white over blue, step pixels
// mixed with weights 191, 86 and 11 of 255 for white), with white keyed out.
// A mix with a transparent pixel keeps the other's colour and takes alpha
// (0 x w + 255 x (255 - w)) / 255 = 64, 169, 244. Straight, blue stays
// {20, 60, 200}; from an opaque Source it is premultiplied:
//   alpha 64:  (20 x 64 + 127) / 255 = 5, (60 x 64 + 127) / 255 = 15, 50
//   alpha 169: 13, 40, 133;  alpha 244: 19, 57, 191.
TEST(OfxPremultiplied, KeyedEdgeOfAnOpaqueSourceIsPremultiplied) {
  const Picture picture = StairPicture();
  const Rgba z{0, 0, 0, 0}, b{20, 60, 200, 255}, m{255, 0, 0, 255};
  const struct {
    const char* state;
    Rgba step[3];
  } cases[] = {{kOpaque, {{5, 15, 50, 64}, {13, 40, 133, 169}, {19, 57, 191, 244}}},
               {kStraight, {{20, 60, 200, 64}, {20, 60, 200, 169}, {20, 60, 200, 244}}}};
  OfxTestHost host(BundleBinary());
  Prepare(host);
  SetParams(host, RenderSettings{true, PF_Pixel8{255, 255, 255, 255}, 1.0, 0.0});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.state);
    HostImage source = SourceImage(picture, "OfxBitDepthByte", "OfxImageComponentRGBA", {});
    source.premultiplication = c.state;
    HostImage output("OfxBitDepthByte", "OfxImageComponentRGBA", source.bounds);
    ASSERT_EQ(RenderThrough(host, source, output, source.bounds), kOfxStatOK);
    const Rgba expected[5][8] = {{z, z, z, z, z, z, z, z},
                                 {z, z, z, z, z, z, z, z},
                                 {z, m, z, c.step[0], c.step[1], c.step[2], b, m},
                                 {b, b, b, b, b, b, b, b},
                                 {b, m, b, b, b, b, b, m}};
    for (int row = 0; row < 5; ++row)
      for (int col = 0; col < 8; ++col)
        EXPECT_EQ(GetPixel(output, col, 4 - row), expected[row][col])
            << "row " << row << ", column " << col;
  }
  EXPECT_TRUE(host.misuses().empty()) << host.misuses()[0];
}

// ---- Generated frames ----------------------------------------------------------

// Per depth: a straight picture's pixel as the image stores it, premultiplied
// or unpremultiplied by the one definition, on render channels for bytes and
// shorts and on float samples for floats.
Rgba Premultiplied(const char* depth, const Rgba& p) {
  const std::string d = depth;
  if (d == "OfxBitDepthByte") {
    const PF_Pixel8 q = PremultiplyPixel(Byte(p));
    return {double(q.red), double(q.green), double(q.blue), double(q.alpha)};
  }
  if (d == "OfxBitDepthShort") {
    auto in = [](double v) { return FileToChannel16(static_cast<uint32_t>(v), 16); };
    const PF_Pixel16 q = PremultiplyPixel(PF_Pixel16{in(p.a), in(p.r), in(p.g), in(p.b)});
    return {double(Channel16ToFile(q.red)), double(Channel16ToFile(q.green)),
            double(Channel16ToFile(q.blue)), double(Channel16ToFile(q.alpha))};
  }
  float r = float(p.r), g = float(p.g), b = float(p.b);
  PremultiplyFloat(r, g, b, float(p.a));
  return {r, g, b, p.a};
}

Rgba Unpremultiplied(const char* depth, const Rgba& p) {
  const std::string d = depth;
  if (d == "OfxBitDepthByte") {
    const PF_Pixel8 q = UnpremultiplyPixel(Byte(p));
    return {double(q.red), double(q.green), double(q.blue), double(q.alpha)};
  }
  if (d == "OfxBitDepthShort") {
    auto in = [](double v) { return FileToChannel16(static_cast<uint32_t>(v), 16); };
    const PF_Pixel16 q = UnpremultiplyPixel(PF_Pixel16{in(p.a), in(p.r), in(p.g), in(p.b)});
    return {double(Channel16ToFile(q.red)), double(Channel16ToFile(q.green)),
            double(Channel16ToFile(q.blue)), double(Channel16ToFile(q.alpha))};
  }
  float r = float(p.r), g = float(p.g), b = float(p.b);
  UnpremultiplyFloat(r, g, b, float(p.a));
  return {r, g, b, p.a};
}

// A component as a render channel: bytes as they are, shorts and floats as
// the plug-in reads them.
double Channel(const char* depth, double v) {
  const std::string d = depth;
  if (d == "OfxBitDepthByte") return v;
  if (d == "OfxBitDepthShort") return FileToChannel16(static_cast<uint32_t>(v), 16);
  return FloatToChannel16(static_cast<float>(v));
}

HostImage Relabelled(HostImage image, const char* state) {
  image.premultiplication = state;
  return image;
}

HostImage Render(OfxTestHost& host, HostImage& source) {
  HostImage output(source.depth, source.components, source.bounds);
  EXPECT_EQ(RenderThrough(host, source, output, source.bounds), kOfxStatOK);
  return output;
}

// A premultiplied Source renders as the same Source given unpremultiplied,
// premultiplied afterwards: every colour lies within its alpha, transparent
// pixels are black, and unpremultiplying the output gives the straight
// render back, to within M / (2a) + 1/2 channel steps for bytes and shorts
// (M = 255, 32768) and exactly in float samples rounded to render levels.
TEST(OfxPremultiplied, PremultipliedSourceRendersAsItsStraightColour) {
  OfxTestHost host(BundleBinary());
  Prepare(host);
  const RenderSettings settings[] = {SettingsSet()[3], SettingsSet()[4]};  // key on, key off
  int partial = 0;
  for (uint32_t seed : {31u, 32u, 33u})
    for (const RenderSettings& s : settings)
      for (const char* depth : kDepths) {
        SCOPED_TRACE(std::string(depth) + " frame " + std::to_string(seed) +
                     (s.useKey ? " key on" : " key off"));
        SetParams(host, s);
        const Picture picture = GeneratedPicture(seed, 41, 29, seed == 32 ? 16 : 8);
        HostImage premultiplied =
            Relabelled(SourceImage(picture, depth, "OfxImageComponentRGBA", {}), kPremultiplied);
        HostImage straight = Relabelled(premultiplied, kStraight);
        const OfxRectI& b = premultiplied.bounds;
        for (int y = b.y1; y < b.y2; ++y)
          for (int x = b.x1; x < b.x2; ++x) {
            SetPixel(premultiplied, x, y, Premultiplied(depth, GetPixel(premultiplied, x, y)));
            SetPixel(straight, x, y, Unpremultiplied(depth, GetPixel(premultiplied, x, y)));
          }
        const HostImage pre = Render(host, premultiplied);
        EXPECT_EQ(Declared(host), kPremultiplied);
        const HostImage ref = Render(host, straight);
        EXPECT_EQ(Declared(host), kStraight);
        for (int y = b.y1; y < b.y2; ++y)
          for (int x = b.x1; x < b.x2; ++x) {
            const Rgba p = GetPixel(pre, x, y), q = GetPixel(ref, x, y);
            ASSERT_EQ(p, Premultiplied(depth, q)) << x << ", " << y;
            ASSERT_EQ(p.a, q.a);
            ASSERT_TRUE(p.r <= p.a && p.g <= p.a && p.b <= p.a) << p;
            if (p.a == 0) {
              ASSERT_EQ(p, (Rgba{0, 0, 0, 0}));
              continue;
            }
            const Rgba u = Unpremultiplied(depth, p);
            const double a = Channel(depth, p.a);
            const double m = std::string(depth) == "OfxBitDepthByte" ? 255 : 32768;
            const double bound = std::string(depth) == "OfxBitDepthFloat" ? 0 : m / (2 * a) + 0.5;
            if (a < m) ++partial;
            const double got[3] = {u.r, u.g, u.b}, want[3] = {q.r, q.g, q.b};
            for (int c = 0; c < 3; ++c)
              ASSERT_LE(std::abs(Channel(depth, got[c]) - Channel(depth, want[c])), bound)
                  << x << ", " << y << ": " << u << " against " << q;
          }
      }
  EXPECT_GT(partial, 1000);
  EXPECT_TRUE(host.misuses().empty()) << host.misuses()[0];
}

// An opaque Source renders byte for byte as a straight one while its output
// stays opaque (key off); with the key on, its output is the straight
// render premultiplied. RGB images carry no alpha: they too come out
// premultiplied by the alpha the render gave them.
TEST(OfxPremultiplied, OpaqueSourceIsTheStraightRenderPremultiplied) {
  OfxTestHost host(BundleBinary());
  Prepare(host);
  const RenderSettings settings[] = {SettingsSet()[3], SettingsSet()[4],
                                     SettingsSet()[5]};  // key on, off, white key on
  for (const RenderSettings& s : settings)
    for (const char* depth : kDepths)
      for (const char* components : kComponents) {
        SCOPED_TRACE(std::string(depth) + " " + components + (s.useKey ? " key on" : " key off"));
        SetParams(host, s);
        const Picture picture = Opaque(GeneratedPicture(41, 37, 26, 8));
        HostImage opaque = Relabelled(SourceImage(picture, depth, components, {}), kOpaque);
        HostImage straight = Relabelled(opaque, kStraight);
        const HostImage out = Render(host, opaque);
        EXPECT_EQ(Declared(host), kPremultiplied);
        const HostImage ref = Render(host, straight);
        if (!s.useKey) {
          EXPECT_EQ(out.bytes(), ref.bytes());
          continue;
        }
        // The straight RGBA render gives the alpha an RGB output leaves out.
        HostImage alpha =
            Relabelled(SourceImage(picture, depth, "OfxImageComponentRGBA", {}), kStraight);
        const HostImage withAlpha = Render(host, alpha);
        int transparent = 0;
        for (int y = 0; y < picture.height; ++y)
          for (int x = 0; x < picture.width; ++x) {
            const Rgba a = GetPixel(withAlpha, x, y);
            transparent += a.a == 0;
            const Rgba expected = Premultiplied(depth, a);
            for (int c = 0; c < out.componentCount(); ++c) {
              const double e[4] = {expected.r, expected.g, expected.b, expected.a};
              const Rgba got = GetPixel(out, x, y);
              const double g[4] = {got.r, got.g, got.b, got.a};
              ASSERT_EQ(g[c], e[c]) << x << ", " << y << " c" << c;
            }
          }
        EXPECT_GT(transparent, 0);
      }
  EXPECT_TRUE(host.misuses().empty()) << host.misuses()[0];
}

// ---- What the host takes and checks ----------------------------------------------

// The image states its premultiplication; an image that leaves it empty
// takes the clip's. A state the standard does not name fails the render and
// leaves the output alone.
TEST(OfxPremultiplied, StateFromTheImageOrElseTheClip) {
  OfxTestHost host(BundleBinary());
  Prepare(host);
  SetParams(host, SettingsSet()[3]);
  const Picture picture = GeneratedPicture(5, 20, 16, 8);
  HostImage source = Relabelled(
      SourceImage(picture, "OfxBitDepthShort", "OfxImageComponentRGBA", {}), kPremultiplied);
  const HostImage labelled = Render(host, source);

  HostImage unlabelled = Relabelled(source, "");
  ClipSetup clip;
  clip.depth = "OfxBitDepthShort";
  clip.premultiplication = kPremultiplied;
  clip.rod = OfxRectD{0, 0, 20, 16};
  host.SetSourceClip(clip);
  ASSERT_EQ(Declared(host), kPremultiplied);
  HostImage output("OfxBitDepthShort", "OfxImageComponentRGBA", source.bounds);
  RenderRequest request;
  request.source = &unlabelled;
  request.output = &output;
  request.window = source.bounds;
  ASSERT_EQ(host.Render(request), kOfxStatOK);
  EXPECT_EQ(output.bytes(), labelled.bytes());
  EXPECT_TRUE(host.misuses().empty()) << host.misuses()[0];

  HostImage unknown = Relabelled(source, "OfxImageAlphaSomehow");
  HostImage untouched("OfxBitDepthShort", "OfxImageComponentRGBA", source.bounds);
  const std::vector<unsigned char> before = untouched.bytes();
  request.source = &unknown;
  request.output = &untouched;
  EXPECT_EQ(host.Render(request), kOfxStatErrUnsupported);
  EXPECT_EQ(untouched.bytes(), before);
  ASSERT_FALSE(host.messages().empty());
  EXPECT_NE(host.messages().back().text.find("OfxImageAlphaSomehow"), std::string::npos);
}

// The host's check: colour above alpha in a premultiplied Output, or alpha
// short of its maximum in an opaque one, at every depth.
TEST(OfxPremultiplied, HostCatchesPixelsThatBreakTheDeclaredState) {
  const OfxRectI bounds{0, 0, 2, 1};
  for (const char* depth : kDepths) {
    SCOPED_TRACE(depth);
    HostImage image(depth, "OfxImageComponentRGBA", bounds);
    const double max = MaxOf(image);
    SetPixel(image, 0, 0, Rgba{max / 2, 0, max / 2, max / 2});
    SetPixel(image, 1, 0, Rgba{max, max, max, max});
    EXPECT_EQ(AlphaFault(image, bounds, kPremultiplied), "");
    EXPECT_NE(AlphaFault(image, bounds, kOpaque), "");
    EXPECT_EQ(AlphaFault(image, OfxRectI{1, 0, 2, 1}, kOpaque), "");
    SetPixel(image, 0, 0, Rgba{0, max / 2, 0, max / 4});
    EXPECT_NE(AlphaFault(image, bounds, kPremultiplied), "");
    EXPECT_EQ(AlphaFault(image, bounds, kStraight), "");
  }

  // A host that declares the Output premultiplied from its clip but hands
  // over a straight image gets straight pixels back, and says so.
  OfxTestHost host(BundleBinary());
  ClipSetup clip;
  clip.premultiplication = kPremultiplied;
  Prepare(host, clip);
  SetParams(host, SettingsSet()[4]);
  Picture picture{6, 5, 8, {}};
  for (int i = 0; i < 6 * 5; ++i) picture.samples.insert(picture.samples.end(), {10, 240, 10, 128});
  HostImage source = SourceImage(picture, "OfxBitDepthByte", "OfxImageComponentRGBA", {});
  HostImage output("OfxBitDepthByte", "OfxImageComponentRGBA", source.bounds);
  ASSERT_EQ(host.Render(WholeFrameRequest(source, output)), kOfxStatOK);
  ASSERT_EQ(host.misuses().size(), 1u);
  EXPECT_NE(host.misuses()[0].find("declared premultiplied"), std::string::npos)
      << host.misuses()[0];
}

}  // namespace
}  // namespace corvalin::ofxtest
