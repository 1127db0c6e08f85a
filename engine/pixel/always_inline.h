// The pixel comparisons and blends, and the short walks and ramps that run
// at nearly every edge pixel, are always compiled into their callers: left
// to itself the compiler calls some of them, and a call with the registers
// it saves and restores costs more than the work.
#pragma once

#if defined(_MSC_VER) && !defined(__clang__)
#define CORVALIN_ALWAYS_INLINE __forceinline
#else
#define CORVALIN_ALWAYS_INLINE inline __attribute__((always_inline))
#endif
