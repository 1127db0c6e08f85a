// The fast engine: the same steps, made with SSE2 (part of every x86-64 CPU,
// so the Windows module runs on any 64-bit machine), early exits where a
// result is already fixed, and walks that stop once their length can no
// longer change what the caller does with it.
//
// The plain steps are the definition of the output. Each file here holds the
// variants of one plain file, each named as the function it replaces, for
// contexts of FastSteps; a step that calls a function unqualified gets the
// variant through argument-dependent lookup. Each variant says why it gives
// exactly the plain bytes, and the tests render every frame both ways.
#pragma once

#include <emmintrin.h>

#include "engine/pixel/always_inline.h"
#include "engine/scan/edge_context.h"

namespace corvalin::fast {

struct FastSteps {};

template <class Pixel, class Destination>
using FastContext = EdgeContext<Pixel, Destination, FastSteps>;

}  // namespace corvalin::fast
