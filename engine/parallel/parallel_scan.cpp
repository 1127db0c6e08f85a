#include "engine/parallel/parallel_scan.h"

#include <tbb/blocked_range.h>
#include <tbb/info.h>
#include <tbb/parallel_for.h>
#include <tbb/parallel_reduce.h>
#include <tbb/task_arena.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/parallel/band_writer.h"
#include "engine/scan/scan_frame.h"
#include "engine/scan/scan_rows.h"

namespace corvalin {

namespace {

struct Band {
  int32_t rowBegin;
  int32_t rowEnd;
};

std::vector<Band> CutIntoBands(int32_t height, int threads, int32_t rowsPerBand) {
  if (rowsPerBand <= 0) {
    // A few bands per thread, so that a band with many edges does not leave
    // the other threads idle at the end.
    const int32_t bands = std::max(1, threads * 4);
    rowsPerBand = std::max<int32_t>(16, (height + bands - 1) / bands);
  }
  std::vector<Band> bands;
  for (int32_t row = 0; row < height; row += rowsPerBand)
    bands.push_back(Band{row, std::min(height, row + rowsPerBand)});
  if (bands.empty()) bands.push_back(Band{0, 0});
  return bands;
}

template <class Pixel>
ProcessRect FindProcessRectInBands(Pixel* pixels, int32_t rowbytes,
                                   const std::vector<Band>& bands, const RenderSettings& s) {
  const int32_t pixelsPerRow = rowbytes / static_cast<int32_t>(sizeof(Pixel));
  std::vector<ContentBounds> found(bands.size());
  tbb::parallel_for(size_t{0}, bands.size(), [&](size_t b) {
    found[b] = FindContentRows(pixels, pixelsPerRow, bands[b].rowBegin, bands[b].rowEnd,
                               s.useKey, s.keyColour);
  });
  ContentBounds joined;
  for (const ContentBounds& part : found) joined = JoinContentBounds(joined, part);
  return ProcessRectFromBounds(joined);
}

template <class Pixel>
void CopyInBands(const PF_EffectWorld& input, PF_EffectWorld& output,
                 const std::vector<Band>& bands) {
  tbb::parallel_for(size_t{0}, bands.size(), [&](size_t b) {
    for (int32_t y = bands[b].rowBegin; y < bands[b].rowEnd; ++y)
      std::memcpy(static_cast<char*>(output.data) + static_cast<ptrdiff_t>(y) * output.rowbytes,
                  static_cast<const char*>(input.data) + static_cast<ptrdiff_t>(y) * input.rowbytes,
                  static_cast<size_t>(input.width) * sizeof(Pixel));
  });
}

// Replays the writes that other bands made into band `target`'s rows. Bands
// above wrote before the target's own scan, so they fill only pixels the
// target did not write itself; bands below wrote after it and always win.
// Within each group, later bands and later writes come last.
template <class Pixel>
void ReplayIntoBand(size_t target, const std::vector<BandRecord<Pixel>>& records,
                    Pixel* outputPixels) {
  const BandRecord<Pixel>& own = records[target];
  for (size_t source = 0; source < records.size(); ++source) {
    if (source == target) continue;
    const bool fromAbove = source < target;
    for (const LoggedWrite<Pixel>& w : records[source].logged) {
      if (w.index < own.ownBegin || w.index >= own.ownEnd) continue;
      if (fromAbove && own.WroteItself(w.index)) continue;
      outputPixels[w.index] = w.value;
    }
  }
}

template <class Pixel>
void RunBands(const RenderSettings& settings, PF_EffectWorld* input, PF_EffectWorld* output,
              Pixel* inputPixels, Pixel* outputPixels, const std::vector<Band>& bands) {
  ProcessRect rect = FindProcessRectInBands(inputPixels, input->rowbytes, bands, settings);
  CopyInBands<Pixel>(*input, *output, bands);

  const EdgeContext<Pixel> serial =
      MakeEdgeContext<Pixel>(input, output, inputPixels, outputPixels, settings);
  const int32_t D = DestinationStride(serial);
  AdjustProcessRect(rect, SourceStride(serial), input->height);

  std::vector<BandRecord<Pixel>> records(bands.size());
  tbb::parallel_for(size_t{0}, bands.size(), [&](size_t b) {
    BandRecord<Pixel>& record = records[b];
    record.ownBegin = bands[b].rowBegin * D;
    record.ownEnd = bands[b].rowEnd * D;
    record.written.assign(static_cast<size_t>(record.ownEnd - record.ownBegin) / 8 + 1, 0);
    EdgeContext<Pixel, BandWriter<Pixel>> ctx{
        serial.sourceWorld,  serial.destinationWorld, serial.sourcePixels,
        BandWriter<Pixel>(outputPixels, &record), 0, 0, 0, 0, {}, 0, serial.threshold,
        serial.weightFactor};
    const int32_t rowBegin = std::max(rect.top, bands[b].rowBegin);
    const int32_t rowEnd = std::min(rect.bottom, bands[b].rowEnd);
    if (rowBegin < rowEnd) ScanRows(ctx, rect, rowBegin, rowEnd);
  });
  tbb::parallel_for(size_t{0}, bands.size(),
                    [&](size_t b) { ReplayIntoBand(b, records, outputPixels); });

  WriteCornerMarkers(outputPixels, D, output->height, rect);
}

}  // namespace

template <class Pixel>
void ScanFrameParallel(const RenderSettings& settings, PF_EffectWorld* input,
                       PF_EffectWorld* output, Pixel* inputPixels, Pixel* outputPixels,
                       const ParallelScanOptions& options) {
  const int threads = options.threads > 0 ? options.threads : tbb::info::default_concurrency();
  const std::vector<Band> bands = CutIntoBands(input->height, threads, options.rowsPerBand);
  tbb::task_arena arena(threads);
  arena.execute([&] { RunBands(settings, input, output, inputPixels, outputPixels, bands); });
}

template void ScanFrameParallel<PF_Pixel8>(const RenderSettings&, PF_EffectWorld*,
                                           PF_EffectWorld*, PF_Pixel8*, PF_Pixel8*,
                                           const ParallelScanOptions&);
template void ScanFrameParallel<PF_Pixel16>(const RenderSettings&, PF_EffectWorld*,
                                            PF_EffectWorld*, PF_Pixel16*, PF_Pixel16*,
                                            const ParallelScanOptions&);

}  // namespace corvalin
