// Premultiplied pictures in and out of render frames, against the arithmetic
// of effect/associated_alpha.h written out here: every colour with every
// alpha for the integer conversions, and floats from zero and the denormals
// through 1 to the infinities and NaN for the float ones, in rows whose
// pixels share their alpha and in rows that mix opaque, empty and
// translucent pixels. Both paths run; the scalar loops, which divide in
// integers, take every 61st alpha at 16 bits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "effect/pixel_convert.h"
#include "effect/sample_convert.h"

namespace corvalin {
namespace {

constexpr auto kPremultiplied = AlphaConvention::premultiplied;

template <class Pixel, class Sample>
std::vector<Pixel> Load(const std::vector<Sample>& samples) {
  const auto width = static_cast<int32_t>(samples.size() / 4);
  std::vector<Pixel> frame(static_cast<size_t>(width));
  const auto rowBytes = static_cast<std::ptrdiff_t>(samples.size() * sizeof(Sample));
  LoadSamples<Pixel, Sample>(reinterpret_cast<const std::byte*>(samples.data()),
                             PackedSamples<Sample>(4, rowBytes, kPremultiplied), frame.data(),
                             width, width, 0, 1);
  return frame;
}

template <class Sample, class Pixel>
std::vector<Sample> Store(const std::vector<Pixel>& frame) {
  const auto width = static_cast<int32_t>(frame.size());
  std::vector<Sample> samples(frame.size() * 4);
  const auto rowBytes = static_cast<std::ptrdiff_t>(samples.size() * sizeof(Sample));
  StoreSamples<Pixel, Sample>(frame.data(), width, reinterpret_cast<std::byte*>(samples.data()),
                              PackedSamples<Sample>(4, rowBytes, kPremultiplied), width, 0, 1);
  return samples;
}

// The documented integer rules, M the channel maximum.
uint32_t Unpremultiplied(uint32_t c, uint32_t a, uint32_t m) {
  if (a == 0) return 0;
  return static_cast<uint32_t>(std::min<uint64_t>(m, (uint64_t{c} * m + a / 2) / a));
}
uint32_t Premultiplied(uint32_t c, uint32_t a, uint32_t m) {
  return static_cast<uint32_t>((uint64_t{c} * a + m / 2) / m);
}

// floor((c x m + a / 2) / a) for c = first, first + step, ... by long
// division's steps, so that a billion of them need no division each.
class Quotients {
 public:
  Quotients(uint32_t m, uint32_t a, uint32_t first, uint32_t step)
      : q_((first * m + a / 2) / a), r_((first * m + a / 2) % a), stepQ_(step * m / a),
        stepR_(step * m % a), a_(a) {}
  uint32_t operator*() const { return q_; }
  void Next() {
    q_ += stepQ_;
    r_ += stepR_;
    const uint32_t carry = r_ >= a_ ? 1 : 0;  // without a branch: it goes either way
    q_ += carry;
    r_ -= carry * a_;
  }

 private:
  uint32_t q_, r_;
  const uint32_t stepQ_, stepR_, a_;
};

// A 16-bit sample that loads as channel c (FileToChannel16(s, 16) = (s + 1)
// / 2), odd or even by `odd` where both exist.
uint16_t SampleOf(uint32_t c, bool odd) {
  if (c == 0) return 0;
  if (c == PF_MAX_CHAN16 || odd) return static_cast<uint16_t>(2 * c - 1);
  return static_cast<uint16_t>(2 * c);
}

class PremultipliedSamples : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override { UseVectorConversions(GetParam()); }
  void TearDown() override { UseVectorConversions(true); }
  bool scalar() const { return !VectorConversionsOn(); }
};

INSTANTIATE_TEST_SUITE_P(Paths, PremultipliedSamples, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& path) {
                           return path.param ? "vector" : "scalar";
                         });

TEST_P(PremultipliedSamples, EveryByteColourWithEveryAlpha) {
  // Pixel (c, a) for every c and a, a row per alpha, then the same pixels in
  // an order that puts different alphas side by side.
  std::vector<uint8_t> samples;
  for (uint32_t a = 0; a < 256; ++a)
    for (uint32_t c = 0; c < 256; ++c)
      samples.insert(samples.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(255 - c),
                                     static_cast<uint8_t>(c * 7), static_cast<uint8_t>(a)});
  std::vector<uint8_t> mixed(samples.size());
  for (size_t p = 0; p < samples.size() / 4; ++p) {
    const size_t from = (p * 40503) % (samples.size() / 4);  // odd: a permutation of 2^16
    std::memcpy(&mixed[p * 4], &samples[from * 4], 4);
  }
  for (const std::vector<uint8_t>* picture : {&samples, &mixed}) {
    const auto frame = Load<PF_Pixel8>(*picture);
    for (size_t p = 0; p < frame.size(); ++p) {
      const uint8_t* s = &(*picture)[p * 4];
      const uint32_t want[4] = {s[3], Unpremultiplied(s[0], s[3], 255),
                                Unpremultiplied(s[1], s[3], 255), Unpremultiplied(s[2], s[3], 255)};
      const uint32_t got[4] = {frame[p].alpha, frame[p].red, frame[p].green, frame[p].blue};
      for (int k = 0; k < 4; ++k) ASSERT_EQ(got[k], want[k]) << "pixel " << p << " channel " << k;
    }
    // And back: every render pixel (c, a) stores as (c x a + 127) / 255.
    std::vector<PF_Pixel8> rendered(picture->size() / 4);
    for (size_t p = 0; p < rendered.size(); ++p) {
      const uint8_t* s = &(*picture)[p * 4];
      rendered[p] = PF_Pixel8{s[3], s[0], s[1], s[2]};
    }
    const auto stored = Store<uint8_t>(rendered);
    for (size_t p = 0; p < rendered.size(); ++p) {
      const PF_Pixel8& r = rendered[p];
      const uint32_t want[4] = {Premultiplied(r.red, r.alpha, 255),
                                Premultiplied(r.green, r.alpha, 255),
                                Premultiplied(r.blue, r.alpha, 255), r.alpha};
      for (int k = 0; k < 4; ++k)
        ASSERT_EQ(stored[p * 4 + static_cast<size_t>(k)], want[k])
            << "pixel " << p << " sample " << k;
    }
  }
}

TEST_P(PremultipliedSamples, EverySixteenBitColourWithEveryAlpha) {
  // A row per alpha channel 0..32768 holding every colour channel 0..32768,
  // three a pixel (32769 = 3 x 10923), from odd and even samples.
  constexpr uint32_t m = PF_MAX_CHAN16;
  constexpr int32_t width = (m + 1) / 3;
  std::vector<uint16_t> samples(width * 4);
  for (size_t p = 0; p < width; ++p)
    for (size_t k = 0; k < 3; ++k) samples[p * 4 + k] = SampleOf(uint32_t(p * 3 + k), (p + k) % 2);
  const SampleLayout layout = PackedSamples<uint16_t>(4, width * 8, kPremultiplied);
  std::vector<PF_Pixel16> frame(width), want(width);
  for (uint32_t a = 0; a <= m; a += scalar() ? 61u : 1u) {
    for (size_t p = 0; p < width; ++p) samples[p * 4 + 3] = SampleOf(a, (p + a) % 2);
    LoadSamples<PF_Pixel16, uint16_t>(reinterpret_cast<const std::byte*>(samples.data()), layout,
                                      frame.data(), width, width, 0, 1);
    // The red, green and blue colours of the row: 0, 3, 6, ..., 1, 4, 7, ....
    const uint32_t divisor = std::max<uint32_t>(a, 1);
    Quotients q[3] = {{m, divisor, 0, 3}, {m, divisor, 1, 3}, {m, divisor, 2, 3}};
    uint16_t c[3];
    for (size_t p = 0; p < width; ++p) {
      for (int k = 0; k < 3; ++k) {
        c[k] = static_cast<uint16_t>(a == 0 ? 0 : std::min(*q[k], m));
        q[k].Next();
      }
      want[p] = PF_Pixel16{static_cast<uint16_t>(a), c[0], c[1], c[2]};
    }
    if (std::memcmp(frame.data(), want.data(), width * sizeof(PF_Pixel16)) != 0) {
      size_t p = 0;
      while (std::memcmp(&frame[p], &want[p], sizeof(PF_Pixel16)) == 0) ++p;
      FAIL() << "alpha " << a << ", colours " << p * 3 << ".." << p * 3 + 2 << ": got "
             << frame[p].red << " " << frame[p].green << " " << frame[p].blue << ", want "
             << want[p].red << " " << want[p].green << " " << want[p].blue;
    }
  }
}

// Every colour of `frame` stored, with the rows' alphas set to each of
// `alphas` by turns, against `want` of a pixel.
template <class Sample, class Want>
void ExpectStoresOfEveryAlpha(std::vector<PF_Pixel16> frame, const std::vector<uint32_t>& alphas,
                              Want want) {
  const auto width = static_cast<int32_t>(frame.size());
  const SampleLayout layout = PackedSamples<Sample>(
      4, width * 4 * static_cast<std::ptrdiff_t>(sizeof(Sample)), kPremultiplied);
  std::vector<Sample> stored(frame.size() * 4), wanted(frame.size() * 4);
  for (const uint32_t a : alphas) {
    for (PF_Pixel16& p : frame) p.alpha = static_cast<uint16_t>(a);
    StoreSamples<PF_Pixel16, Sample>(
        frame.data(), width, reinterpret_cast<std::byte*>(stored.data()), layout, width, 0, 1);
    for (size_t p = 0; p < frame.size(); ++p) want(frame[p], &wanted[p * 4]);
    if (std::memcmp(stored.data(), wanted.data(), stored.size() * sizeof(Sample)) != 0) {
      size_t i = 0;
      while (std::memcmp(&stored[i], &wanted[i], sizeof(Sample)) == 0) ++i;
      const PF_Pixel16& f = frame[i / 4];
      const uint32_t channel[4] = {f.red, f.green, f.blue, f.alpha};
      FAIL() << "channel " << channel[i % 4] << " at alpha " << a << ": got " << stored[i]
             << ", want " << wanted[i];
    }
  }
}

std::vector<uint32_t> Every(uint32_t from, uint32_t to, uint32_t step) {
  std::vector<uint32_t> values;
  for (uint32_t v = from; v <= to; v += step) values.push_back(v);
  return values;
}

// Render pixels holding every colour channel from..to (and on), three a pixel.
std::vector<PF_Pixel16> ColourRow(uint32_t from, uint32_t to, uint32_t step = 1) {
  std::vector<PF_Pixel16> row;
  for (uint32_t c = from; c <= to; c += 3 * step)
    row.push_back(PF_Pixel16{0, static_cast<uint16_t>(c), static_cast<uint16_t>(c + step),
                             static_cast<uint16_t>(c + 2 * step)});
  return row;
}

TEST_P(PremultipliedSamples, EverySixteenBitChannelWithEveryAlphaStores) {
  // Every colour 0..32768 with every alpha 0..32768: the product is then at
  // most 32768, and stores as Channel16ToFile.
  constexpr uint32_t m = PF_MAX_CHAN16;
  std::vector<uint16_t> file(m + 1);
  for (uint32_t v = 0; v <= m; ++v) file[v] = Channel16ToFile(v);
  ExpectStoresOfEveryAlpha<uint16_t>(ColourRow(0, m), Every(0, m, scalar() ? 61u : 1u),
                                     [&file](const PF_Pixel16& f, uint16_t* out) {
                                       const uint32_t c[3] = {f.red, f.green, f.blue};
                                       for (int k = 0; k < 3; ++k)
                                         out[k] = file[(c[k] * f.alpha + m / 2) >> 15];
                                       out[3] = file[f.alpha];
                                     });
}

TEST_P(PremultipliedSamples, StrayChannelsStoreAsTheScalarCodeCutsAndHoldsThem) {
  // Above 32768 (the module never leaves it): the product cut to 16 bits,
  // as the scalar code casts it, then held to 32768 for the table.
  const auto sample = [](uint32_t channel) {
    return Channel16ToFile(std::min<uint32_t>(channel, PF_MAX_CHAN16));
  };
  const auto want = [&](const PF_Pixel16& f, uint16_t* out) {
    const uint32_t c[3] = {f.red, f.green, f.blue};
    for (int k = 0; k < 3; ++k)
      out[k] = sample(static_cast<uint16_t>(
          f.alpha == PF_MAX_CHAN16 ? c[k] : Premultiplied(c[k], f.alpha, PF_MAX_CHAN16)));
    out[3] = sample(f.alpha);
  };
  ExpectStoresOfEveryAlpha<uint16_t>(ColourRow(0, 65532), Every(32769, 65535, 89), want);
  ExpectStoresOfEveryAlpha<uint16_t>(ColourRow(32769, 65532, 7), Every(0, 32768, 41), want);
  // By hand: 65535 x 65535 + 16384 = 4294852609, / 32768 = 131068 (rest
  // 16385), cut to 16 bits 65532, held to 32768: sample 65535; (65535 +
  // 16384) / 32768 = 2, sample 4.
  EXPECT_EQ((Store<uint16_t>(std::vector<PF_Pixel16>{{65535, 65535, 1, 0}})),
            (std::vector<uint16_t>{65535, 4, 0, 65535}));
}

// Opaque, empty and translucent pixels next to each other, in every
// combination the conversions take together: pixels of alpha 0, M or any,
// loaded from samples and stored from render pixels.
template <class Pixel, class Sample>
void ExpectAlphasSideBySideAsAlone(uint32_t m, uint32_t (*channelOf)(Sample)) {
  std::mt19937 engine(37);
  const auto random = [&engine](uint32_t below) { return static_cast<uint32_t>(engine() % below); };
  const uint32_t sampleMax = std::numeric_limits<Sample>::max();
  std::vector<Sample> samples;
  std::vector<Pixel> rendered;
  using Channel = decltype(Pixel::red);
  for (int p = 0; p < 200000; ++p) {
    const uint32_t pick = random(3);
    const uint32_t a = pick == 0 ? 0 : pick == 1 ? sampleMax : random(sampleMax + 1);
    for (int k = 0; k < 3; ++k) samples.push_back(static_cast<Sample>(random(sampleMax + 1)));
    samples.push_back(static_cast<Sample>(a));
    const uint32_t renderedAlpha = pick == 0 ? 0 : pick == 1 ? m : random(m + 1);
    rendered.push_back(
        Pixel{static_cast<Channel>(renderedAlpha), static_cast<Channel>(random(m + 1)),
              static_cast<Channel>(random(m + 1)), static_cast<Channel>(random(m + 1))});
  }
  const auto frame = Load<Pixel>(samples);
  for (size_t p = 0; p < frame.size(); ++p) {
    const uint32_t a = channelOf(samples[p * 4 + 3]);
    const uint32_t got[4] = {frame[p].red, frame[p].green, frame[p].blue, frame[p].alpha};
    for (size_t k = 0; k < 3; ++k)
      ASSERT_EQ(got[k], Unpremultiplied(channelOf(samples[p * 4 + k]), a, m)) << "pixel " << p;
    ASSERT_EQ(got[3], a) << "pixel " << p;
  }
  const auto stored = Store<Sample>(rendered);
  const auto sample = [m](uint32_t c) {
    return m == 255 ? c : uint32_t{Channel16ToFile(c)};  // bytes render as they are stored
  };
  for (size_t p = 0; p < rendered.size(); ++p) {
    const Pixel& r = rendered[p];
    const uint32_t want[4] = {sample(Premultiplied(r.red, r.alpha, m)),
                              sample(Premultiplied(r.green, r.alpha, m)),
                              sample(Premultiplied(r.blue, r.alpha, m)), sample(r.alpha)};
    for (size_t k = 0; k < 4; ++k) ASSERT_EQ(stored[p * 4 + k], want[k]) << "pixel " << p;
  }
}

TEST_P(PremultipliedSamples, AlphasSideBySideConvertAsAlone) {
  ExpectAlphasSideBySideAsAlone<PF_Pixel8, uint8_t>(255, [](uint8_t v) { return uint32_t{v}; });
  ExpectAlphasSideBySideAsAlone<PF_Pixel16, uint16_t>(
      PF_MAX_CHAN16, [](uint16_t v) { return uint32_t{FileToChannel16(v, 16)}; });
}

// Floats of every kind: zeros, denormals, the channel steps and the half
// steps between them, 1 and its neighbours, above 1, the largest, the
// infinities, NaNs, negatives, and random ones in 0..1 and of any bits.
std::vector<float> WideFloats() {
  const float inf = std::numeric_limits<float>::infinity();
  std::vector<float> v = {0.0f,
                          -0.0f,
                          std::numeric_limits<float>::denorm_min(),
                          2 * std::numeric_limits<float>::denorm_min(),
                          1e-40f,
                          std::nextafter(std::numeric_limits<float>::min(), 0.0f),
                          std::numeric_limits<float>::min(),
                          1e-30f,
                          std::ldexp(1.0f, -16),
                          std::ldexp(1.0f, -15),
                          1.0f / 3,
                          0.25f,
                          0.5f,
                          0.75f,
                          std::nextafter(1.0f, 0.0f),
                          1.0f,
                          std::nextafter(1.0f, 2.0f),
                          1.5f,
                          2.0f,
                          1e10f,
                          std::numeric_limits<float>::max(),
                          inf,
                          -inf,
                          -std::numeric_limits<float>::denorm_min(),
                          -0.5f,
                          -1.0f,
                          std::numeric_limits<float>::quiet_NaN(),
                          -std::numeric_limits<float>::quiet_NaN(),
                          std::numeric_limits<float>::signaling_NaN()};
  for (int k = 0; k < 32768; k += 331) {
    v.push_back(static_cast<float>(k) / 32768);
    v.push_back((static_cast<float>(k) + 0.5f) / 32768);
  }
  std::mt19937 random(2024);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  for (int k = 0; k < 1000; ++k) v.push_back(unit(random));
  for (int k = 0; k < 300; ++k) {
    const uint32_t bits = static_cast<uint32_t>(random());
    float f;
    std::memcpy(&f, &bits, sizeof f);
    v.push_back(f);
  }
  while (v.size() % 3 != 0) v.push_back(0.125f);
  return v;
}

// What the documented float rules give one sample: colour / alpha where
// alpha is above 0, else 0, then the channel of pixel_convert.h.
uint32_t UnpremultipliedChannel(float c, float a) {
  return FloatToChannel16(a > 0.0f ? c / a : 0.0f);
}

TEST_P(PremultipliedSamples, EveryFloatColourWithEveryFloatAlpha) {
  const std::vector<float> values = WideFloats();
  const size_t n = values.size(), width = n / 3;
  // Row j: every colour, three a pixel, at alpha j; then rows whose pixels
  // take alpha j by turns with alpha j + 1, with 1 (opaque) and with 0.
  for (int other = 0; other < 4; ++other)
    for (size_t j = 0; j < n; ++j) {
      std::vector<float> samples;
      for (size_t p = 0; p < width; ++p) {
        const float others[4] = {values[j], values[(j + 1) % n], 1.0f, 0.0f};
        samples.insert(samples.end(), {values[p * 3], values[p * 3 + 1], values[p * 3 + 2],
                                       p % 2 == 0 ? values[j] : others[other]});
      }
      const auto frame = Load<PF_Pixel16>(samples);
      for (size_t p = 0; p < width; ++p) {
        const float* s = &samples[p * 4];
        const uint32_t got[4] = {frame[p].red, frame[p].green, frame[p].blue, frame[p].alpha};
        for (size_t k = 0; k < 3; ++k)
          ASSERT_EQ(got[k], UnpremultipliedChannel(s[k], s[3])) << s[k] << " / " << s[3];
        ASSERT_EQ(got[3], FloatToChannel16(s[3])) << s[3];
      }
    }
}

TEST_P(PremultipliedSamples, EveryChannelStoresAsFloatTimesEveryAlpha) {
  // Every colour channel with every 8th alpha (and 0..8), every 8th colour
  // with every alpha, and channels beyond the module's range, which become
  // floats above 1: channel / 32768 times alpha / 32768, in float32.
  constexpr uint32_t m = PF_MAX_CHAN16;
  const auto asFloat = [](uint32_t v) { return static_cast<float>(v) / 32768.0f; };
  const auto want = [&](const PF_Pixel16& f, float* out) {
    const float alpha = asFloat(f.alpha);
    out[0] = asFloat(f.red) * alpha;
    out[1] = asFloat(f.green) * alpha;
    out[2] = asFloat(f.blue) * alpha;
    out[3] = alpha;
  };
  std::vector<uint32_t> alphas = Every(0, 7, 1);
  for (uint32_t a = 8; a <= m; a += scalar() ? 61u * 8 : 8u) alphas.push_back(a);
  ExpectStoresOfEveryAlpha<float>(ColourRow(0, m), alphas, want);
  ExpectStoresOfEveryAlpha<float>(ColourRow(0, m - 16, 8), Every(0, m, scalar() ? 61u : 1u), want);
  ExpectStoresOfEveryAlpha<float>(ColourRow(m, 65532), Every(0, 65535, 4099), want);
}

TEST_P(PremultipliedSamples, HandWorkedValues) {
  // Bytes: (c x 255 + a / 2) / a held to 255, and (c x a + 127) / 255.
  const auto bytes =
      Load<PF_Pixel8, uint8_t>({1, 2, 100, 3, 100, 1, 0, 200, 0, 255, 7, 0, 9, 8, 7, 255});
  EXPECT_EQ(bytes[0].red, 85);     // (255 + 1) / 3 = 85.3
  EXPECT_EQ(bytes[0].green, 170);  // (510 + 1) / 3 = 170.3
  EXPECT_EQ(bytes[0].blue, 255);   // 8501 / 3 held
  EXPECT_EQ(bytes[1].red, 128);    // (25500 + 100) / 200
  EXPECT_EQ(bytes[1].green, 1);    // (255 + 100) / 200 = 1.8
  EXPECT_EQ(bytes[2].green, 0);    // alpha 0: no colour
  EXPECT_EQ(bytes[2].alpha, 0);
  EXPECT_EQ(bytes[3].red, 9);  // opaque: as it is
  // 32767 / 255 = 128.5, 255 / 255, 383 / 255 = 1.5; 254 / 255, 381 / 255 = 1.5,
  // 32512 / 255 = 127.5.
  EXPECT_EQ((Store<uint8_t>(std::vector<PF_Pixel8>{{128, 255, 1, 2}, {127, 1, 2, 255}})),
            (std::vector<uint8_t>{128, 1, 1, 128, 0, 1, 127, 127}));

  // Shorts: samples s load as (s + 1) / 2, then (c x 32768 + a / 2) / a.
  const auto shorts = Load<PF_Pixel16, uint16_t>({1, 3, 16383, 5, 65535, 0, 1, 0});
  EXPECT_EQ(shorts[0].alpha, 3);
  EXPECT_EQ(shorts[0].red, 10923);    // (32768 + 1) / 3
  EXPECT_EQ(shorts[0].green, 21845);  // (65536 + 1) / 3 = 21845.7
  EXPECT_EQ(shorts[0].blue, 32768);   // 8192 over alpha 3: held
  EXPECT_EQ(shorts[1].red, 0);        // alpha 0
  // Channels (c x a + 16384) / 32768, stored as (v x 65535 + 16384) / 32768:
  // 16384 -> 32768; (16384 + 16384) / 32768 = 1 -> 2; (49152 + 16384) / 32768
  // = 2 -> 4; alpha 16384 -> 32768.
  EXPECT_EQ((Store<uint16_t>(std::vector<PF_Pixel16>{{16384, 32768, 1, 3}})),
            (std::vector<uint16_t>{32768, 2, 4, 32768}));

  // Floats: divided before they become channels, multiplied after.
  const float third = 1.0f / 3;
  const auto floats = Load<PF_Pixel16, float>(
      {1.125f / 32768, 0.375f, 1.0f, 0.75f, 1.0f, 0.5f, 0.25f, 0.0f,
       std::numeric_limits<float>::denorm_min(), 2 * std::numeric_limits<float>::denorm_min(), 0.5f,
       std::numeric_limits<float>::denorm_min(), 1.0f, third, 0.5f,
       std::numeric_limits<float>::quiet_NaN()});
  EXPECT_EQ(floats[0].red, 2u);  // 1.5 / 32768: the half step goes up
  EXPECT_EQ(floats[0].green, 16384u);
  EXPECT_EQ(floats[0].blue, 32768u);  // 1.33 held to 1
  EXPECT_EQ(floats[0].alpha, 24576u);
  EXPECT_EQ(floats[1].red, 0u);  // alpha 0
  EXPECT_EQ(floats[1].alpha, 0u);
  EXPECT_EQ(floats[2].red, 32768u);  // a denormal over itself: 1
  EXPECT_EQ(floats[2].green, 32768u);
  EXPECT_EQ(floats[2].alpha, 0u);  // a denormal alpha is channel 0
  EXPECT_EQ(floats[3].red, 0u);    // NaN alpha: no colour
  EXPECT_EQ(floats[3].green, 0u);
  EXPECT_EQ((Store<float>(std::vector<PF_Pixel16>{{16384, 3, 32768, 1}, {0, 9, 9, 9}})),
            (std::vector<float>{3.0f / 65536, 0.5f, 1.0f / 65536, 0.5f, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace corvalin
