// Renders on several threads at once through one instance of the plug-in,
// as hosts run a fully thread-safe effect: each frame equals the frame
// rendered alone.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "tests/ofx/ofx_test_frames.h"
#include "tests/ofx/ofx_test_host.h"

namespace corvalin::ofxtest {
namespace {

TEST(OfxConcurrency, SimultaneousRendersEqualSingleRenders) {
  OfxTestHost host(OfxTestHost::BinaryInBundle(CORVALIN_OFX_BUNDLE));
  Prepare(host);
  SetParams(host, RenderSettings{true, PF_Pixel8{255, 200, 20, 60}, 3.0, 0.5});
  constexpr int kThreads = 6;
  const char* depths[] = {"OfxBitDepthByte", "OfxBitDepthShort", "OfxBitDepthFloat"};
  std::vector<HostImage> sources, alone, together;
  for (int i = 0; i < kThreads; ++i) {
    const Picture picture = GeneratedPicture(static_cast<uint32_t>(40 + i), 45 + i, 33 - i, 8);
    sources.push_back(SourceImage(picture, depths[i % 3], "OfxImageComponentRGBA", {}));
    alone.emplace_back(depths[i % 3], "OfxImageComponentRGBA", sources.back().bounds);
    together.emplace_back(depths[i % 3], "OfxImageComponentRGBA", sources.back().bounds);
  }
  auto render = [&](int i, HostImage& output) {
    RenderRequest request;
    request.source = &sources[static_cast<size_t>(i)];
    request.output = &output;
    request.window = output.bounds;
    return host.Render(request);
  };
  for (int i = 0; i < kThreads; ++i)
    ASSERT_EQ(render(i, alone[static_cast<size_t>(i)]), kOfxStatOK);

  std::vector<OfxStatus> statuses(kThreads, kOfxStatFailed);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i)
    threads.emplace_back([&, i] {
      const size_t k = static_cast<size_t>(i);
      for (int repeat = 0; repeat < 3 && (repeat == 0 || statuses[k] == kOfxStatOK); ++repeat)
        statuses[k] = render(i, together[k]);
    });
  for (std::thread& t : threads) t.join();
  for (int i = 0; i < kThreads; ++i) {
    const size_t k = static_cast<size_t>(i);
    EXPECT_EQ(statuses[k], kOfxStatOK) << "thread " << i;
    EXPECT_EQ(together[k].bytes(), alone[k].bytes()) << "thread " << i;
  }
  EXPECT_TRUE(host.misuses().empty());
}

}  // namespace
}  // namespace corvalin::ofxtest
