// One world inside a buffer with a guard zone on each side, for the fuzzers:
// a render that writes outside its world changes a guard byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "sdk/AE_Effect.h"

namespace fuzzing {

constexpr size_t kGuardBytes = 256;
constexpr uint8_t kGuardValue = 0xA5;

// The world's own bytes start out 0, row padding included.
struct GuardedWorld {
  std::vector<uint8_t> bytes;
  PF_EffectWorld world{};

  GuardedWorld(int32_t width, int32_t height, int32_t padding, size_t pixelSize, bool deep) {
    const size_t rowbytes = static_cast<size_t>(width + padding) * pixelSize;
    bytes.assign(kGuardBytes + rowbytes * static_cast<size_t>(height) + kGuardBytes, 0);
    std::memset(bytes.data(), kGuardValue, kGuardBytes);
    std::memset(bytes.data() + bytes.size() - kGuardBytes, kGuardValue, kGuardBytes);
    world.data = bytes.data() + kGuardBytes;
    world.rowbytes = static_cast<int32_t>(rowbytes);
    world.width = width;
    world.height = height;
    world.world_flags = PF_WorldFlag_WRITEABLE | (deep ? PF_WorldFlag_DEEP : 0);
  }
  size_t PixelBytes() const { return bytes.size() - 2 * kGuardBytes; }
  uint8_t* Pixels() { return bytes.data() + kGuardBytes; }

  bool GuardsIntact() const {
    for (size_t i = 0; i < kGuardBytes; ++i)
      if (bytes[i] != kGuardValue || bytes[bytes.size() - 1 - i] != kGuardValue) return false;
    return true;
  }
};

}  // namespace fuzzing
