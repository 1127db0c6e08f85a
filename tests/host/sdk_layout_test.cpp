// The host's constants the module passes on. Record layouts need no test of
// their own: sdk/sdk_layout.h checks every field and size at compile time.
#include <gtest/gtest.h>

#include "sdk/sdk_layout.h"

namespace corvalin::sdklayout {
namespace {

TEST(SdkLayout, ConstantsMatchTheHost) {
  EXPECT_EQ(PF_VERSION(1, 0, 0, PF_Stage_DEVELOP, 1), 0x00080001u);
  EXPECT_EQ(PF_OutFlag_DEEP_COLOR_AWARE | PF_OutFlag_I_WRITE_INPUT_BUFFER, 0x02000800);
  EXPECT_EQ(PF_OutFlag2_SUPPORTS_THREADED_RENDERING, 0x08000000);
  EXPECT_EQ(PF_Kind_EFFECT, 0x65464B54);
  EXPECT_EQ(PF_Err_BAD_CALLBACK_PARAM, 516);
  EXPECT_EQ(PF_Cmd_RENDER, 11);
  EXPECT_EQ(PF_Param_FLOAT_SLIDER, 10);
  // A_char and PF_Boolean are signed on the host.
  EXPECT_LT(static_cast<PF_Boolean>(-1), 0);
}

}  // namespace
}  // namespace corvalin::sdklayout
