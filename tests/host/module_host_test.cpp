// The command's module host: a module that declares parameters other than
// the ones the host fills, or fails its setup, is refused with a message
// that names the counts or the error; the linked module renders a frame
// through the host's own services (the copy, pixel access).
#include "host/module_host/module_host.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "host/module_host/world_over.h"

namespace corvalin::modulehost {
namespace {

// A module of its own for each case: how many parameters it adds and says
// it has, and the error its global setup returns.
struct FakeModule {
  static inline int added = 0;
  static inline A_long declared = 0;
  static inline PF_Err globalSetupError = PF_Err_NONE;

  static PF_Err Main(PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef*[], PF_LayerDef*,
                     void*) {
    if (cmd == PF_Cmd_GLOBAL_SETUP) return globalSetupError;
    if (cmd != PF_Cmd_PARAMS_SETUP) return PF_Err_NONE;
    for (int i = 0; i < added; ++i) {
      PF_ParamDef def{};
      def.param_type = PF_Param_CHECKBOX;
      if (const PF_Err e = in->inter.add_param(in->effect_ref, -1, &def)) return e;
    }
    out->num_params = declared;
    return PF_Err_NONE;
  }
};

std::string SetupOf(int added, A_long declared, PF_Err globalSetupError = PF_Err_NONE) {
  FakeModule::added = added;
  FakeModule::declared = declared;
  FakeModule::globalSetupError = globalSetupError;
  ModuleHost host(EffectModule{&FakeModule::Main, nullptr});
  return host.Setup();
}

TEST(ModuleHost, RefusesAModuleWhoseParametersItDoesNotFill) {
  const int controls = kEffectParamCount - 1;
  EXPECT_EQ(SetupOf(controls, kEffectParamCount), "");
  EXPECT_EQ(SetupOf(controls + 1, kEffectParamCount + 1),
            "the effect module has " + std::to_string(kEffectParamCount + 1) +
                " parameters (the input layer and " + std::to_string(controls + 1) +
                " added); this command fills " + std::to_string(kEffectParamCount) +
                ", the input layer and one per control of its own effect");
  // Parameters added and the count declared must both agree.
  EXPECT_NE(SetupOf(controls, kEffectParamCount + 1), "");
  EXPECT_NE(SetupOf(controls - 1, kEffectParamCount), "");
}

TEST(ModuleHost, NamesTheErrorOfAFailedSetup) {
  EXPECT_EQ(SetupOf(0, 1, PF_Err_OUT_OF_MEMORY),
            "the effect module failed its global setup with error " +
                std::to_string(PF_Err_OUT_OF_MEMORY));
  EXPECT_EQ(ModuleHost(EffectModule{}).Setup(), "the effect module has no EffectMain");
}

// A flat opaque frame comes back as it was but for the four opaque red
// corner markers: the module's copy of the input went through the host.
TEST(ModuleHost, RendersTheLinkedModuleThroughItsOwnServices) {
  ModuleHost host(LinkedEffectModule());
  ASSERT_EQ(host.Setup(), "");
  constexpr int32_t kWidth = 6, kHeight = 4, kStride = 8;
  const PF_Pixel8 grey{255, 90, 90, 90};
  std::vector<PF_Pixel8> input(kStride * kHeight, grey), output(kStride * kHeight);
  PF_EffectWorld in = WorldOver(input.data(), kWidth, kHeight, kStride);
  PF_EffectWorld out = WorldOver(output.data(), kWidth, kHeight, kStride);
  ASSERT_EQ(host.Render(DefaultRenderSettings(), in, out), PF_Err_NONE);
  std::vector<std::pair<int32_t, int32_t>> markers;
  for (int32_t y = 0; y < kHeight; ++y) {
    for (int32_t x = 0; x < kStride; ++x) {
      const PF_Pixel8& p = output[static_cast<size_t>(y * kStride + x)];
      if (p.alpha == 255 && p.red == 255 && p.green == 0 && p.blue == 0) {
        markers.emplace_back(x, y);
      } else if (x < kWidth) {
        EXPECT_EQ(p.red + p.green + p.blue, 270) << x << "," << y;
      }
    }
  }
  // The rectangle is pulled in off the top and left border and from the
  // last row, and spans the row stride: the right-hand markers land on the
  // stride's last pixel, in the row padding.
  EXPECT_EQ(markers, (std::vector<std::pair<int32_t, int32_t>>{{1, 1}, {7, 1}, {1, 3}, {7, 3}}));
}

}  // namespace
}  // namespace corvalin::modulehost
