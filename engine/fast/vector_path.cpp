#include "engine/fast/vector_path.h"

#include <cstdlib>
#include <cstring>

#include "engine/scan/engine_choice.h"

namespace corvalin::fast {

bool VectorPathRuns(VectorPath path) {
  if (!CORVALIN_FAST_ENGINE) return false;
  if (path == VectorPath::sse2) return true;
#if CORVALIN_FAST_ENGINE && (defined(__GNUC__) || defined(__clang__))
  static const bool avx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi");
  }();
  return avx2;
#else
  return false;
#endif
}

VectorPath DefaultVectorPath() {
  static const VectorPath chosen = [] {
    const char* baseline = std::getenv("CORVALIN_BASELINE_VECTORS");
    const bool baselineAsked =
        baseline != nullptr && *baseline != '\0' && std::strcmp(baseline, "0") != 0;
    return !baselineAsked && VectorPathRuns(VectorPath::avx2) ? VectorPath::avx2 : VectorPath::sse2;
  }();
  return chosen;
}

const char* VectorPathName(VectorPath path) { return path == VectorPath::avx2 ? "avx2" : "sse2"; }

}  // namespace corvalin::fast
