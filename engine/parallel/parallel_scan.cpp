#include "engine/parallel/parallel_scan.h"

#include <tbb/info.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "engine/parallel/band_writer.h"
#include "engine/scan/scan_frame.h"
#include "engine/scan/scan_rows.h"

namespace corvalin {

namespace {

// Runs body(b) for every band b on up to `threads` threads. oneTBB does the
// work; the ThreadSanitizer build uses plain threads instead, because the
// system's oneTBB library is not instrumented and its own synchronisation
// would be reported as races in the tasks it runs.
template <class Body>
void ForEachBand(int threads, int32_t count, const Body& body) {
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

// Bands of equal height (the last may be shorter), so that the band of a row
// is one division.
struct Bands {
  int32_t rowsPerBand;
  int32_t count;

  int32_t RowBegin(int32_t b) const { return b * rowsPerBand; }
  int32_t RowEnd(int32_t b, int32_t height) const {
    return std::min(height, (b + 1) * rowsPerBand);
  }
};

// A band's input and output rows together fit a core's cache, so its scan
// finds the rows its copy has just touched; many bands also balance the load
// when edges crowd in some of them.
Bands CutIntoBands(int32_t height, int32_t rowbytes, int32_t rowsPerBand) {
  if (rowsPerBand <= 0) {
    constexpr int64_t kBandBytes = 512 * 1024;
    rowsPerBand = static_cast<int32_t>(
        std::clamp<int64_t>(kBandBytes / std::max<int64_t>(1, 2 * int64_t{rowbytes}), 8, 256));
  }
  const int32_t count = std::max<int32_t>(1, (height + rowsPerBand - 1) / rowsPerBand);
  return Bands{rowsPerBand, count};
}

template <class Pixel>
ProcessRect FindProcessRectInBands(Pixel* pixels, int32_t rowbytes, int32_t height,
                                   const Bands& bands, const RenderSettings& s, int threads) {
  const int32_t pixelsPerRow = rowbytes / static_cast<int32_t>(sizeof(Pixel));
  std::vector<ContentBounds> found(static_cast<size_t>(bands.count));
  ForEachBand(threads, bands.count, [&](int32_t b) {
    found[static_cast<size_t>(b)] =
        FindContentRows(pixels, pixelsPerRow, bands.RowBegin(b), bands.RowEnd(b, height),
                        s.useKey, s.keyColour);
  });
  ContentBounds joined;
  for (const ContentBounds& part : found) joined = JoinContentBounds(joined, part);
  return ProcessRectFromBounds(joined);
}

template <class Pixel>
void CopyRows(const PF_EffectWorld& input, PF_EffectWorld& output, int32_t rowBegin,
              int32_t rowEnd) {
  for (int32_t y = rowBegin; y < rowEnd; ++y)
    std::memcpy(static_cast<char*>(output.data) + static_cast<ptrdiff_t>(y) * output.rowbytes,
                static_cast<const char*>(input.data) + static_cast<ptrdiff_t>(y) * input.rowbytes,
                static_cast<size_t>(input.width) * sizeof(Pixel));
}

// Replays the writes that bands made into other bands' rows. For each target
// band, bands above it wrote before the target's own scan, so they fill only
// pixels the target did not write itself; bands below wrote after it and
// always win. Sources are taken in band order, and each source's writes in the
// order it made them, so the last write of the serial scan is the one kept.
template <class Pixel>
void ReplayCrossBandWrites(const std::vector<BandRecord<Pixel>>& records, const Bands& bands,
                           int32_t destinationStride, Pixel* outputPixels, int threads) {
  struct Pending {
    int32_t source;
    const LoggedWrite<Pixel>* write;
  };
  std::vector<std::vector<Pending>> byTarget(static_cast<size_t>(bands.count));
  for (int32_t source = 0; source < bands.count; ++source)
    for (const LoggedWrite<Pixel>& w : records[static_cast<size_t>(source)].logged) {
      const int32_t target = w.index / destinationStride / bands.rowsPerBand;
      byTarget[static_cast<size_t>(target)].push_back(Pending{source, &w});
    }
  ForEachBand(threads, bands.count, [&](int32_t target) {
    const BandRecord<Pixel>& own = records[static_cast<size_t>(target)];
    for (const Pending& p : byTarget[static_cast<size_t>(target)]) {
      if (p.source < target && own.WroteItself(p.write->index)) continue;
      outputPixels[p.write->index] = p.write->value;
    }
  });
}

template <class Pixel>
void RunBands(const RenderSettings& settings, PF_EffectWorld* input, PF_EffectWorld* output,
              Pixel* inputPixels, Pixel* outputPixels, const Bands& bands, int threads) {
  const int32_t height = input->height;
  ProcessRect rect =
      FindProcessRectInBands(inputPixels, input->rowbytes, height, bands, settings, threads);

  const EdgeContext<Pixel> serial =
      MakeEdgeContext<Pixel>(input, output, inputPixels, outputPixels, settings);
  const int32_t D = DestinationStride(serial);
  AdjustProcessRect(rect, SourceStride(serial), height);

  // Each band copies its rows and then scans them. Its own writes land after
  // its copy; other bands never write its rows directly, so no copy can
  // overwrite a step's result.
  std::vector<BandRecord<Pixel>> records(static_cast<size_t>(bands.count));
  ForEachBand(threads, bands.count, [&](int32_t b) {
    const int32_t rowBegin = bands.RowBegin(b), rowEnd = bands.RowEnd(b, height);
    CopyRows<Pixel>(*input, *output, rowBegin, rowEnd);
    BandRecord<Pixel>& record = records[static_cast<size_t>(b)];
    record.ownBegin = rowBegin * D;
    record.ownEnd = rowEnd * D;
    record.written.assign(static_cast<size_t>(record.ownEnd - record.ownBegin) / 64 + 1, 0);
    EdgeContext<Pixel, BandWriter<Pixel>> ctx{
        serial.sourceWorld,  serial.destinationWorld, serial.sourcePixels,
        BandWriter<Pixel>(outputPixels, &record), 0, 0, 0, 0, {}, 0, serial.threshold,
        serial.weightFactor};
    const int32_t scanBegin = std::max(rect.top, rowBegin);
    const int32_t scanEnd = std::min(rect.bottom, rowEnd);
    if (scanBegin < scanEnd) ScanRows(ctx, rect, scanBegin, scanEnd);
  });
  ReplayCrossBandWrites(records, bands, D, outputPixels, threads);

  WriteCornerMarkers(outputPixels, D, output->height, rect);
}

}  // namespace

template <class Pixel>
void ScanFrameParallel(const RenderSettings& settings, PF_EffectWorld* input,
                       PF_EffectWorld* output, Pixel* inputPixels, Pixel* outputPixels,
                       const ParallelScanOptions& options) {
  // More threads than cores would only queue: the library caps its workers.
  const int cores = tbb::info::default_concurrency();
  int threads = options.threads > 0 ? options.threads : cores;
#ifndef CORVALIN_PLAIN_THREADS
  threads = std::min(threads, cores);
#endif
  const Bands bands = CutIntoBands(input->height, input->rowbytes, options.rowsPerBand);
  tbb::task_arena arena(threads);
  arena.execute(
      [&] { RunBands(settings, input, output, inputPixels, outputPixels, bands, threads); });
}

template void ScanFrameParallel<PF_Pixel8>(const RenderSettings&, PF_EffectWorld*,
                                           PF_EffectWorld*, PF_Pixel8*, PF_Pixel8*,
                                           const ParallelScanOptions&);
template void ScanFrameParallel<PF_Pixel16>(const RenderSettings&, PF_EffectWorld*,
                                            PF_EffectWorld*, PF_Pixel16*, PF_Pixel16*,
                                            const ParallelScanOptions&);

}  // namespace corvalin
