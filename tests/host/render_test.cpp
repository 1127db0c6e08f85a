// Render: the depth choice, the refusal of unusable worlds and agreement
// between the linked module, the module file and concurrent renders.
#include <utility>
#include <vector>

#include "tests/host/host_test_support.h"

namespace corvalin::test {
namespace {

using RenderTest = ModuleTest;

std::vector<Service> ServicesOf(const MiniHost& host) {
  std::vector<Service> services;
  for (const auto& c : host.lastCalls()) services.push_back(c.service);
  return services;
}

// The 16-bit bases are asked for first, output before input; the 8-bit
// engine runs only when either is missing, and a deep world has no 8-bit
// base, so that render is refused untouched.
TEST_P(RenderTest, DepthIsChosenFromThePixelBasesTheHostOffers) {
  using S = Service;
  const std::vector<S> deep = {S::getPixelData16, S::getPixelData16, S::copy};
  const std::vector<S> eight = {S::getPixelData16, S::getPixelData16, S::getPixelData8,
                                S::getPixelData8, S::copy};
  const std::vector<S> refused(eight.begin(), eight.end() - 1);
  {
    MiniHost host = Host();
    HostWorld<PF_Pixel16> in = PatternWorld<PF_Pixel16>(12, 9, 2), out(12, 9, 2);
    ASSERT_EQ(host.Render(DefaultRenderSettings(), in, out), PF_Err_NONE);
    ASSERT_EQ(ServicesOf(host), deep);
    const auto calls = host.lastCalls();
    EXPECT_EQ(calls[0].world, &out.world());
    EXPECT_NE(calls[1].world, &out.world());
    EXPECT_EQ(calls[2].target, &out.world());
    EXPECT_EQ(calls[2].effectRef, MiniHost::EffectRef());
    EXPECT_EQ(calls[2].number, 0);  // whole worlds
  }
  {
    MiniHost host = Host();
    HostWorld<PF_Pixel8> in = PatternWorld<PF_Pixel8>(12, 9, 0), out(12, 9, 0);
    ASSERT_EQ(host.Render(DefaultRenderSettings(), in, out), PF_Err_NONE);
    ASSERT_EQ(ServicesOf(host), eight);
    EXPECT_EQ(host.lastCalls()[2].world, &out.world());
    EXPECT_NE(host.lastCalls()[3].world, &out.world());
  }
  for (bool inputOffered : {false, true}) {
    HostBehaviour b;
    b.offer16BitInput = inputOffered;
    b.offer16BitOutput = !inputOffered;
    MiniHost host = Host(b);
    HostWorld<PF_Pixel16> in = PatternWorld<PF_Pixel16>(6, 5, 1), out(6, 5, 1);
    const HostWorld<PF_Pixel16> before = out;
    EXPECT_EQ(host.Render(DefaultRenderSettings(), in, out), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(ServicesOf(host), refused);
    EXPECT_TRUE(SamePixels(out, before));
  }
  HostBehaviour cancel;
  cancel.copyError = PF_Interrupt_CANCEL;
  HostWorld<PF_Pixel8> in = PatternWorld<PF_Pixel8>(8, 8, 0), out(8, 8, 0);
  EXPECT_EQ(Host(cancel).Render(DefaultRenderSettings(), in, out), PF_Interrupt_CANCEL);
}

// Renders through Command with hand-made worlds, expecting a refusal that
// neither copies nor touches a pixel nor PF_OutData.
template <class Pixel>
void ExpectRefused(const MiniHost& host, int32_t w, int32_t h, int32_t rowbytes, int32_t outW,
                   int32_t outH, int32_t outRowbytes, const char* what) {
  const auto makeWorld = [](int32_t width, int32_t height, int32_t rb, void* data) {
    PF_EffectWorld world{};
    world.width = width;
    world.height = height;
    world.rowbytes = rb;
    world.world_flags = sizeof(Pixel) == 8 ? PF_WorldFlag_DEEP : 0;
    world.data = data;
    return world;
  };
  std::vector<Pixel> inPixels(4096), outPixels(4096);
  for (size_t i = 0; i < inPixels.size(); ++i) inPixels[i].red = static_cast<uint8_t>(i);
  const std::vector<Pixel> inBefore = inPixels, outBefore = outPixels;
  PF_EffectWorld outWorld = makeWorld(outW, outH, outRowbytes, outPixels.data());
  minihost::RenderParams params(RenderSettings{true, PF_Pixel8{0, 0, 0, 0}, 1.0, 0.0},
                                makeWorld(w, h, rowbytes, inPixels.data()));
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
void ExpectUnsafeWorldsRefused(const MiniHost& host) {
  constexpr int32_t s = sizeof(Pixel);
  ExpectRefused<Pixel>(host, 9, 8, 9 * s, 8, 8, 8 * s, "input wider");
  ExpectRefused<Pixel>(host, 8, 8, 8 * s, 8, 7, 8 * s, "output shorter");
  ExpectRefused<Pixel>(host, -8, 8, 8 * s, -8, 8, 8 * s, "negative width");
  ExpectRefused<Pixel>(host, 8, -2, 8 * s, 8, -2, 8 * s, "negative height");
  ExpectRefused<Pixel>(host, 8, 8, 8 * s - 1, 8, 8, 8 * s, "input row too short");
  ExpectRefused<Pixel>(host, 8, 8, 8 * s, 8, 8, 7 * s, "output row too short");
  ExpectRefused<Pixel>(host, 8, 8, 8 * s + 2, 8, 8, 8 * s, "row not whole pixels");
  ExpectRefused<Pixel>(host, 8, 8, -8 * s, 8, 8, -8 * s, "negative rowbytes");
  // 32768 pixels per row x 65536 rows reaches index 2^31.
  ExpectRefused<Pixel>(host, 8, 65536, 32768 * s, 8, 65536, 8 * s, "index beyond 32 bits");
}

TEST_P(RenderTest, UnsafeWorldsAndMissingRecordsAreRefusedUntouched) {
  MiniHost host = Host();
  ExpectUnsafeWorldsRefused<PF_Pixel8>(host);
  ExpectUnsafeWorldsRefused<PF_Pixel16>(host);

  HostWorld<PF_Pixel8> in = PatternWorld<PF_Pixel8>(4, 4, 0), out(4, 4, 0);
  minihost::RenderParams params(DefaultRenderSettings(), in.world());
  PF_OutData outData{};
  EXPECT_EQ(host.Command(PF_Cmd_RENDER, &outData, nullptr, &out.world()),
            PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(host.Command(PF_Cmd_RENDER, &outData, params.array, nullptr),
            PF_Err_BAD_CALLBACK_PARAM);
  for (int i = 0; i < kEffectParamCount; ++i) {
    PF_ParamDef* saved = std::exchange(params.array[i], nullptr);
    EXPECT_EQ(host.Command(PF_Cmd_RENDER, &outData, params.array, &out.world()),
              PF_Err_BAD_CALLBACK_PARAM)
        << i;
    EXPECT_TRUE(host.lastCalls().empty()) << i;
    params.array[i] = saved;
  }
}

// Degenerate sizes render (out-of-range controls and concurrent renders are
// the engine's and the concurrency tests' part).
TEST_P(RenderTest, EmptyFramesRenderSafely) {
  MiniHost host = Host();
  for (auto [w, h] : {std::pair{0, 0}, {0, 3}, {3, 0}, {1, 1}, {1, 5}, {5, 1}}) {
    HostWorld<PF_Pixel8> in(w, h, 1), out(w, h, 1);
    EXPECT_EQ(host.Render(DefaultRenderSettings(), in, out), PF_Err_NONE) << w << "x" << h;
  }
}

INSTANTIATE_TEST_SUITE_P(Modules, RenderTest, ::testing::Values(Flavour::linked, Flavour::file),
                         FlavourName);

// The module file renders as the linked module does.
template <class Pixel>
void ExpectSameRenders() {
  MiniHost linked(minihost::LinkedEffectModule()), file(NativeModuleFile().entryPoints());
  // The key is a colour of the frame (brick), so the key also writes the input.
  for (const RenderSettings& c :
       {DefaultRenderSettings(), RenderSettings{true, PF_Pixel8{255, 200, 70, 60}, 10.0, 0.5},
        RenderSettings{false, PF_Pixel8{}, 0.0, 1.0}}) {
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
}  // namespace corvalin::test
