// Which vector unit the fast engine's bulk work runs on: a row's neighbour
// relations (row_relations.h) and the search for the next pixel unlike its
// right neighbour (row_by_search.h). SSE2, which every x86-64 processor has,
// is the baseline; AVX2 compares twice the pixels an instruction where the
// processor has it. Both give the same bytes: each is the pixel model's exact
// arithmetic, and the steps, one pixel at a time, are the same on both.
//
// The environment variable CORVALIN_BASELINE_VECTORS, set to anything but ""
// or "0", keeps the fast engine on SSE2 for the whole process (a check of
// the baseline on a processor with AVX2, without another build).
#pragma once

#include <cstdint>

// The functions of the AVX2 path carry their target themselves, so the rest
// of a build stays baseline; each such function inlines everything it calls
// (flatten), so none of its work runs through a baseline call.
#define CORVALIN_TARGET_AVX2 __attribute__((target("avx2,bmi"), flatten))

namespace corvalin::fast {

enum class VectorPath { sse2, avx2 };

// Whether this processor runs the path.
bool VectorPathRuns(VectorPath path);

// The widest path the processor runs, unless the environment asks for the
// baseline. Read once per process.
VectorPath DefaultVectorPath();

const char* VectorPathName(VectorPath path);

}  // namespace corvalin::fast
