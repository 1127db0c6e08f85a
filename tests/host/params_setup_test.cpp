// The parameter definitions the module registers, byte for byte, and how
// they reach the host.
#include <cstring>
#include <string>

#include "tests/host/host_test_support.h"

namespace corvalin::test {
namespace {

using ParamsSetupTest = ModuleTest;

PF_ParamDef Definition(PF_ParamType type, const char* name, A_long id) {
  PF_ParamDef def;
  std::memset(&def, 0, sizeof def);
  def.param_type = type;
  std::strcpy(def.name, name);
  def.uu.id = id;
  return def;
}

PF_ParamDef Slider(const char* name, A_long id, float max, float value) {
  PF_ParamDef def = Definition(PF_Param_FLOAT_SLIDER, name, id);
  PF_FloatSliderDef& fs = def.u.fs_d;
  fs.valid_max = fs.slider_max = max;
  fs.value = fs.dephault = value;
  fs.precision = 1;
  fs.curve_tolerance = 0.05f;
  return def;
}

// Each definition equals one built here field by field, every other byte
// (ui flags, sizes, unused union parts, exponent, phase) zero.
TEST_P(ParamsSetupTest, RegistersFourControlsWithExactFields) {
  MiniHost host = Host();
  ASSERT_EQ(host.ParamsSetup(), PF_Err_NONE);
  EXPECT_EQ(host.outData().num_params, 5);
  const auto& defs = host.paramDefs();
  ASSERT_EQ(defs.size(), 4u);
  ASSERT_NE(defs[0].u.bd.u.nameptr, nullptr);
  EXPECT_STREQ(defs[0].u.bd.u.nameptr, "Transparent");

  PF_ParamDef key = Definition(PF_Param_CHECKBOX, "Use Color Key", 1);
  key.flags = 0x20;
  key.u.bd.u.nameptr = defs[0].u.bd.u.nameptr;
  PF_ParamDef colour = Definition(PF_Param_COLOR, "Alpha Key", 2);
  colour.u.cd.value = colour.u.cd.dephault = PF_Pixel{255, 255, 255, 255};
  const PF_ParamDef expected[] = {key, colour, Slider("Smoother Range", 3, 100.0f, 1.0f),
                                  Slider("Line Weight", 4, 1.0f, 0.0f)};
  for (size_t d = 0; d < 4; ++d) {
    const auto* got = reinterpret_cast<const unsigned char*>(&defs[d]);
    const auto* want = reinterpret_cast<const unsigned char*>(&expected[d]);
    for (size_t i = 0; i < sizeof(PF_ParamDef); ++i) {
      EXPECT_EQ(got[i], want[i]) << expected[d].name << " byte " << i;
    }
  }
}

TEST_P(ParamsSetupTest, AppendsEachDefinitionThroughTheHostServices) {
  MiniHost host = Host();
  ASSERT_EQ(host.ParamsSetup(), PF_Err_NONE);
  const auto calls = host.lastCalls();
  ASSERT_EQ(calls.size(), 8u);
  const char* names[] = {"Use Color Key", "Alpha Key", "Smoother Range", "Line Weight"};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(calls[2 * i].service, Service::strcpy);
    EXPECT_EQ(calls[2 * i].text, names[i]);
    EXPECT_EQ(calls[2 * i + 1].service, Service::addParam);
    EXPECT_EQ(calls[2 * i + 1].number, -1);
    EXPECT_EQ(calls[2 * i + 1].effectRef, MiniHost::EffectRef());
  }
}

// Success writes num_params and nothing else; a refusal is returned at once,
// offers no later parameter and leaves PF_OutData as the host had it.
TEST_P(ParamsSetupTest, WritesOnlyNumParamsAndStopsAtTheFirstRefusal) {
  for (int refused = 0; refused <= 4; ++refused) {
    SCOPED_TRACE(refused);
    HostBehaviour b;
    b.refuseParamNumber = refused;
    b.refuseParamError = refused % 2 ? PF_Err_OUT_OF_MEMORY : PF_Err_INTERNAL_STRUCT_DAMAGED;
    MiniHost host = Host(b);
    PF_OutData out = FilledOutData();
    PF_OutData expected = out;
    if (refused == 0) expected.num_params = 5;
    EXPECT_EQ(host.Command(PF_Cmd_PARAMS_SETUP, &out), refused ? b.refuseParamError : PF_Err_NONE);
    EXPECT_EQ(host.Count(Service::addParam), refused ? refused : 4);
    EXPECT_TRUE(SameBytes(out, expected));
  }
}

INSTANTIATE_TEST_SUITE_P(Modules, ParamsSetupTest,
                         ::testing::Values(Flavour::linked, Flavour::file), FlavourName);

}  // namespace
}  // namespace corvalin::test
