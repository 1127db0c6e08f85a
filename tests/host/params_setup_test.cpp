// The parameter definitions the module registers, field by field.
#include <cstring>
#include <string>

#include "tests/host/host_test_support.h"

namespace corvalin::testing {
namespace {

using ParamsSetupTest = ModuleTest;

// Every byte outside the named fields stays zero.
void ExpectZeroExcept(const PF_ParamDef& def, std::initializer_list<std::pair<size_t, size_t>> set,
                      const char* what) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&def);
  for (size_t i = 0; i < sizeof def; ++i) {
    bool named = false;
    for (auto [offset, size] : set) named |= i >= offset && i < offset + size;
    if (!named) {
      EXPECT_EQ(bytes[i], 0) << what << " byte " << i;
    }
  }
}

TEST_P(ParamsSetupTest, RegistersFourControlsWithExactFields) {
  MiniHost host = Host();
  ASSERT_EQ(host.ParamsSetup(), PF_Err_NONE);
  EXPECT_EQ(host.outData().num_params, 5);
  const auto& defs = host.paramDefs();
  ASSERT_EQ(defs.size(), 4u);

  const PF_ParamDef& key = defs[0];
  EXPECT_EQ(key.uu.id, 1);
  EXPECT_EQ(key.param_type, PF_Param_CHECKBOX);
  EXPECT_STREQ(key.name, "Use Color Key");
  EXPECT_EQ(key.flags, 0x20);
  EXPECT_EQ(key.u.bd.value, 0);
  EXPECT_EQ(key.u.bd.dephault, 0);
  ASSERT_NE(key.u.bd.u.nameptr, nullptr);
  EXPECT_STREQ(key.u.bd.u.nameptr, "Transparent");

  const PF_ParamDef& colour = defs[1];
  EXPECT_EQ(colour.uu.id, 2);
  EXPECT_EQ(colour.param_type, PF_Param_COLOR);
  EXPECT_STREQ(colour.name, "Alpha Key");
  EXPECT_EQ(colour.flags, 0);
  for (const PF_Pixel& p : {colour.u.cd.value, colour.u.cd.dephault}) {
    EXPECT_EQ(p.alpha, 255);
    EXPECT_EQ(p.red, 255);
    EXPECT_EQ(p.green, 255);
    EXPECT_EQ(p.blue, 255);
  }
  ExpectZeroExcept(colour, {{0, 4}, {12, 4}, {16, 32}, {56, 8}}, "colour");

  struct Slider {
    const char* name;
    float max;
    double value;
  };
  const Slider sliders[] = {{"Smoother Range", 100.0f, 1.0}, {"Line Weight", 1.0f, 0.0}};
  for (int i = 0; i < 2; ++i) {
    const PF_ParamDef& def = defs[2 + i];
    const PF_FloatSliderDef& fs = def.u.fs_d;
    SCOPED_TRACE(sliders[i].name);
    EXPECT_EQ(def.uu.id, 3 + i);
    EXPECT_EQ(def.param_type, PF_Param_FLOAT_SLIDER);
    EXPECT_STREQ(def.name, sliders[i].name);
    EXPECT_EQ(def.flags, 0);
    EXPECT_EQ(fs.valid_min, 0.0f);
    EXPECT_EQ(fs.slider_min, 0.0f);
    EXPECT_EQ(fs.valid_max, sliders[i].max);
    EXPECT_EQ(fs.slider_max, sliders[i].max);
    EXPECT_EQ(fs.value, sliders[i].value);
    EXPECT_EQ(fs.dephault, static_cast<float>(sliders[i].value));
    EXPECT_EQ(fs.precision, 1);
    EXPECT_EQ(fs.display_flags, 0);
    EXPECT_EQ(fs.fs_flags, 0u);
    EXPECT_EQ(fs.curve_tolerance, 0.05f);
    EXPECT_EQ(fs.phase, 0.0);
    EXPECT_EQ(fs.useExponent, 0);
    EXPECT_EQ(fs.exponent, 0.0f);
    ExpectZeroExcept(def, {{0, 4}, {12, 4}, {16, 32}, {56, 8}, {104, 32}}, sliders[i].name);
  }
  // Everything but the named fields, ui flags and sizes included, is zero.
  ExpectZeroExcept(key, {{0, 4}, {12, 4}, {16, 32}, {48, 4}, {64, 8}}, "checkbox");
}

TEST_P(ParamsSetupTest, AppendsEachDefinitionThroughTheHostServices) {
  MiniHost host = Host();
  ASSERT_EQ(host.ParamsSetup(), PF_Err_NONE);
  const auto calls = host.lastCalls();
  ASSERT_EQ(calls.size(), 8u);
  const char* names[] = {"Use Color Key", "Alpha Key", "Smoother Range", "Line Weight"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(calls[2 * i].service, Service::strcpy);
    EXPECT_EQ(calls[2 * i].text, names[i]);
    EXPECT_EQ(calls[2 * i + 1].service, Service::addParam);
    EXPECT_EQ(calls[2 * i + 1].number, -1);
    EXPECT_EQ(calls[2 * i + 1].effectRef, MiniHost::EffectRef());
  }
}

TEST_P(ParamsSetupTest, StopsAtTheFirstRefusal) {
  for (int refused = 1; refused <= 4; ++refused) {
    HostBehaviour b;
    b.refuseParamNumber = refused;
    b.refuseParamError = PF_Err_OUT_OF_MEMORY;
    MiniHost host = Host(b);
    EXPECT_EQ(host.ParamsSetup(), PF_Err_OUT_OF_MEMORY) << refused;
    EXPECT_EQ(host.paramDefs().size(), static_cast<size_t>(refused - 1));
    EXPECT_EQ(host.Count(Service::addParam), refused);  // no later parameter is offered
    EXPECT_EQ(host.outData().num_params, 0);            // left as the host had it
  }
}

TEST_P(ParamsSetupTest, RefusalLeavesNumParamsAsTheHostSetIt) {
  HostBehaviour b;
  b.refuseParamNumber = 2;
  b.refuseParamError = PF_Err_INTERNAL_STRUCT_DAMAGED;
  MiniHost host = Host(b);
  PF_OutData out = FilledOutData();
  const PF_OutData before = out;
  EXPECT_EQ(host.Command(PF_Cmd_PARAMS_SETUP, &out), PF_Err_INTERNAL_STRUCT_DAMAGED);
  EXPECT_TRUE(SameBytes(out, before));
}

TEST_P(ParamsSetupTest, SuccessWritesOnlyNumParams) {
  MiniHost host = Host();
  PF_OutData out = FilledOutData();
  PF_OutData expected = out;
  expected.num_params = 5;
  EXPECT_EQ(host.Command(PF_Cmd_PARAMS_SETUP, &out), PF_Err_NONE);
  EXPECT_TRUE(SameBytes(out, expected));
}

INSTANTIATE_TEST_SUITE_P(Modules, ParamsSetupTest,
                         ::testing::Values(Flavour::linked, Flavour::file), FlavourName);

}  // namespace
}  // namespace corvalin::testing
