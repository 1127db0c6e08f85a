// The plug-in on the host's threads: frames of several bands render to the
// same pinned bytes with and without the multi-thread suite and at any CPU
// count, the plug-in asks the suite for as many threads as it can use and no
// more, and never from a thread the host spawned. Also the test host's suite
// itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/ofx/ofx_test_support.h"

namespace corvalin::ofxtest {
namespace {

const PF_Pixel8 kKey{255, 200, 20, 60};

// Frames of the digest program's banded set (see ofx_digest_main.cpp) and
// the digests of their whole output buffers, as the plug-in rendered them
// with oneTBB before it used the host's threads.
struct PinnedFrame {
  uint32_t seed;
  int32_t width, height;
  int bits;
  RenderSettings settings;
  const char* depth;
  bool partial;  // bounds off the origin, rows top first and padded, all but the edge rendered
  uint64_t digest;
};
const PinnedFrame kPinned[] = {
    // clang-format off
    {6, 40, 1100, 8, {true, kKey, 25.0, 0.5}, "OfxBitDepthByte", false, 0xdf452ecf29ea1209},
    {6, 40, 1100, 8, {true, kKey, 25.0, 0.5}, "OfxBitDepthShort", false, 0xa0634da8850017d1},
    {7, 700, 150, 16, {false, kKey, 1.0, 0.0}, "OfxBitDepthByte", false, 0x3859263a4d1fee15},
    {7, 700, 150, 16, {true, PF_Pixel8{255, 255, 255, 255}, 5.0, 0.75}, "OfxBitDepthFloat", true,
     0x0154602b9efb5f7b},
    // clang-format on
};

RenderCheck RenderPinned(OfxTestHost& host, const PinnedFrame& f, bool keepParams = false) {
  const Picture picture = GeneratedPicture(f.seed, f.width, f.height, f.bits);
  const Placement at = f.partial ? Placement{3, -9, {true, 4, 0x5A}} : Placement{};
  const OfxRectI window{at.x0 + 1, at.y0 + 1, at.x0 + f.width - 1, at.y0 + f.height - 1};
  return RenderAndCompare(host, picture, f.settings, f.depth, "OfxImageComponentRGBA", at,
                          f.partial ? &window : nullptr, keepParams);
}

TEST(OfxThreads, BandedFramesKeepTheirPinnedBytesAtEveryThreadCount) {
  for (unsigned int threads : {0u, 1u, 2u, 4u}) {
    SCOPED_TRACE(threads == 0 ? std::string("no suite") : std::to_string(threads) + " CPUs");
    OfxTestHost host(BundleBinary(), WithThreads(threads));
    Prepare(host);
    for (const PinnedFrame& f : kPinned) {
      const RenderCheck check = RenderPinned(host, f);
      EXPECT_EQ(check.status, kOfxStatOK);
      EXPECT_EQ(check.difference, "");
      EXPECT_EQ(check.digest, f.digest) << "frame " << f.seed << " " << f.depth;
    }
    EXPECT_EQ(host.threadUse().multiThreadCalls > 0, threads >= 2);
    EXPECT_TRUE(host.misuses().empty()) << host.misuses()[0];
  }
}

// Three stages (key, scan, settling) each make one multiThread call with one
// thread per CPU, or per band where the frame has fewer.
TEST(OfxThreads, EachStageAsksForOneThreadPerCpuUpToTheBands) {
  const struct {
    unsigned int cpus;
    size_t frame;
    unsigned int threads;
  } cases[] = {{4, 0, 4}, {2, 0, 2}, {3, 1, 3}, {4, 2, 2}, {8, 2, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.cpus) + " CPUs, frame " + std::to_string(c.frame));
    OfxTestHost host(BundleBinary(), WithThreads(c.cpus));
    Prepare(host);
    const RenderCheck check = RenderPinned(host, kPinned[c.frame]);
    EXPECT_EQ(check.digest, kPinned[c.frame].digest);
    const ThreadUse use = host.threadUse();
    // The three stages of the scan, and the conversions in and out.
    EXPECT_EQ(use.multiThreadCalls, 5);
    EXPECT_EQ(use.mostThreads, c.threads);
    EXPECT_EQ(use.functionCalls, 5 * static_cast<int>(c.threads));
    EXPECT_TRUE(host.misuses().empty()) << host.misuses()[0];
  }
}

TEST(OfxThreads, FramesOfOneBandStayOnTheRenderThread) {
  OfxTestHost host(BundleBinary(), WithThreads(4));
  Prepare(host);
  const Picture picture = GeneratedPicture(1, 48, 32, 8);
  for (const char* depth : kDepths)
    EXPECT_EQ(RenderAndCompare(host, picture, RenderSettings{true, kKey, 25.0, 0.5}, depth,
                               "OfxImageComponentRGBA")
                  .difference,
              "");
  EXPECT_EQ(host.threadUse().multiThreadCalls, 0);
}

// A render on a thread the host spawned renders alone there: multiThread may
// not be called from it.
TEST(OfxThreads, RendersOnASpawnedThreadDoNotAskForThreads) {
  OfxTestHost host(BundleBinary(), WithThreads(4));
  Prepare(host);
  SetParams(host, kPinned[0].settings);
  struct Job {
    OfxTestHost* host;
    RenderCheck check;
  } job{&host, {}};
  ASSERT_EQ(host.MultiThread(
                [](unsigned int, unsigned int, void* arg) {
                  Job& j = *static_cast<Job*>(arg);
                  j.check = RenderPinned(*j.host, kPinned[0], true);
                },
                1, &job),
            kOfxStatOK);
  EXPECT_EQ(job.check.status, kOfxStatOK);
  EXPECT_EQ(job.check.difference, "");
  EXPECT_EQ(job.check.digest, kPinned[0].digest);
  EXPECT_EQ(host.threadUse().multiThreadCalls, 1);  // the host's own
  EXPECT_TRUE(host.misuses().empty()) << host.misuses()[0];
}

// ---- The test host's suite -------------------------------------------------

const OfxMultiThreadSuiteV1* Suite(OfxTestHost& host) {
  return static_cast<const OfxMultiThreadSuiteV1*>(host.FetchSuite("OfxMultiThreadSuite", 1));
}

TEST(OfxTestHostThreads, MultiThreadCallsEveryIndexOnAThreadOfItsOwn) {
  OfxTestHost host(BundleBinary(), WithThreads(3));
  const OfxMultiThreadSuiteV1* suite = Suite(host);
  ASSERT_NE(suite, nullptr);
  EXPECT_EQ(suite->multiThreadIsSpawnedThread(), 0);
  struct Call {
    unsigned int index, max, reportedIndex, cpus;
    int spawned;
    std::thread::id thread;
  };
  struct Calls {
    const OfxMultiThreadSuiteV1* suite;
    std::mutex mutex;
    std::vector<Call> seen;
  } calls{suite, {}, {}};
  ASSERT_EQ(
      host.MultiThread(
          [](unsigned int index, unsigned int max, void* arg) {
            Calls& c = *static_cast<Calls*>(arg);
            unsigned int reported = 99;
            c.suite->multiThreadIndex(&reported);
            unsigned int cpus = 0;
            if (c.suite->multiThreadNumCPUs(&cpus) != kOfxStatOK) cpus = 0;
            const int spawned = c.suite->multiThreadIsSpawnedThread();
            std::lock_guard<std::mutex> lock(c.mutex);
            c.seen.push_back({index, max, reported, cpus, spawned, std::this_thread::get_id()});
          },
          5, &calls),
      kOfxStatOK);
  ASSERT_EQ(calls.seen.size(), 5u);
  std::set<unsigned int> indices;
  std::set<std::thread::id> threads;
  for (const Call& c : calls.seen) {
    indices.insert(c.index);
    threads.insert(c.thread);
    EXPECT_EQ(c.max, 5u);
    EXPECT_EQ(c.reportedIndex, c.index);
    EXPECT_EQ(c.cpus, 3u);
    EXPECT_EQ(c.spawned, 1);
  }
  EXPECT_EQ(indices, (std::set<unsigned int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(threads.size(), 5u);
  EXPECT_EQ(threads.count(std::this_thread::get_id()), 0u);
  unsigned int index = 99;
  EXPECT_EQ(suite->multiThreadIndex(&index), kOfxStatOK);
  EXPECT_EQ(index, 0u);
  EXPECT_EQ(host.threadUse().multiThreadCalls, 1);
  EXPECT_EQ(host.threadUse().functionCalls, 5);
  EXPECT_TRUE(host.misuses().empty());
}

TEST(OfxTestHostThreads, MultiThreadFromASpawnedThreadIsRecorded) {
  OfxTestHost host(BundleBinary(), WithThreads(2));
  struct Nested {
    const OfxMultiThreadSuiteV1* suite;
    OfxStatus status = kOfxStatOK;
  } nested{Suite(host)};
  ASSERT_EQ(host.MultiThread(
                [](unsigned int, unsigned int, void* arg) {
                  Nested& n = *static_cast<Nested*>(arg);
                  n.status =
                      n.suite->multiThread([](unsigned int, unsigned int, void*) {}, 2, nullptr);
                },
                1, &nested),
            kOfxStatOK);
  EXPECT_EQ(nested.status, kOfxStatErrExists);
  ASSERT_EQ(host.misuses().size(), 1u);
  EXPECT_EQ(host.misuses()[0], "multiThread called from a thread it spawned");
}

TEST(OfxTestHostThreads, MutexesLockRecursivelyAndTryLockFailsElsewhere) {
  OfxTestHost host(BundleBinary(), WithThreads(2));
  const OfxMultiThreadSuiteV1* suite = Suite(host);
  OfxMutexHandle mutex = nullptr;
  ASSERT_EQ(suite->mutexCreate(&mutex, 1), kOfxStatOK);
  EXPECT_EQ(suite->mutexLock(mutex), kOfxStatOK);
  OfxStatus elsewhere = kOfxStatOK;
  std::thread([&] { elsewhere = suite->mutexTryLock(mutex); }).join();
  EXPECT_EQ(elsewhere, kOfxStatFailed);
  EXPECT_EQ(suite->mutexUnLock(mutex), kOfxStatOK);
  EXPECT_EQ(suite->mutexUnLock(mutex), kOfxStatOK);
  std::thread([&] {
    elsewhere = suite->mutexTryLock(mutex);
    if (elsewhere == kOfxStatOK) suite->mutexUnLock(mutex);
  }).join();
  EXPECT_EQ(elsewhere, kOfxStatOK);
  EXPECT_EQ(suite->mutexDestroy(mutex), kOfxStatOK);
}

TEST(OfxTestHostThreads, AHostWithoutTheSuiteOffersNone) {
  OfxTestHost host(BundleBinary(), WithThreads(0));
  EXPECT_EQ(Suite(host), nullptr);
}

}  // namespace
}  // namespace corvalin::ofxtest
