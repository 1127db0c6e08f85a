// Which engine renders: the plain steps, the definition of the output, or
// the fast engine (engine/fast/), which gives the same bytes sooner. Both are
// in every x86-64 build and chosen per render; other targets have the plain
// engine alone.
//
// The environment variable CORVALIN_PLAIN_ENGINE, set to anything but "" or
// "0", makes the plain engine the default for the whole process: a check of
// any render against the definition, without another build.
#pragma once

#if defined(__SSE2__) || defined(_M_X64) || defined(_M_AMD64)
#define CORVALIN_FAST_ENGINE 1
#else
#define CORVALIN_FAST_ENGINE 0
#endif

namespace corvalin {

enum class Engine { plain, fast };

// The fast engine where this build has it, unless the environment asks for
// the plain one. Read once per process.
Engine DefaultEngine();

}  // namespace corvalin
