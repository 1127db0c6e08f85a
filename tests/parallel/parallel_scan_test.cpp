#include "engine/parallel/core_bands.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/parallel/band_writer.h"
#include "tests/engine/test_frame.h"

namespace corvalin {
namespace {

using test::PaintTestImage;
using test::TestFrame;

template <class Pixel>
Pixel Colour(uint32_t index) {
  using C = typename PixelTraits<Pixel>::Channel;
  constexpr uint32_t M = ChannelMax<Pixel>();
  // A small palette with an opaque background, ink, fill and a transparent hole.
  switch (index % 4) {
    case 0: return Pixel{C(M), C(M), C(M), C(M)};
    case 1: return Pixel{C(M), 0, 0, 0};
    case 2: return Pixel{C(M), C(M / 2), C(M / 4), C(M)};
    default: return Pixel{0, 0, 0, 0};
  }
}

// Threads and band height of a banded render on this process's cores.
struct BandedOn {
  int threads = 0;
  int32_t rowsPerBand = 0;
};

template <class Pixel>
void ScanOnCores(const RenderSettings& settings, TestFrame<Pixel>& frame, BandedOn on) {
  CoreBands cores(on.threads);
  ScanFrameBanded(settings, &frame.inWorld, &frame.outWorld, frame.input.data(),
                  frame.output.data(), cores, DefaultEngine(), on.rowsPerBand);
}

template <class Pixel>
void ExpectParallelEqualsSerial(int32_t width, int32_t height, int32_t padding, uint32_t seed,
                                const RenderSettings& settings, BandedOn options) {
  TestFrame<Pixel> serial(width, height, Pixel{}, padding);
  PaintTestImage(serial, seed);
  TestFrame<Pixel> parallel = serial;
  parallel.SetUpWorlds();
  serial.Render(settings);
  ScanOnCores(settings, parallel, options);
  ASSERT_EQ(0, std::memcmp(serial.input.data(), parallel.input.data(),
                           serial.input.size() * sizeof(Pixel)));
  const size_t stride = static_cast<size_t>(serial.stride);
  for (size_t i = 0; i < serial.output.size(); ++i)
    ASSERT_EQ(serial.output[i], parallel.output[i])
        << "pixel " << i % stride << "," << i / stride << " seed " << seed << " threads "
        << options.threads << " rows per band " << options.rowsPerBand;
}

template <class Pixel>
class ParallelScanTest : public ::testing::Test {};
using PixelTypes = ::testing::Types<PF_Pixel8, PF_Pixel16>;
TYPED_TEST_SUITE(ParallelScanTest, PixelTypes);

TYPED_TEST(ParallelScanTest, EqualsSerialScanOnRandomImages) {
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    RenderSettings c = DefaultRenderSettings();
    c.lineWeight = (seed % 3) * 0.5;
    c.useKey = seed % 4 == 0;
    c.smootherRange = seed % 5 == 0 ? 0.0 : 1.0;
    for (int threads : {1, 2, 3, 8})
      ExpectParallelEqualsSerial<TypeParam>(static_cast<int32_t>(37 + seed), 61,
                                            static_cast<int32_t>(seed % 3), seed, c,
                                            BandedOn{threads, 4 + int32_t(seed % 5)});
  }
}

TYPED_TEST(ParallelScanTest, EqualsSerialScanWithOneRowPerBand) {
  for (uint32_t seed = 20; seed < 26; ++seed)
    for (int threads : {2, 5})
      ExpectParallelEqualsSerial<TypeParam>(29, 47, 1, seed, DefaultRenderSettings(),
                                            BandedOn{threads, 1});
}

// A tall staircase whose risers and ramps run across many band edges.
TYPED_TEST(ParallelScanTest, LongVerticalRampsCrossBandEdges) {
  using Pixel = TypeParam;
  for (double lineWeight : {0.0, 1.0}) {
    TestFrame<Pixel> serial(40, 90, Colour<Pixel>(0), 2);
    for (int32_t y = 0; y < 90; ++y) serial.Fill(0, y, 8 + y / 30, y + 1, Colour<Pixel>(1));
    serial.Fill(20, 5, 21, 85, Colour<Pixel>(2));  // a long thin vertical line
    TestFrame<Pixel> parallel = serial;
    parallel.SetUpWorlds();
    RenderSettings c = DefaultRenderSettings();
    c.lineWeight = lineWeight;
    serial.Render(c);
    for (int32_t rows : {0, 1, 3, 7}) {
      std::fill(parallel.output.begin(), parallel.output.end(), Pixel{});
      ScanOnCores(c, parallel, BandedOn{4, rows});
      for (size_t i = 0; i < serial.output.size(); ++i)
        ASSERT_EQ(serial.output[i], parallel.output[i]) << "index " << i << " rows " << rows;
    }
  }
}

// A band's own rows, begin inclusive and end exclusive, are written at once
// and remembered; every other write waits in the log, in the order made.
TEST(BandWriter, WritesOwnRowsAndLogsTheRest) {
  std::vector<PF_Pixel8> output(30, PF_Pixel8{});
  BandRecord<PF_Pixel8> record;
  record.ownBegin = 10;
  record.ownEnd = 20;
  record.written.assign(1, 0);
  const BandWriter<PF_Pixel8> writer(output.data(), &record);
  const PF_Pixel8 a{255, 1, 2, 3}, b{255, 4, 5, 6}, c{255, 7, 8, 9};
  writer.Write(10, a);
  writer.Write(20, b);
  writer.Write(19, b);
  writer.Write(9, c);
  writer.Write(20, c);

  EXPECT_EQ(output[10], a);
  EXPECT_EQ(output[19], b);
  EXPECT_EQ(output[9], PF_Pixel8{});
  EXPECT_EQ(output[20], PF_Pixel8{});
  EXPECT_TRUE(record.WroteItself(10));
  EXPECT_TRUE(record.WroteItself(19));
  EXPECT_FALSE(record.WroteItself(11));
  const std::vector<std::pair<int32_t, PF_Pixel8>> logged = {{20, b}, {9, c}, {20, c}};
  ASSERT_EQ(record.logged.size(), logged.size());
  for (size_t i = 0; i < logged.size(); ++i) {
    EXPECT_EQ(record.logged[i].index, logged[i].first) << i;
    EXPECT_EQ(record.logged[i].value, logged[i].second) << i;
  }
}

TYPED_TEST(ParallelScanTest, TinyAndEmptyImages) {
  for (int32_t w : {1, 2, 3})
    for (int32_t h : {1, 2, 3, 9})
      ExpectParallelEqualsSerial<TypeParam>(w, h, 1, uint32_t(w * 10 + h), DefaultRenderSettings(),
                                            BandedOn{3, 1});
}

// Callers on several threads at once (a host's own render threads, Python
// threads) share the process's cores; each frame still renders as alone.
TYPED_TEST(ParallelScanTest, CallersOnSeveralThreadsAtOnce) {
  std::vector<std::thread> callers;
  for (uint32_t seed = 40; seed < 46; ++seed)
    callers.emplace_back([seed] {
      for (int round = 0; round < 4; ++round)
        ExpectParallelEqualsSerial<TypeParam>(90, 70, 1, seed + 10 * uint32_t(round),
                                              DefaultRenderSettings(),
                                              BandedOn{2 + int(seed % 3), 3});
    });
  for (std::thread& caller : callers) caller.join();
}

// Resident memory of this process in kB, 0 where /proc cannot say.
long ResidentKilobytes() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}

// Every adapter makes a CoreBands per frame, so a long sequence or a host
// session makes thousands; their cost must not pile up in the process.
TEST(CoreBands, ManyRunnersDoNotGrowTheProcess) {
  std::atomic<int32_t> bandsRun{0};
  const auto countBand = [](void* context, int32_t) {
    static_cast<std::atomic<int32_t>*>(context)->fetch_add(1);
  };
  const auto runMany = [&](int calls) {
    for (int i = 0; i < calls; ++i) CoreBands(i % 5).RunBands(3, countBand, &bandsRun);
  };
  runMany(500);  // what the first calls set up once stays
  const long before = ResidentKilobytes();
  if (before == 0) GTEST_SKIP() << "no /proc/self/status here";
  runMany(10000);
  EXPECT_EQ(bandsRun.load(), 3 * 10500);
  EXPECT_LT(ResidentKilobytes() - before, 16 * 1024) << "kB grown over 10,000 runners";
}

}  // namespace
}  // namespace corvalin
