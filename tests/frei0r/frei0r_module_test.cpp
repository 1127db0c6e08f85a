// The built corvalin.so driven through its f0r_* entry points, as a frei0r
// host drives it, against ScanFrame on the converted picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <thread>

#include "tests/frei0r/frei0r_test_support.h"

namespace corvalin::testing {
namespace {

class Frei0rModuleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { module = new Frei0rModule; }
  static void TearDownTestSuite() {
    delete module;
    module = nullptr;
  }
  void SetUp() override { ASSERT_EQ(module->error, "") << CORVALIN_FREI0R_MODULE; }

  static Frei0rModule* module;
};
Frei0rModule* Frei0rModuleTest::module = nullptr;

// frei0r values for the four parameters and the control values they stand for.
struct ParamSet {
  double useKey;
  f0r_param_color_t key;
  double range, weight;
  Controls controls;
};

const ParamSet kParamSets[] = {
    {1.0, {0.0f, 1.0f, 0.0f}, 0.05, 0.5, {true, {255, 0, 255, 0}, 5.0, 0.5}},
    {0.0, {1.0f, 1.0f, 1.0f}, 0.25, 1.0, {false, {255, 255, 255, 255}, 25.0, 1.0}},
    {0.75, {1.0f, 1.0f, 1.0f}, 0.0, 0.25, {true, {255, 255, 255, 255}, 0.0, 0.25}},
};

struct Instance {
  Frei0rModule& m;
  f0r_instance_t handle;
  Instance(Frei0rModule& module, int32_t w, int32_t h) : m(module), handle(m.construct(w, h)) {}
  ~Instance() {
    if (handle) m.destruct(handle);
  }
  void Set(const ParamSet& p) {
    double useKey = p.useKey, range = p.range, weight = p.weight;
    f0r_param_color_t key = p.key;
    m.set_param_value(handle, &useKey, 0);
    m.set_param_value(handle, &key, 1);
    m.set_param_value(handle, &range, 2);
    m.set_param_value(handle, &weight, 3);
  }
  RgbaImage Render(const RgbaImage& src) {
    RgbaImage out(src.width, src.height);
    m.update(handle, 0.0, reinterpret_cast<const uint32_t*>(src.bytes.data()),
             reinterpret_cast<uint32_t*>(out.bytes.data()));
    return out;
  }
  double GetDouble(int index) {
    double v = -1;
    m.get_param_value(handle, &v, index);
    return v;
  }
};

TEST_F(Frei0rModuleTest, DescribesAnRgbaFilterWithTheEffectsFourControls) {
  EXPECT_EQ(module->init(), 1);
  f0r_plugin_info_t info{};
  module->get_plugin_info(&info);
  EXPECT_STREQ(info.name, "Corvalin");
  EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_FILTER);
  EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_RGBA8888);
  EXPECT_EQ(info.frei0r_version, 1);
  EXPECT_EQ(info.num_params, 4);

  const char* names[] = {"Use Color Key", "Alpha Key", "Smoother Range", "Line Weight"};
  const int types[] = {F0R_PARAM_BOOL, F0R_PARAM_COLOR, F0R_PARAM_DOUBLE, F0R_PARAM_DOUBLE};
  for (int i = 0; i < 4; ++i) {
    f0r_param_info_t p{};
    module->get_param_info(&p, i);
    EXPECT_STREQ(p.name, names[i]);
    EXPECT_EQ(p.type, types[i]);
    EXPECT_NE(p.explanation, nullptr);
  }
  f0r_param_info_t untouched{"x", 99, nullptr};
  module->get_param_info(&untouched, 4);
  module->get_param_info(&untouched, -1);
  EXPECT_STREQ(untouched.name, "x");
  EXPECT_EQ(untouched.type, 99);
  module->deinit();
}

TEST_F(Frei0rModuleTest, RefusesFramesTheEngineCannotAddress) {
  EXPECT_EQ(module->construct(0, 8), nullptr);
  EXPECT_EQ(module->construct(8, 0), nullptr);
  EXPECT_EQ(module->construct(65536u, 32768u), nullptr);  // 2^31 pixels
  Instance one(*module, 1, 1);
  EXPECT_NE(one.handle, nullptr);
}

TEST_F(Frei0rModuleTest, StartsAtTheEffectDefaultsAndHoldsValuesToTheirRanges) {
  Instance inst(*module, 8, 8);
  ASSERT_NE(inst.handle, nullptr);
  EXPECT_EQ(inst.GetDouble(0), 0.0);
  EXPECT_EQ(inst.GetDouble(2), 0.01);
  EXPECT_EQ(inst.GetDouble(3), 0.0);
  f0r_param_color_t key{};
  module->get_param_value(inst.handle, &key, 1);
  EXPECT_EQ(key.r, 1.0f);
  EXPECT_EQ(key.g, 1.0f);
  EXPECT_EQ(key.b, 1.0f);

  double v = 1.7;
  module->set_param_value(inst.handle, &v, 2);
  EXPECT_EQ(inst.GetDouble(2), 1.0);
  v = -0.5;
  module->set_param_value(inst.handle, &v, 3);
  EXPECT_EQ(inst.GetDouble(3), 0.0);
  v = NAN;
  module->set_param_value(inst.handle, &v, 2);
  EXPECT_EQ(inst.GetDouble(2), 0.0);
  v = 0.49;
  module->set_param_value(inst.handle, &v, 0);
  EXPECT_EQ(inst.GetDouble(0), 0.0);
  v = 0.5;
  module->set_param_value(inst.handle, &v, 0);
  EXPECT_EQ(inst.GetDouble(0), 1.0);
  module->set_param_value(inst.handle, &v, 7);  // ignored
  module->set_param_value(inst.handle, nullptr, 2);

  key = {-1.0f, 2.0f, 0.5f};
  module->set_param_value(inst.handle, &key, 1);
  module->get_param_value(inst.handle, &key, 1);
  EXPECT_EQ(key.r, 0.0f);
  EXPECT_EQ(key.g, 1.0f);
  EXPECT_EQ(key.b, static_cast<float>(128 / 255.0));
}

TEST_F(Frei0rModuleTest, RendersEachFrameAsScanFrameDoes) {
  const RgbaImage pictures[] = {MakePicture(24, 16, 0), MakePicture(24, 16, 1),
                                MakePicture(24, 16, 2), MakePicture(13, 7, 0),
                                MakePicture(1, 1, 0),   MakePicture(2, 3, 0),
                                MakePicture(1, 9, 0),   MakePicture(9, 1, 0)};
  for (const RgbaImage& src : pictures) {
    SCOPED_TRACE(std::to_string(src.width) + "x" + std::to_string(src.height));
    Instance inst(*module, src.width, src.height);
    ASSERT_NE(inst.handle, nullptr);
    EXPECT_EQ(inst.Render(src).bytes, ReferenceRender(src, Controls{}).bytes) << "defaults";
    for (const ParamSet& p : kParamSets) {
      inst.Set(p);
      EXPECT_EQ(inst.Render(src).bytes, ReferenceRender(src, p.controls).bytes)
          << "range " << p.range;
    }
  }
  // The pictures do exercise the smoothing and the key.
  const RgbaImage src = MakePicture(24, 16, 1);
  EXPECT_NE(ReferenceRender(src, kParamSets[1].controls).bytes, src.bytes);
  EXPECT_NE(ReferenceRender(src, kParamSets[0].controls).bytes,
            ReferenceRender(src, kParamSets[1].controls).bytes);
}

TEST_F(Frei0rModuleTest, LeavesTheInputAloneAndMayRenderInPlace) {
  const RgbaImage src = MakePicture(24, 16, 1);
  const RgbaImage expected = ReferenceRender(src, kParamSets[0].controls);
  Instance inst(*module, 24, 16);
  inst.Set(kParamSets[0]);
  RgbaImage input = src;
  EXPECT_EQ(inst.Render(input).bytes, expected.bytes);
  EXPECT_EQ(input.bytes, src.bytes);

  uint32_t* frame = reinterpret_cast<uint32_t*>(input.bytes.data());
  module->update(inst.handle, 1.0, frame, frame);
  EXPECT_EQ(input.bytes, expected.bytes);

  RgbaImage out(24, 16);
  module->update2(inst.handle, 2.0, reinterpret_cast<const uint32_t*>(src.bytes.data()), nullptr,
                  nullptr, reinterpret_cast<uint32_t*>(out.bytes.data()));
  EXPECT_EQ(out.bytes, expected.bytes);
  module->update(inst.handle, 3.0, nullptr, frame);  // no frame, no work
  module->update(nullptr, 3.0, frame, frame);
}

TEST_F(Frei0rModuleTest, FramesAndInstancesAreIndependent) {
  const RgbaImage a = MakePicture(24, 16, 1), b = MakePicture(24, 16, 2);
  const RgbaImage expectA = ReferenceRender(a, kParamSets[0].controls);
  const RgbaImage expectB = ReferenceRender(b, kParamSets[2].controls);
  Instance first(*module, 24, 16), second(*module, 24, 16);
  first.Set(kParamSets[0]);
  second.Set(kParamSets[2]);
  EXPECT_EQ(first.Render(a).bytes, expectA.bytes);
  EXPECT_EQ(first.Render(b).bytes, ReferenceRender(b, kParamSets[0].controls).bytes);
  EXPECT_EQ(first.Render(a).bytes, expectA.bytes);

  bool sameA = true, sameB = true;
  std::thread ta([&] {
    for (int i = 0; i < 200; ++i) sameA = sameA && first.Render(a).bytes == expectA.bytes;
  });
  std::thread tb([&] {
    for (int i = 0; i < 200; ++i) sameB = sameB && second.Render(b).bytes == expectB.bytes;
  });
  ta.join();
  tb.join();
  EXPECT_TRUE(sameA);
  EXPECT_TRUE(sameB);
}

TEST_F(Frei0rModuleTest, ExportsOnlyTheFrei0rFunctions) {
  const std::string command =
      std::string("nm -D --defined-only ") + CORVALIN_FREI0R_MODULE + " 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  ASSERT_NE(pipe, nullptr);
  std::vector<std::string> names;
  char line[512];
  while (fgets(line, sizeof line, pipe.get())) {
    std::string s(line);
    const size_t space = s.find_last_of(' ');
    names.push_back(s.substr(space + 1, s.find_last_not_of("\n") - space));
  }
  if (names.empty()) GTEST_SKIP() << "nm is not available";
  std::sort(names.begin(), names.end());
  const std::vector<std::string> expected = {
      "f0r_construct",       "f0r_deinit",          "f0r_destruct", "f0r_get_param_info",
      "f0r_get_param_value", "f0r_get_plugin_info", "f0r_init",     "f0r_set_param_value",
      "f0r_update",          "f0r_update2"};
  EXPECT_EQ(names, expected);
}

}  // namespace
}  // namespace corvalin::testing
