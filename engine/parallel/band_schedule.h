// The banded schedule of one frame, shared by every way of running its
// bands (oneTBB for the command line and the filters, a host's threads for
// the OpenFX plug-in). The frame is cut into bands of whole rows; each stage
// runs one call per band, and the calls of a stage may run in any order on
// any threads: the result is the serial scan's, bit for bit (see
// core_bands.h for why).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/parallel/band_writer.h"
#include "engine/scan/frame_stages.h"

namespace corvalin::bands {

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
inline Bands CutIntoBands(int32_t height, int32_t rowbytes, int32_t rowsPerBand) {
  if (rowsPerBand <= 0) {
    constexpr int64_t kBandBytes = 512 * 1024;
    rowsPerBand = static_cast<int32_t>(
        std::clamp<int64_t>(kBandBytes / std::max<int64_t>(1, 2 * int64_t{rowbytes}), 8, 256));
  }
  const int32_t count = std::max<int32_t>(1, (height + rowsPerBand - 1) / rowsPerBand);
  return Bands{rowsPerBand, count};
}

template <class Pixel, class ForEach>
ProcessRect FindProcessRectInBands(Pixel* pixels, int32_t rowbytes, int32_t height,
                                   const Bands& bands, const RenderSettings& settings,
                                   const ForEach& forEachBand) {
  const int32_t pixelsPerRow = rowbytes / static_cast<int32_t>(sizeof(Pixel));
  std::vector<ContentBounds> found(static_cast<size_t>(bands.count));
  forEachBand(bands.count, [&](int32_t b) {
    found[static_cast<size_t>(b)] =
        FindContentRows(pixels, pixelsPerRow, bands.RowBegin(b), bands.RowEnd(b, height),
                        settings.useKey, settings.keyColour);
  });
  ContentBounds joined;
  for (const ContentBounds& part : found) joined = JoinContentBounds(joined, part);
  return ProcessRectFromBounds(joined);
}

template <class Pixel>
void CopyWorldRows(const PF_EffectWorld& input, PF_EffectWorld& output, int32_t rowBegin,
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
template <class Pixel, class ForEach>
void ReplayCrossBandWrites(const std::vector<BandRecord<Pixel>>& records, const Bands& bands,
                           int32_t destinationStride, Pixel* outputPixels,
                           const ForEach& forEachBand) {
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
  forEachBand(bands.count, [&](int32_t target) {
    const BandRecord<Pixel>& own = records[static_cast<size_t>(target)];
    for (const Pending& p : byTarget[static_cast<size_t>(target)]) {
      if (p.source < target && own.WroteItself(p.write->index)) continue;
      outputPixels[p.write->index] = p.write->value;
    }
  });
}

// The banded schedule: every band is a part that copies its own rows and
// scans them with a BandWriter, all bands at once. `ForEach` runs a stage:
// forEachBand(count, body) calls body(b) once for every band b below count,
// in any order and on any threads, and returns when every call has.
template <class Pixel, class ForEach>
class BandSchedule {
 public:
  BandSchedule(const FrameWorlds<Pixel>& frame, const Bands& bands, const ForEach& forEachBand)
      : frame_(frame), bands_(bands), forEachBand_(forEachBand),
        destinationStride_(frame.output->rowbytes / static_cast<int32_t>(sizeof(Pixel))),
        records_(static_cast<size_t>(bands.count)) {}

  ProcessRect FindRect(const RenderSettings& settings) const {
    return FindProcessRectInBands(frame_.inputPixels, frame_.input->rowbytes, frame_.input->height,
                                  bands_, settings, forEachBand_);
  }

  struct Part {
    int32_t rowBegin;
    int32_t rowEnd;
    const FrameWorlds<Pixel>* frame;
    BandRecord<Pixel>* record;

    PF_Err CopyRows() const {
      CopyWorldRows<Pixel>(*frame->input, *frame->output, rowBegin, rowEnd);
      return PF_Err_NONE;
    }
    BandWriter<Pixel> Destination() const { return BandWriter<Pixel>(frame->outputPixels, record); }
  };

  template <class Body>
  PF_Err ForEachPart(const Body& body) {
    std::vector<PF_Err> results(static_cast<size_t>(bands_.count), PF_Err_NONE);
    forEachBand_(bands_.count, [&](int32_t b) {
      Part part = StartBand(b);
      results[static_cast<size_t>(b)] = body(part);
    });
    for (const PF_Err result : results)
      if (result != PF_Err_NONE) return result;
    return PF_Err_NONE;
  }

  void SettleCrossPartWrites() const {
    ReplayCrossBandWrites(records_, bands_, destinationStride_, frame_.outputPixels, forEachBand_);
  }

 private:
  // Band b's rows, with a record that owns their destination indices and has
  // written none of them yet.
  Part StartBand(int32_t b) {
    const int32_t rowBegin = bands_.RowBegin(b), rowEnd = bands_.RowEnd(b, frame_.input->height);
    BandRecord<Pixel>& record = records_[static_cast<size_t>(b)];
    record.ownBegin = rowBegin * destinationStride_;
    record.ownEnd = rowEnd * destinationStride_;
    record.written.assign(static_cast<size_t>(record.ownEnd - record.ownBegin) / 64 + 1, 0);
    return Part{rowBegin, rowEnd, &frame_, &record};
  }

  FrameWorlds<Pixel> frame_;
  Bands bands_;
  const ForEach& forEachBand_;
  int32_t destinationStride_;
  std::vector<BandRecord<Pixel>> records_;
};

}  // namespace corvalin::bands
