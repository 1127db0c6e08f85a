// Shared set-up for the module tests: a host per module flavour and a few
// frame helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "tests/support/minihost/mini_host.h"
#include "tests/support/test_images.h"

namespace corvalin::test {

using minihost::HostBehaviour;
using minihost::HostWorld;
using minihost::MiniHost;
using minihost::Service;

inline minihost::ModuleFile& NativeModuleFile() {
  static minihost::ModuleFile file(CORVALIN_MODULE_PATH);
  return file;
}

// Every test runs against the module linked into the test and the module file.
enum class Flavour { linked, file };

inline minihost::EffectModule ModuleOf(Flavour flavour) {
  return flavour == Flavour::linked ? minihost::LinkedEffectModule()
                                    : NativeModuleFile().entryPoints();
}

inline std::string FlavourName(const ::testing::TestParamInfo<Flavour>& info) {
  return info.param == Flavour::linked ? "Linked" : "File";
}

class ModuleTest : public ::testing::TestWithParam<Flavour> {
 protected:
  MiniHost Host(HostBehaviour behaviour = {}) { return MiniHost(ModuleOf(GetParam()), behaviour); }
};

// A PF_OutData whose every byte is `fill`, to see what a command changed.
inline PF_OutData FilledOutData(unsigned char fill = 0xA5) {
  PF_OutData out;
  std::memset(&out, fill, sizeof out);
  return out;
}

inline bool SameBytes(const PF_OutData& a, const PF_OutData& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// A frame with coloured shapes, so a render has edges to work on.
template <class Pixel>
HostWorld<Pixel> PatternWorld(int32_t width, int32_t height, int32_t padding) {
  HostWorld<Pixel> world(width, height, padding);
  test_images::DrawScene(test_images::CanvasOver(world), 1);
  return world;
}

template <class Pixel>
bool SamePixels(const HostWorld<Pixel>& a, const HostWorld<Pixel>& b) {
  if (a.width() != b.width() || a.height() != b.height() || a.stride() != b.stride()) return false;
  return std::memcmp(a.pixels(), b.pixels(),
                     sizeof(Pixel) * static_cast<size_t>(a.stride()) *
                         static_cast<size_t>(a.height())) == 0;
}

}  // namespace corvalin::test
