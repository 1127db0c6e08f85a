// The host's threads, on which a frame's bands and conversions run.
#pragma once

#include <cstdint>

#include "engine/parallel/banded_scan.h"
#include "ofx/ofx_api.h"

namespace corvalin::ofx {

// The host's threads for one frame: as many of the host's multiThread
// calls as it has CPUs, or this thread alone when the host offers no
// multi-thread suite (null) or this is a thread the host itself spawned
// (multiThread may not be called there). A host may make fewer calls than
// asked, or fail the request: whatever no call took runs here afterwards.
// The conversions in and out of the frame use them too.
class HostThreads final : public BandRunner {
 public:
  explicit HostThreads(const OfxMultiThreadSuiteV1* suite);
  void RunBands(int32_t count, BandFunction function, void* context) override;

  unsigned int cpus() const { return cpus_; }

 private:
  const OfxMultiThreadSuiteV1* suite_ = nullptr;
  unsigned int cpus_ = 1;
};

}  // namespace corvalin::ofx
