// Callers' samples in and out of render frames: every integer sample and
// every channel against the conversion rules, the float rounding at each
// half step, layouts of any step (bottom-up, padded, channels reversed), in
// place, and premultiplied pictures, with values worked out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "effect/pixel_convert.h"
#include "effect/sample_convert.h"

namespace corvalin {
namespace {

template <class Sample>
std::vector<std::byte> Bytes(const std::vector<Sample>& samples) {
  std::vector<std::byte> bytes(samples.size() * sizeof(Sample));
  std::memcpy(bytes.data(), samples.data(), bytes.size());
  return bytes;
}

template <class Sample>
std::vector<Sample> SamplesOf(const std::vector<std::byte>& bytes) {
  std::vector<Sample> samples(bytes.size() / sizeof(Sample));
  std::memcpy(samples.data(), bytes.data(), bytes.size());
  return samples;
}

// One packed RGBA row of `samples` (a multiple of 4) into render pixels.
template <class Pixel, class Sample>
std::vector<Pixel> LoadRow(const std::vector<Sample>& samples,
                           AlphaConvention alpha = AlphaConvention::straight, int channels = 4) {
  const auto width = static_cast<int32_t>(samples.size() / static_cast<size_t>(channels));
  std::vector<Pixel> frame(static_cast<size_t>(width));
  const std::vector<std::byte> bytes = Bytes(samples);
  LoadSamples<Pixel, Sample>(
      bytes.data(),
      PackedSamples<Sample>(channels, static_cast<std::ptrdiff_t>(bytes.size()), alpha),
      frame.data(), width, width, 0, 1);
  return frame;
}

template <class Pixel, class Sample>
std::vector<Sample> StoreRow(const std::vector<Pixel>& frame,
                             AlphaConvention alpha = AlphaConvention::straight, int channels = 4) {
  const auto width = static_cast<int32_t>(frame.size());
  std::vector<std::byte> bytes(frame.size() * static_cast<size_t>(channels) * sizeof(Sample));
  StoreSamples<Pixel, Sample>(
      frame.data(), width, bytes.data(),
      PackedSamples<Sample>(channels, static_cast<std::ptrdiff_t>(bytes.size()), alpha), width, 0,
      1);
  return SamplesOf<Sample>(bytes);
}

// Every case on the vector path (where compiled in) and on the scalar loops.
class SampleConversion : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override { UseVectorConversions(GetParam()); }
  void TearDown() override { UseVectorConversions(true); }
};

INSTANTIATE_TEST_SUITE_P(Paths, SampleConversion, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& path) {
                           return path.param ? "vector" : "scalar";
                         });

TEST_P(SampleConversion, EveryIntegerSampleLoadsAsItsDefinedChannel) {
  std::vector<uint16_t> all16(65536);
  for (uint32_t v = 0; v < all16.size(); ++v) all16[v] = static_cast<uint16_t>(v);
  const auto deep = LoadRow<PF_Pixel16>(all16);
  const auto narrow = LoadRow<PF_Pixel8>(all16);
  for (uint32_t v = 0; v < 65536; ++v) {
    // Sample v is red, green, blue or alpha of pixel v / 4, by v % 4.
    const PF_Pixel16& d = deep[v / 4];
    const PF_Pixel8& n = narrow[v / 4];
    const uint32_t channel16[4] = {d.red, d.green, d.blue, d.alpha};
    const uint32_t channel8[4] = {n.red, n.green, n.blue, n.alpha};
    ASSERT_EQ(channel16[v % 4], FileToChannel16(v, 16)) << v;
    ASSERT_EQ(channel8[v % 4], FileToChannel8(v, 16)) << v;
  }
  std::vector<uint8_t> all8(256);
  for (uint32_t v = 0; v < all8.size(); ++v) all8[v] = static_cast<uint8_t>(v);
  const auto deep8 = LoadRow<PF_Pixel16>(all8);
  for (uint32_t v = 0; v < 256; ++v) {
    const PF_Pixel16& d = deep8[v / 4];
    const uint32_t channel[4] = {d.red, d.green, d.blue, d.alpha};
    ASSERT_EQ(channel[v % 4], FileToChannel16(v, 8)) << v;
  }
  // By hand: (v x 32768 + 32767) / 65535 and (v x 255 + 32767) / 65535.
  EXPECT_EQ(deep[32767 / 4].alpha, 16384);
  EXPECT_EQ(deep[65535 / 4].alpha, 32768);
  EXPECT_EQ(narrow[128 / 4].red, 0);
  EXPECT_EQ(narrow[129 / 4].green, 1);
}

TEST_P(SampleConversion, EveryChannelStoresAsItsDefinedSample) {
  std::vector<PF_Pixel16> deep;
  for (uint32_t c = 0; c <= PF_MAX_CHAN16; c += 4)
    deep.push_back(PF_Pixel16{static_cast<uint16_t>(c + 3), static_cast<uint16_t>(c),
                              static_cast<uint16_t>(c + 1), static_cast<uint16_t>(c + 2)});
  deep.push_back(PF_Pixel16{40000, 32768, 65535, 0});  // beyond the module's range: held
  const auto wide = StoreRow<PF_Pixel16, uint16_t>(deep);
  const auto bytes = StoreRow<PF_Pixel16, uint8_t>(deep);
  for (size_t i = 0; i < deep.size(); ++i) {
    const uint32_t channel[4] = {deep[i].red, deep[i].green, deep[i].blue, deep[i].alpha};
    for (size_t k = 0; k < 4; ++k) {
      const uint32_t held = std::min<uint32_t>(channel[k], PF_MAX_CHAN16);
      ASSERT_EQ(wide[i * 4 + k], Channel16ToFile(held)) << channel[k];
      ASSERT_EQ(bytes[i * 4 + k], Channel16ToSample8(held)) << channel[k];
    }
  }
  EXPECT_EQ(std::vector<uint16_t>(wide.end() - 4, wide.end()),
            (std::vector<uint16_t>{65535, 65535, 0, 65535}));
  // 8-bit channels: bytes unchanged, 16-bit samples x 257.
  const std::vector<PF_Pixel8> narrow{{255, 0, 1, 128}};
  EXPECT_EQ((StoreRow<PF_Pixel8, uint8_t>(narrow)), (std::vector<uint8_t>{0, 1, 128, 255}));
  EXPECT_EQ((StoreRow<PF_Pixel8, uint16_t>(narrow)), (std::vector<uint16_t>{0, 257, 32896, 65535}));
}

TEST_P(SampleConversion, FloatsRoundHalfAwayFromZeroAtEveryStep) {
  std::vector<float> values;
  for (int k = 0; k < 32768; ++k) {
    const float half = (static_cast<float>(k) + 0.5f) / 32768.0f;  // exact
    values.push_back(std::nextafter(half, 0.0f));
    values.push_back(half);
    values.push_back(std::nextafter(half, 1.0f));
  }
  const float specials[] = {0.0f, -0.0f, 1.0f, 1.5f, -1.0f, std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(),
                            std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::denorm_min(),
                            // x 32768 is just below one half: adding 0.5 in float32 would
                            // round up to 1, lround gives 0.
                            std::ldexp(1.0f, -16) - std::ldexp(1.0f, -40)};
  values.insert(values.end(), std::begin(specials), std::end(specials));
  while (values.size() % 4 != 0) values.push_back(0.25f);
  const auto frame = LoadRow<PF_Pixel16>(values);
  for (size_t i = 0; i < values.size(); ++i) {
    const PF_Pixel16& p = frame[i / 4];
    const uint32_t channel[4] = {p.red, p.green, p.blue, p.alpha};
    ASSERT_EQ(channel[i % 4], FloatToChannel16(values[i])) << values[i];
  }
  const size_t s = 3 * 32768;  // the first special value
  const auto at = [&](size_t i) {
    const PF_Pixel16& p = frame[i / 4];
    const uint32_t channel[4] = {p.red, p.green, p.blue, p.alpha};
    return channel[i % 4];
  };
  EXPECT_EQ(at(0), 0u);  // just below 0.5 / 32768
  EXPECT_EQ(at(1), 1u);  // 0.5 / 32768: half goes up
  EXPECT_EQ(at(3 * 16384 + 1), 16385u);
  EXPECT_EQ(at(s + 3), 32768u);  // 1.5 held to 1
  EXPECT_EQ(at(s + 7), 0u);      // NaN
  EXPECT_EQ(at(s + 9), 0u);
  // Channels back to floats: channel / 32768, exact.
  const auto floats = StoreRow<PF_Pixel16, float>({PF_Pixel16{32768, 1, 16384, 32767}});
  EXPECT_EQ(floats, (std::vector<float>{1.0f / 32768, 0.5f, 32767.0f / 32768, 1.0f}));
}

TEST_P(SampleConversion, AnyLayoutReadsAsThePackedOne) {
  // A 3 x 2 RGB picture stored bottom row first, rows padded to 13 bytes,
  // samples in the order blue, green, red: read from the top row's red
  // sample with negative row and sample steps.
  const uint8_t top[3][3] = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}};
  const uint8_t bottom[3][3] = {{11, 21, 31}, {41, 51, 61}, {71, 81, 91}};
  std::vector<std::byte> stored(26, std::byte{0xEE});
  const auto put = [&](int row, const uint8_t(&pixels)[3][3]) {
    for (int x = 0; x < 3; ++x)
      for (int c = 0; c < 3; ++c)
        stored[static_cast<size_t>(row * 13 + x * 3 + (2 - c))] = std::byte{pixels[x][c]};
  };
  put(0, bottom);
  put(1, top);
  const SampleLayout layout{3, -13, 3, -1, AlphaConvention::straight};
  std::vector<PF_Pixel8> frame(8, PF_Pixel8{1, 1, 1, 1});  // stride 4
  LoadSamples<PF_Pixel8, uint8_t>(stored.data() + 13 + 2, layout, frame.data(), 4, 3, 0, 2);
  const std::vector<PF_Pixel8> want{{255, 10, 20, 30}, {255, 40, 50, 60}, {255, 70, 80, 90},
                                    {1, 1, 1, 1},      {255, 11, 21, 31}, {255, 41, 51, 61},
                                    {255, 71, 81, 91}, {1, 1, 1, 1}};
  ASSERT_EQ(std::memcmp(frame.data(), want.data(), sizeof(PF_Pixel8) * want.size()), 0);

  // And back into the same layout: every stored byte as it was, padding too.
  std::vector<std::byte> again(26, std::byte{0xEE});
  StoreSamples<PF_Pixel8, uint8_t>(frame.data(), 4, again.data() + 13 + 2, layout, 3, 0, 2);
  EXPECT_EQ(again, stored);
}

TEST_P(SampleConversion, GreyFillsColourAndInPlaceEqualsApart) {
  // Grey and grey-alpha: the one sample is red, green and blue.
  const auto grey = LoadRow<PF_Pixel8, uint8_t>({7, 200}, AlphaConvention::straight, 1);
  EXPECT_EQ(grey[1].red, 200);
  EXPECT_EQ(grey[1].blue, 200);
  EXPECT_EQ(grey[1].alpha, 255);
  const auto greyAlpha = LoadRow<PF_Pixel8, uint8_t>({64, 128}, AlphaConvention::premultiplied, 2);
  EXPECT_EQ(greyAlpha[0].green, 128);  // (64 x 255 + 64) / 128
  EXPECT_EQ(greyAlpha[0].alpha, 128);

  // RGBA16 samples and 16-bit render pixels share their size: converting in
  // place gives what converting into a frame of its own gives.
  std::vector<uint16_t> samples;
  for (uint32_t v = 0; v < 4096; ++v) samples.push_back(static_cast<uint16_t>(v * 16 + 5));
  for (const AlphaConvention alpha : {AlphaConvention::straight, AlphaConvention::premultiplied}) {
    const auto apart = LoadRow<PF_Pixel16>(samples, alpha);
    std::vector<std::byte> bytes = Bytes(samples);
    const SampleLayout layout =
        PackedSamples<uint16_t>(4, static_cast<std::ptrdiff_t>(bytes.size()), alpha);
    auto* inPlace = reinterpret_cast<PF_Pixel16*>(bytes.data());
    LoadSamples<PF_Pixel16, uint16_t>(bytes.data(), layout, inPlace, 1024, 1024, 0, 1);
    ASSERT_EQ(std::memcmp(inPlace, apart.data(), bytes.size()), 0);
    const auto storedApart = StoreRow<PF_Pixel16, uint16_t>(apart, alpha);
    StoreSamples<PF_Pixel16, uint16_t>(inPlace, 1024, bytes.data(), layout, 1024, 0, 1);
    EXPECT_EQ(SamplesOf<uint16_t>(bytes), storedApart);
  }
}

TEST_P(SampleConversion, PremultipliedColourIsDividedOnLoadAndMultipliedOnStore) {
  // Integers on render channels: min(M, (c x M + a / 2) / a), (c x a + M / 2) / M.
  const auto loaded =
      LoadRow<PF_Pixel8, uint8_t>({64, 200, 0, 128, 9, 9, 9, 0}, AlphaConvention::premultiplied);
  EXPECT_EQ(loaded[0].red, 128);    // (64 x 255 + 64) / 128 = 127.99 -> 128
  EXPECT_EQ(loaded[0].green, 255);  // above alpha: held to 255
  EXPECT_EQ(loaded[1].red, 0);      // alpha 0: no colour
  EXPECT_EQ(
      (StoreRow<PF_Pixel8, uint8_t>({PF_Pixel8{128, 128, 255, 0}}, AlphaConvention::premultiplied)),
      (std::vector<uint8_t>{64, 128, 0, 128}));  // (128 x 128 + 127) / 255 = 64
  // Floats before the conversion and after it: 0.25 / 0.5 = 0.5 -> 16384.
  const auto deep =
      LoadRow<PF_Pixel16, float>({0.25f, 0.5f, 0.1f, 0.5f}, AlphaConvention::premultiplied);
  EXPECT_EQ(deep[0].red, 16384);
  EXPECT_EQ(deep[0].green, 32768);
  EXPECT_EQ(deep[0].blue, FloatToChannel16(0.1f / 0.5f));
  EXPECT_EQ((StoreRow<PF_Pixel16, float>({PF_Pixel16{16384, 32768, 16384, 8192}},
                                         AlphaConvention::premultiplied)),
            (std::vector<float>{0.5f, 0.25f, 0.125f, 0.5f}));
  // A pixel stored without alpha still fades with it; one loaded without
  // alpha is opaque and keeps its colour.
  EXPECT_EQ((StoreRow<PF_Pixel8, uint8_t>({PF_Pixel8{0, 200, 200, 200}},
                                          AlphaConvention::premultiplied, 3)),
            (std::vector<uint8_t>{0, 0, 0}));
  EXPECT_EQ((LoadRow<PF_Pixel8, uint8_t>({9, 9, 9}, AlphaConvention::premultiplied, 3))[0].red, 9);
}

TEST(SampleBands, CoverEveryRowOnceInAnyOrder) {
  // A runner that runs the bands last first, as a host's threads may.
  class Backwards final : public BandRunner {
   public:
    void RunBands(int32_t count, BandFunction function, void* context) override {
      for (int32_t band = count - 1; band >= 0; --band) function(context, band);
    }
  } backwards;
  for (const int32_t rows : {1, 7, 8, 100, 2161}) {
    std::vector<int> visits(static_cast<size_t>(rows), 0);
    ConvertInBands(backwards, rows, 3840 * 4, [&](int32_t y0, int32_t y1) {
      for (int32_t y = y0; y < y1; ++y) ++visits[static_cast<size_t>(y)];
    });
    EXPECT_EQ(visits, std::vector<int>(static_cast<size_t>(rows), 1)) << rows;
  }
}

}  // namespace
}  // namespace corvalin
