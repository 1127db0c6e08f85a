// Render: the depth choice, the refusal of unusable worlds and agreement
// between the linked module, the module file and concurrent renders.
#include <limits>
#include <thread>
#include <vector>

#include "tests/host/host_test_support.h"

namespace corvalin::testing {
namespace {

using RenderTest = ModuleTest;

std::vector<Service> ServicesOf(const MiniHost& host) {
  std::vector<Service> services;
  for (const auto& c : host.lastCalls()) services.push_back(c.service);
  return services;
}

TEST_P(RenderTest, DeepWorldsTakeTheSixteenBitEngine) {
  MiniHost host = Host();
  HostWorld<PF_Pixel16> in = PatternWorld<PF_Pixel16>(12, 9, 2), out(12, 9, 2);
  ASSERT_EQ(host.Render({}, in, out), PF_Err_NONE);
  const auto calls = host.lastCalls();
  ASSERT_EQ(ServicesOf(host),
            (std::vector<Service>{Service::getPixelData16, Service::getPixelData16, Service::copy}));
  EXPECT_EQ(calls[0].world, &out.world());  // output first, then input
  EXPECT_NE(calls[1].world, &out.world());
  EXPECT_EQ(calls[2].target, &out.world());
  EXPECT_EQ(calls[2].effectRef, MiniHost::EffectRef());
  EXPECT_EQ(calls[2].number, 0);  // whole worlds
}

TEST_P(RenderTest, EightBitWorldsFetchBothEightBitBases) {
  MiniHost host = Host();
  HostWorld<PF_Pixel8> in = PatternWorld<PF_Pixel8>(12, 9, 0), out(12, 9, 0);
  ASSERT_EQ(host.Render({}, in, out), PF_Err_NONE);
  const auto calls = host.lastCalls();
  ASSERT_EQ(ServicesOf(host),
            (std::vector<Service>{Service::getPixelData16, Service::getPixelData16,
                                  Service::getPixelData8, Service::getPixelData8, Service::copy}));
  EXPECT_EQ(calls[2].world, &out.world());
  EXPECT_NE(calls[3].world, &out.world());
}

TEST_P(RenderTest, OneMissingSixteenBitBaseFallsBackToEightBit) {
  for (bool inputOffered : {false, true}) {
    HostBehaviour b;
    b.offer16BitInput = inputOffered;
    b.offer16BitOutput = !inputOffered;
    MiniHost host = Host(b);
    HostWorld<PF_Pixel16> in = PatternWorld<PF_Pixel16>(6, 5, 1), out(6, 5, 1);
    const HostWorld<PF_Pixel16> before = out;
    // A deep world has no 8-bit base either, so the render is refused untouched.
    EXPECT_EQ(host.Render({}, in, out), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(ServicesOf(host),
              (std::vector<Service>{Service::getPixelData16, Service::getPixelData16,
                                    Service::getPixelData8, Service::getPixelData8}));
    EXPECT_TRUE(SamePixels(out, before));
  }
}

TEST_P(RenderTest, CopyErrorIsReturnedUnchanged) {
  HostBehaviour b;
  b.copyError = PF_Interrupt_CANCEL;
  HostWorld<PF_Pixel8> in = PatternWorld<PF_Pixel8>(8, 8, 0), out(8, 8, 0);
  EXPECT_EQ(Host(b).Render({}, in, out), PF_Interrupt_CANCEL);
}

// Renders through Command with hand-made worlds, expecting a refusal that
// neither copies nor touches a pixel.
template <class Pixel>
void ExpectRefused(const MiniHost& host, PF_EffectWorld inWorld, PF_EffectWorld outWorld,
                   const char* what) {
  std::vector<Pixel> inPixels(4096), outPixels(4096);
  for (size_t i = 0; i < inPixels.size(); ++i) inPixels[i].red = static_cast<uint8_t>(i);
  const std::vector<Pixel> inBefore = inPixels, outBefore = outPixels;
  inWorld.data = inPixels.data();
  outWorld.data = outPixels.data();
  minihost::RenderParams params(EffectControls{true, PF_Pixel8{0, 0, 0, 0}, 1.0, 0.0}, inWorld);
  PF_OutData out = FilledOutData();
  const PF_OutData outBeforeData = out;
  EXPECT_EQ(host.Command(PF_Cmd_RENDER, &out, params.array, &outWorld), PF_Err_BAD_CALLBACK_PARAM)
      << what;
  EXPECT_EQ(host.Count(Service::copy), 0) << what;
  EXPECT_EQ(std::memcmp(inPixels.data(), inBefore.data(), inPixels.size() * sizeof(Pixel)), 0)
      << what;
  EXPECT_EQ(std::memcmp(outPixels.data(), outBefore.data(), outPixels.size() * sizeof(Pixel)), 0)
      << what;
  EXPECT_TRUE(SameBytes(out, outBeforeData)) << what;
}

template <class Pixel>
PF_EffectWorld World(int32_t width, int32_t height, int32_t rowbytes) {
  PF_EffectWorld w{};
  w.width = width;
  w.height = height;
  w.rowbytes = rowbytes;
  w.world_flags = sizeof(Pixel) == 8 ? PF_WorldFlag_DEEP : 0;
  return w;
}

template <class Pixel>
void ExpectUnsafeWorldsRefused(const MiniHost& host) {
  constexpr int32_t s = sizeof(Pixel);
  const auto ok = World<Pixel>(8, 8, 8 * s);
  ExpectRefused<Pixel>(host, World<Pixel>(9, 8, 9 * s), ok, "input wider");
  ExpectRefused<Pixel>(host, ok, World<Pixel>(8, 7, 8 * s), "output shorter");
  ExpectRefused<Pixel>(host, World<Pixel>(-8, 8, 8 * s), World<Pixel>(-8, 8, 8 * s),
                       "negative width");
  ExpectRefused<Pixel>(host, World<Pixel>(8, -2, 8 * s), World<Pixel>(8, -2, 8 * s),
                       "negative height");
  ExpectRefused<Pixel>(host, World<Pixel>(8, 8, 8 * s - 1), ok, "input row too short");
  ExpectRefused<Pixel>(host, ok, World<Pixel>(8, 8, 7 * s), "output row too short");
  ExpectRefused<Pixel>(host, World<Pixel>(8, 8, 8 * s + 2), ok, "row not whole pixels");
  ExpectRefused<Pixel>(host, World<Pixel>(8, 8, -8 * s), World<Pixel>(8, 8, -8 * s),
                       "negative rowbytes");
  // (2^31 / 65536) pixels per row x 65536 rows reaches index 2^31.
  const int32_t stride = 32768;
  ExpectRefused<Pixel>(host, World<Pixel>(8, 65536, stride * s), World<Pixel>(8, 65536, 8 * s),
                       "index beyond 32 bits");
}

TEST_P(RenderTest, UnsafeWorldsAreRefusedUntouched) {
  MiniHost host = Host();
  ExpectUnsafeWorldsRefused<PF_Pixel8>(host);
  ExpectUnsafeWorldsRefused<PF_Pixel16>(host);
}

TEST_P(RenderTest, MissingRecordsAreRefused) {
  MiniHost host = Host();
  HostWorld<PF_Pixel8> in = PatternWorld<PF_Pixel8>(4, 4, 0), out(4, 4, 0);
  minihost::RenderParams params(EffectControls{}, in.world());
  PF_OutData outData{};
  EXPECT_EQ(host.Command(PF_Cmd_RENDER, &outData, nullptr, &out.world()),
            PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(host.Command(PF_Cmd_RENDER, &outData, params.array, nullptr),
            PF_Err_BAD_CALLBACK_PARAM);
  for (int i = 0; i < 5; ++i) {
    PF_ParamDef* saved = params.array[i];
    params.array[i] = nullptr;
    EXPECT_EQ(host.Command(PF_Cmd_RENDER, &outData, params.array, &out.world()),
              PF_Err_BAD_CALLBACK_PARAM)
        << i;
    EXPECT_TRUE(host.lastCalls().empty()) << i;
    params.array[i] = saved;
  }
}

TEST_P(RenderTest, EmptyFramesRenderSafely) {
  MiniHost host = Host();
  for (auto [w, h] : {std::pair{0, 0}, {0, 3}, {3, 0}, {1, 1}, {1, 5}, {5, 1}, {2, 2}}) {
    HostWorld<PF_Pixel8> in(w, h, 1), out(w, h, 1);
    EXPECT_EQ(host.Render({}, in, out), PF_Err_NONE) << w << "x" << h;
  }
}

TEST_P(RenderTest, ControlValuesOutsideTheirRangesRenderSafely) {
  MiniHost host = Host();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (auto [range, weight] : {std::pair{nan, nan}, {-5.0, -1.0}, {1e300, 7.0}, {inf, -inf},
                               {100.0, 1.0}, {0.0, 0.0}}) {
    HostWorld<PF_Pixel16> in16 = PatternWorld<PF_Pixel16>(19, 13, 2), out16(19, 13, 2);
    HostWorld<PF_Pixel8> in8 = PatternWorld<PF_Pixel8>(19, 13, 0), out8(19, 13, 0);
    const EffectControls c{true, PF_Pixel8{255, 20, 40, 60}, range, weight};
    EXPECT_EQ(host.Render(c, in16, out16), PF_Err_NONE) << range << " " << weight;
    EXPECT_EQ(host.Render(c, in8, out8), PF_Err_NONE) << range << " " << weight;
  }
}

INSTANTIATE_TEST_SUITE_P(Modules, RenderTest, ::testing::Values(Flavour::linked, Flavour::file),
                         FlavourName);

template <class Pixel>
void ExpectSameRenders() {
  MiniHost linked(minihost::LinkedEffectModule()), file(NativeModuleFile().entryPoints());
  const EffectControls settings[] = {
      {}, {true, PF_Pixel8{255, 200, 20, 60}, 10.0, 0.5}, {false, PF_Pixel8{}, 0.0, 1.0}};
  for (const EffectControls& c : settings) {
    HostWorld<Pixel> in1 = PatternWorld<Pixel>(23, 17, 3), in2 = in1, out1(23, 17, 3),
                     out2(23, 17, 3);
    ASSERT_EQ(linked.Render(c, in1, out1), PF_Err_NONE);
    ASSERT_EQ(file.Render(c, in2, out2), PF_Err_NONE);
    EXPECT_TRUE(SamePixels(out1, out2));
    EXPECT_TRUE(SamePixels(in1, in2));  // the colour key writes the input alike
  }
}

TEST(RenderAgreementTest, LinkedAndFileModulesRenderAlike) {
  ExpectSameRenders<PF_Pixel8>();
  ExpectSameRenders<PF_Pixel16>();
}

TEST(RenderAgreementTest, ConcurrentRendersMatchSerialOnes) {
  MiniHost host(NativeModuleFile().entryPoints());
  constexpr int kFrames = 6;
  std::vector<HostWorld<PF_Pixel16>> inputs, serial, parallel;
  for (int i = 0; i < kFrames; ++i) {
    inputs.push_back(PatternWorld<PF_Pixel16>(30 + i, 20 + 2 * i, i % 3));
    serial.emplace_back(30 + i, 20 + 2 * i, i % 3);
    parallel.emplace_back(30 + i, 20 + 2 * i, i % 3);
  }
  std::vector<HostWorld<PF_Pixel16>> serialIn = inputs, parallelIn = inputs;
  const EffectControls c{true, PF_Pixel8{255, 200, 20, 60}, 5.0, 0.25};
  for (int i = 0; i < kFrames; ++i) ASSERT_EQ(host.Render(c, serialIn[i], serial[i]), PF_Err_NONE);
  std::vector<PF_Err> errs(kFrames, -1);
  std::vector<std::thread> threads;
  for (int i = 0; i < kFrames; ++i)
    threads.emplace_back([&, i] { errs[i] = host.Render(c, parallelIn[i], parallel[i]); });
  for (auto& t : threads) t.join();
  for (int i = 0; i < kFrames; ++i) {
    EXPECT_EQ(errs[i], PF_Err_NONE);
    EXPECT_TRUE(SamePixels(serial[i], parallel[i])) << i;
  }
}

TEST(HostWorldTest, RefusesImpossibleSizes) {
  EXPECT_THROW(HostWorld<PF_Pixel8>(-1, 4), std::invalid_argument);
  EXPECT_THROW(HostWorld<PF_Pixel8>(4, 4, -1), std::invalid_argument);
  EXPECT_THROW(HostWorld<PF_Pixel16>(70000, 70000), std::invalid_argument);
  HostWorld<PF_Pixel16> w(3, 2, 2);
  EXPECT_EQ(w.stride(), 5);
  EXPECT_EQ(w.world().rowbytes, 40);
  EXPECT_EQ(w.world().world_flags & PF_WorldFlag_DEEP, PF_WorldFlag_DEEP);
}

}  // namespace
}  // namespace corvalin::testing
