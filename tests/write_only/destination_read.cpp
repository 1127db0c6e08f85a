// A step that reads its destination. The banded parallel scan equals the
// serial one only while no step can, so every build of this file that reads
// must fail to compile; the build that only writes must succeed, which shows
// that the failures come from the read alone.
#include "engine/parallel/band_writer.h"
#include "engine/pixel/pixel_model.h"
#include "engine/scan/edge_context.h"

namespace corvalin {

template <class Pixel, class Destination>
void ReadingStep(const EdgeContext<Pixel, Destination>& ctx) {
  const Pixel* in = ctx.sourcePixels;
#if defined(CORVALIN_READ_BY_INDEX)
  const Pixel seen = ctx.destination[ctx.destinationIndex];
#elif defined(CORVALIN_READ_THROUGH_POINTER)
  const Pixel* output = ctx.destination;
  const Pixel seen = output[ctx.destinationIndex];
#else
  const Pixel seen = in[ctx.sourceIndex + 1];
#endif
  ctx.destination.Write(ctx.destinationIndex, BlendPixels(in[ctx.sourceIndex], seen, 0.5f));
}

#if defined(CORVALIN_BANDED)
template void ReadingStep(const EdgeContext<PF_Pixel8, BandWriter<PF_Pixel8>>&);
#else
template void ReadingStep(const EdgeContext<PF_Pixel8>&);
#endif

}  // namespace corvalin
