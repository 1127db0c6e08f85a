// Several threads rendering different frames at once through one loaded
// module, as a host with threaded rendering does; each result must equal the
// same frame rendered alone. Run under ThreadSanitizer by the test command.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "tests/support/minihost/mini_host.h"
#include "tests/support/test_images.h"

namespace corvalin {
namespace {

using minihost::HostWorld;
using minihost::MiniHost;
using minihost::ModuleFile;

template <class Pixel>
HostWorld<Pixel> PaintFrame(uint32_t seed, int32_t width, int32_t height, int32_t padding) {
  HostWorld<Pixel> world(width, height, padding);
  test_images::Scene scene;
  scene.shapes = 30;
  test_images::DrawScene(test_images::CanvasOver(world), seed, scene);
  return world;
}

struct Job {
  uint32_t seed;
  bool deep;
  RenderSettings settings;
};

template <class Pixel>
std::vector<Pixel> RenderAlone(const MiniHost& host, const Job& job) {
  const int32_t seed = static_cast<int32_t>(job.seed);
  HostWorld<Pixel> input = PaintFrame<Pixel>(job.seed, 40 + seed % 17, 30 + seed % 11, seed % 3);
  HostWorld<Pixel> output(input.width(), input.height(), input.stride() - input.width());
  EXPECT_EQ(host.Render(job.settings, input, output), PF_Err_NONE);
  return std::vector<Pixel>(output.pixels(),
                            output.pixels() + size_t(output.stride()) * size_t(output.height()));
}

template <class Pixel>
bool SameBytes(const std::vector<Pixel>& a, const std::vector<Pixel>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(Pixel)) == 0;
}

TEST(ConcurrentRender, EightThreadsThroughOneLoadedModuleMatchRendersAlone) {
  ModuleFile module(CORVALIN_MODULE_PATH);
  MiniHost host(module.entryPoints());
  ASSERT_EQ(host.GlobalSetup(), PF_Err_NONE);
  ASSERT_EQ(host.ParamsSetup(), PF_Err_NONE);

  std::vector<Job> jobs;
  for (uint32_t i = 0; i < 8; ++i) {
    Job job{i + 1, i % 2 == 1, DefaultRenderSettings()};
    job.settings.useKey = i % 3 == 0;
    job.settings.lineWeight = (i % 4) / 3.0;
    job.settings.smootherRange = 0.5 + i;
    jobs.push_back(job);
  }
  std::vector<std::vector<PF_Pixel8>> alone8(jobs.size()), together8(jobs.size());
  std::vector<std::vector<PF_Pixel16>> alone16(jobs.size()), together16(jobs.size());
  for (size_t i = 0; i < jobs.size(); ++i) {
    if (jobs[i].deep)
      alone16[i] = RenderAlone<PF_Pixel16>(host, jobs[i]);
    else
      alone8[i] = RenderAlone<PF_Pixel8>(host, jobs[i]);
  }

  for (int round = 0; round < 3; ++round) {
    std::vector<std::thread> threads;
    for (size_t i = 0; i < jobs.size(); ++i)
      threads.emplace_back([&, i] {
        if (jobs[i].deep)
          together16[i] = RenderAlone<PF_Pixel16>(host, jobs[i]);
        else
          together8[i] = RenderAlone<PF_Pixel8>(host, jobs[i]);
      });
    for (std::thread& t : threads) t.join();
    for (size_t i = 0; i < jobs.size(); ++i) {
      if (jobs[i].deep)
        EXPECT_TRUE(SameBytes(alone16[i], together16[i])) << "frame " << i;
      else
        EXPECT_TRUE(SameBytes(alone8[i], together8[i])) << "frame " << i;
    }
  }
}

}  // namespace
}  // namespace corvalin
