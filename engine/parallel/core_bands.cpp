#include "engine/parallel/core_bands.h"

#include <tbb/info.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace corvalin {

namespace {

// Runs body(b) for every band b on up to `threads` threads (0: all cores;
// 1: one after another on this thread). oneTBB does the work; the
// ThreadSanitizer build uses plain threads instead, because the system's
// oneTBB library is not instrumented and its own synchronisation would be
// reported as races in the tasks it runs.
template <class Body>
void ForEachBand(int threads, int32_t count, const Body& body) {
  if (threads == 1) {
    for (int32_t b = 0; b < count; ++b) body(b);
    return;
  }
#ifdef CORVALIN_PLAIN_THREADS
  std::atomic<int32_t> next{0};
  auto worker = [&] {
    for (int32_t b = next++; b < count; b = next++) body(b);
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < std::min<int>(threads, count); ++t) pool.emplace_back(worker);
  worker();
  for (std::thread& t : pool) t.join();
#else
  (void)threads;
  tbb::parallel_for(int32_t{0}, count, body);
#endif
}

#ifndef CORVALIN_PLAIN_THREADS
// One arena per thread count, made on first use and kept for the process's
// life. Callers make a CoreBands for every frame, and arenas made and
// destroyed in quick succession (small frames) leave memory in oneTBB that
// it never gives back, and slow every later call. The arenas are never
// destroyed: at exit oneTBB may already be gone, and the counts are bounded
// by the cores.
tbb::task_arena& ArenaFor(int threads) {
  static std::mutex guard;
  static auto* arenas = new std::map<int, std::unique_ptr<tbb::task_arena>>;
  const std::lock_guard<std::mutex> lock(guard);
  std::unique_ptr<tbb::task_arena>& arena = (*arenas)[threads];
  if (!arena) arena = std::make_unique<tbb::task_arena>(threads);
  return *arena;
}
#endif

}  // namespace

void CoreBands::RunBands(int32_t count, BandFunction function, void* context) {
  const int cores = tbb::info::default_concurrency();
  int threads = threads_ > 0 ? threads_ : cores;
  const auto body = [function, context](int32_t band) { function(context, band); };
#ifdef CORVALIN_PLAIN_THREADS
  ForEachBand(threads, count, body);
#else
  threads = std::min(threads, cores);
  if (threads == 1) return ForEachBand(1, count, body);
  ArenaFor(threads).execute([&] { ForEachBand(threads, count, body); });
#endif
}

}  // namespace corvalin
