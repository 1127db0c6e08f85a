// The banded scan on a caller's runner: whatever order and threads run the
// bands of a stage, the frame equals the serial scan's.
#include "engine/parallel/banded_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <thread>
#include <vector>

#include "tests/engine/test_frame.h"

namespace corvalin {
namespace {

using test::PaintTestImage;
using test::ReversedRunner;
using test::TestFrame;

// `threads` threads sharing the bands, as a host's calls would; `calls` of
// them actually run (a host may run fewer than asked), the rest is finished
// by the caller.
class ThreadRunner final : public BandRunner {
 public:
  explicit ThreadRunner(int calls) : calls_(calls) {}
  void RunBands(int32_t count, BandFunction function, void* context) override {
    SharedBands shared(count, function, context);
    std::vector<std::thread> pool;
    for (int t = 0; t < calls_; ++t) pool.emplace_back([&] { shared.Work(); });
    for (std::thread& t : pool) t.join();
    shared.Finish();
  }

 private:
  int calls_;
};

template <class Pixel>
void ExpectBandedEqualsSerial(int32_t width, int32_t height, uint32_t seed, BandRunner& runner) {
  TestFrame<Pixel> serial(width, height, Pixel{}, 3);
  PaintTestImage(serial, seed);
  TestFrame<Pixel> banded = serial;
  banded.SetUpWorlds();
  RenderSettings settings = DefaultRenderSettings();
  settings.useKey = true;
  serial.Render(settings);
  ScanFrameBanded(settings, &banded.inWorld, &banded.outWorld, banded.input.data(),
                  banded.output.data(), runner);
  ASSERT_EQ(0, std::memcmp(serial.input.data(), banded.input.data(),
                           serial.input.size() * sizeof(Pixel)));
  ASSERT_TRUE(serial.output == banded.output) << "seed " << seed;
}

template <class Pixel>
class BandedScanTest : public ::testing::Test {};
using PixelTypes = ::testing::Types<PF_Pixel8, PF_Pixel16>;
TYPED_TEST_SUITE(BandedScanTest, PixelTypes);

TYPED_TEST(BandedScanTest, BandsInReverseOrderEqualSerialScan) {
  for (uint32_t seed = 1; seed <= 4; ++seed) {
    ReversedRunner runner;
    ExpectBandedEqualsSerial<TypeParam>(1500, 333, seed, runner);
    // Three stages (key, scan, settling), each over every band.
    const int32_t rowbytes = static_cast<int32_t>((1500 + 3) * sizeof(TypeParam));
    EXPECT_EQ(runner.stages, 3);
    EXPECT_EQ(runner.bands, 3 * BandCount(333, rowbytes));
    EXPECT_GT(BandCount(333, rowbytes), 4);
  }
}

TYPED_TEST(BandedScanTest, BandsOnSharedThreadsEqualSerialScan) {
  for (int calls : {0, 1, 2, 5}) {
    ThreadRunner runner(calls);
    ExpectBandedEqualsSerial<TypeParam>(900, 410, 10 + static_cast<uint32_t>(calls), runner);
  }
}

TEST(BandCount, BandsOfAtLeastEightRowsUpTo256) {
  EXPECT_EQ(BandCount(1, 4), 1);
  EXPECT_EQ(BandCount(256, 4), 1);
  EXPECT_EQ(BandCount(257, 4), 2);
  // 4K RGBA bytes: 17 rows of 15360 bytes in a band.
  EXPECT_EQ(BandCount(2160, 3840 * 4), (2160 + 16) / 17);
  EXPECT_EQ(BandCount(20, 1 << 20), 3);  // 8 rows, however wide
}

TEST(SharedBands, EveryBandOnceThenTheRestOnTheCaller) {
  std::vector<int> runs(50, 0);
  auto count = [](void* context, int32_t b) {
    ++(*static_cast<std::vector<int>*>(context))[static_cast<size_t>(b)];
  };
  SharedBands none(50, count, &runs);
  none.Finish();  // no thread took any
  EXPECT_EQ(runs, std::vector<int>(50, 1));
}

TEST(SharedBands, AFailureStopsTheStageAndReachesTheCaller) {
  struct Seen {
    std::vector<int> runs = std::vector<int>(20, 0);
  } seen;
  auto fail = [](void* context, int32_t b) {
    ++static_cast<Seen*>(context)->runs[static_cast<size_t>(b)];
    if (b == 3) throw std::bad_alloc();
  };
  SharedBands shared(20, fail, &seen);
  shared.Work();                                                    // does not throw
  EXPECT_EQ(std::count(seen.runs.begin(), seen.runs.end(), 1), 4);  // bands 0..3
  EXPECT_THROW(shared.Finish(), std::bad_alloc);
  EXPECT_EQ(std::count(seen.runs.begin(), seen.runs.end(), 1), 4);  // nothing more ran
}

}  // namespace
}  // namespace corvalin
