// A fixed set of frames (both depths, padded rows, colour key on and off,
// several settings) rendered through a module, one digest line per frame.
// Compiled natively and into the Windows test program, so the two module
// builds can be compared bit for bit.
#pragma once

#include <string>
#include <vector>

#include "tests/support/minihost/mini_host.h"

namespace corvalin::digest {

// Lines "<frame name> <result> <input hash> <output hash>"; hashes are
// 64-bit FNV-1a over the whole pixel buffers, padding included.
std::vector<std::string> RenderDigests(const minihost::EffectModule& module);

}  // namespace corvalin::digest
