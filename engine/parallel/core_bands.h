// The engine's band runner on this process's own cores, for callers that own
// their threads (the command, the frei0r filter, the Python module): each
// stage of a frame's banded scan, and the caller's own work in bands (the
// conversions around the render), runs on up to a given number of cores
// through oneTBB. What the bands compute is the same on any count.
#pragma once

#include <cstdint>

#include "engine/parallel/banded_scan.h"

namespace corvalin {

// Bands on up to `threads` cores (0: all; 1: in order on the calling thread).
class CoreBands final : public BandRunner {
 public:
  explicit CoreBands(int threads) : threads_(threads) {}
  void RunBands(int32_t count, BandFunction function, void* context) override;

 private:
  int threads_;
};

}  // namespace corvalin
