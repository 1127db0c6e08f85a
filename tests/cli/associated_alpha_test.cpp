// The associated-alpha arithmetic: hand-worked values at both depths and in
// float, opaque pixels untouched, and the round-trip bound every adapter's
// tests rely on, over every 8-bit pair and a sweep of 16-bit ones.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "effect/associated_alpha.h"

namespace corvalin {
namespace {

PF_Pixel8 P8(int a, int r, int g, int b) {
  return PF_Pixel8{static_cast<A_u_char>(a), static_cast<A_u_char>(r), static_cast<A_u_char>(g),
                   static_cast<A_u_char>(b)};
}

PF_Pixel16 P16(int a, int r, int g, int b) {
  return PF_Pixel16{static_cast<A_u_short>(a), static_cast<A_u_short>(r), static_cast<A_u_short>(g),
                    static_cast<A_u_short>(b)};
}

template <class Pixel>
void ExpectPixel(const Pixel& p, int a, int r, int g, int b) {
  EXPECT_EQ(p.alpha, a);
  EXPECT_EQ(p.red, r);
  EXPECT_EQ(p.green, g);
  EXPECT_EQ(p.blue, b);
}

TEST(AssociatedAlpha, HandWorkedValues) {
  // 8 bits: premultiply (c*a + 127) / 255, unpremultiply (c*255 + a/2) / a.
  ExpectPixel(PremultiplyPixel(P8(128, 255, 100, 1)), 128, 128, 50, 1);
  ExpectPixel(UnpremultiplyPixel(P8(128, 128, 50, 0)), 128, 255, 100, 0);
  ExpectPixel(UnpremultiplyPixel(P8(3, 1, 2, 3)), 3, 85, 170, 255);
  // Colour above alpha (not a premultiplied colour) is held to the maximum.
  ExpectPixel(UnpremultiplyPixel(P8(10, 200, 11, 10)), 10, 255, 255, 255);
  // Alpha 0: no colour either way.
  ExpectPixel(UnpremultiplyPixel(P8(0, 9, 200, 255)), 0, 0, 0, 0);
  ExpectPixel(PremultiplyPixel(P8(0, 9, 200, 255)), 0, 0, 0, 0);
  // 16 bits, M = 32768: premultiply (c*a + 16384) / 32768.
  ExpectPixel(PremultiplyPixel(P16(16384, 32768, 1, 3)), 16384, 16384, 1, 2);
  ExpectPixel(UnpremultiplyPixel(P16(16384, 16384, 1, 2)), 16384, 32768, 2, 4);
  ExpectPixel(UnpremultiplyPixel(P16(1, 1, 0, 1)), 1, 32768, 0, 32768);
}

TEST(AssociatedAlpha, OpaquePixelsAreUntouchedBothWays) {
  for (int c = 0; c <= 255; ++c) {
    ExpectPixel(PremultiplyPixel(P8(255, c, 255 - c, c / 2)), 255, c, 255 - c, c / 2);
    ExpectPixel(UnpremultiplyPixel(P8(255, c, 255 - c, c / 2)), 255, c, 255 - c, c / 2);
  }
  for (int c = 0; c <= 32768; c += 7) {
    ExpectPixel(PremultiplyPixel(P16(32768, c, 32768 - c, 1)), 32768, c, 32768 - c, 1);
    ExpectPixel(UnpremultiplyPixel(P16(32768, c, 32768 - c, 1)), 32768, c, 32768 - c, 1);
  }
  float r = 0.3f, g = 1.7f, b = -0.25f;
  UnpremultiplyFloat(r, g, b, 1.0f);
  PremultiplyFloat(r, g, b, 1.0f);
  EXPECT_EQ(r, 0.3f);
  EXPECT_EQ(g, 1.7f);
  EXPECT_EQ(b, -0.25f);
}

// Premultiplied colour always lies within alpha, and a straight colour comes
// back from premultiplying within M / (2a) + 1/2 steps.
template <class Pixel>
void CheckRoundTrip(int a, int c) {
  constexpr double m = ChannelMax<Pixel>();
  Pixel p{};
  p.alpha = static_cast<decltype(p.alpha)>(a);
  p.red = p.green = p.blue = static_cast<decltype(p.red)>(c);
  const Pixel pre = PremultiplyPixel(p);
  ASSERT_LE(pre.red, a) << a << " " << c;
  const Pixel back = UnpremultiplyPixel(pre);
  ASSERT_LE(std::abs(back.red - c), m / (2.0 * a) + 0.5) << a << " " << c;
  // A premultiplied colour survives unpremultiplying and premultiplying whole.
  p.red = static_cast<decltype(p.red)>(c * a / static_cast<int>(m));
  ASSERT_EQ(PremultiplyPixel(UnpremultiplyPixel(p)).red, p.red) << a << " " << c;
}

TEST(AssociatedAlpha, RoundTripBound) {
  for (int a = 1; a <= 255; ++a)
    for (int c = 0; c <= 255; ++c) CheckRoundTrip<PF_Pixel8>(a, c);
  for (int a = 1; a <= 32768; a += 97)
    for (int c = 0; c <= 32768; c += 61) CheckRoundTrip<PF_Pixel16>(a, c);
}

TEST(AssociatedAlpha, FloatArithmetic) {
  float r = 0.25f, g = 0.5f, b = 0.0f;
  UnpremultiplyFloat(r, g, b, 0.5f);
  EXPECT_EQ(r, 0.5f);
  EXPECT_EQ(g, 1.0f);
  EXPECT_EQ(b, 0.0f);
  PremultiplyFloat(r, g, b, 0.25f);
  EXPECT_EQ(r, 0.125f);
  EXPECT_EQ(g, 0.25f);
  for (float alpha : {0.0f, -1.0f, NAN}) {
    r = g = b = 0.75f;
    UnpremultiplyFloat(r, g, b, alpha);
    EXPECT_EQ(r, 0.0f);
    EXPECT_EQ(b, 0.0f);
  }
}

}  // namespace
}  // namespace corvalin
