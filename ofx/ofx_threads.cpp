#include "ofx/ofx_threads.h"

#include <algorithm>

namespace corvalin::ofx {

namespace {

// No exception leaves Work into the host: SharedBands keeps it.
void Work(unsigned int, unsigned int, void* bands) { static_cast<SharedBands*>(bands)->Work(); }

}  // namespace

HostThreads::HostThreads(const OfxMultiThreadSuiteV1* suite) {
  if (suite == nullptr || suite->multiThread == nullptr || suite->multiThreadNumCPUs == nullptr ||
      suite->multiThreadIsSpawnedThread == nullptr || suite->multiThreadIsSpawnedThread() != 0)
    return;
  unsigned int cpus = 0;
  if (suite->multiThreadNumCPUs(&cpus) != kOfxStatOK || cpus <= 1) return;
  suite_ = suite;
  cpus_ = cpus;
}

void HostThreads::RunBands(int32_t count, BandFunction function, void* context) {
  SharedBands bands(count, function, context);
  const unsigned int calls = std::min(cpus_, static_cast<unsigned int>(std::max(count, 0)));
  if (calls > 1) suite_->multiThread(&Work, calls, &bands);
  bands.Finish();
}

}  // namespace corvalin::ofx
