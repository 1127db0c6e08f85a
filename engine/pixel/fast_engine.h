// Which build of the engine this is.
//
// The plain scalar steps are the definition of the output. On x86-64 the
// engine is built fast: the same steps with SSE2 (part of every x86-64 CPU,
// so the module runs on any 64-bit Windows machine), early exits where a
// result is already fixed, and walks that stop once their length can no
// longer change what the caller does with it. Every fast path is written
// beside the plain code it replaces and produces exactly the same bytes.
//
// Defining CORVALIN_SCALAR_ENGINE builds the plain steps on any target; other
// targets than x86-64 get them anyway.
#pragma once

#if !defined(CORVALIN_SCALAR_ENGINE) && \
    (defined(__SSE2__) || defined(_M_X64) || defined(_M_AMD64))
#define CORVALIN_SSE2 1
#include <emmintrin.h>
#endif

// The pixel comparisons and blends, and the short walks and ramps that run
// at nearly every edge pixel, are always compiled into their callers: left
// to itself the compiler calls some of them, and a call with the registers
// it saves and restores costs more than the work.
#if defined(_MSC_VER) && !defined(__clang__)
#define CORVALIN_ALWAYS_INLINE __forceinline
#else
#define CORVALIN_ALWAYS_INLINE inline __attribute__((always_inline))
#endif

namespace corvalin {

#ifdef CORVALIN_SSE2
inline constexpr bool kFastEngine = true;
#else
inline constexpr bool kFastEngine = false;
#endif

}  // namespace corvalin
