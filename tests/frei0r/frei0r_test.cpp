// The frei0r filter: its parameter mapping; the built corvalin.so driven
// through its f0r_* entry points as a frei0r host drives it; and Debian's
// ffmpeg loading it through FREI0R_PATH to render pictures and a short video.
// Every frame must equal, byte for byte, ScanFrame on the same picture
// converted by hand, and the corvalin command's 8-bit render.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "effect/controls.h"
#include "effect/string_table.h"
#include "engine/scan/scan_settings.h"
#include "frei0r/frei0r_params.h"
#include "tests/engine/test_frame.h"
#include "tests/support/test_images.h"

extern "C" {
#include <frei0r.h>
}

namespace corvalin::test {
namespace {

struct Frei0rModule {
  void* handle = dlopen(CORVALIN_FREI0R_MODULE, RTLD_NOW | RTLD_LOCAL);
  std::string error = handle ? "" : dlerror();  // empty when every function was found
  template <class Fn>
  Fn Find(const char* name) {
    Fn fn = handle ? reinterpret_cast<Fn>(dlsym(handle, name)) : nullptr;
    if (!fn) error += std::string(" missing ") + name;
    return fn;
  }
#define CORVALIN_F0R(name) decltype(&f0r_##name) name = Find<decltype(&f0r_##name)>("f0r_" #name)
  CORVALIN_F0R(init);
  CORVALIN_F0R(deinit);
  CORVALIN_F0R(get_plugin_info);
  CORVALIN_F0R(get_param_info);
  CORVALIN_F0R(construct);
  CORVALIN_F0R(destruct);
  CORVALIN_F0R(set_param_value);
  CORVALIN_F0R(get_param_value);
  CORVALIN_F0R(update);
  CORVALIN_F0R(update2);
#undef CORVALIN_F0R
  ~Frei0rModule() {
    if (handle) dlclose(handle);
  }
};

// Four RGBA bytes per pixel, row by row, no padding: frei0r's frame layout.
struct RgbaImage {
  int32_t width = 0, height = 0;
  std::vector<uint8_t> bytes;

  RgbaImage(int32_t w, int32_t h)
      : width(w), height(h), bytes(static_cast<size_t>(w) * static_cast<size_t>(h) * 4) {}
  uint8_t* at(int32_t x, int32_t y) { return &bytes[test_images::Index(x, y, width) * 4]; }
};

// Seeded flat-colour scenes with staircase edges, thin lines, junctions and
// transparent and half-transparent areas. Variant 1 lies on the key colour
// (pure green), variant 2 is sprinkled with key-coloured (white) dots.
RgbaImage MakePicture(int32_t w, int32_t h, int variant) {
  using test_images::Colour8;
  test_images::Scene scene;
  if (variant == 1) scene.palette[0] = test_images::colours::green;
  test_images::PaddedImage<Colour8> picture(w, h);
  test_images::DrawScene(picture.canvas(), static_cast<uint32_t>(11 + variant), scene);
  if (variant == 2) {
    test_images::Random random(static_cast<uint32_t>(variant));
    picture.canvas().Noise(random, picture.canvas().Bounds(), {test_images::colours::white}, 8);
  }
  RgbaImage img(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const Colour8 c = picture.at(x, y);
      const uint8_t rgba[4] = {c.red, c.green, c.blue, c.alpha};
      std::copy(rgba, rgba + 4, img.at(x, y));
    }
  return img;
}

// ScanFrame on the picture, converted to alpha, red, green, blue and back.
std::vector<uint8_t> ReferenceRender(const RgbaImage& src, const RenderSettings& settings) {
  TestFrame<PF_Pixel8> frame(src.width, src.height, PF_Pixel8{});
  for (size_t i = 0; i < frame.input.size(); ++i) {
    const uint8_t* p = &src.bytes[4 * i];
    frame.input[i] = PF_Pixel8{p[3], p[0], p[1], p[2]};
  }
  frame.Render(settings);
  std::vector<uint8_t> out;
  for (const PF_Pixel8& q : frame.output) out.insert(out.end(), {q.red, q.green, q.blue, q.alpha});
  return out;
}

using namespace corvalin::frei0r;

TEST(Frei0rParams, KeyComponentsRoundToTheNearestByte) {
  const std::pair<float, int> cases[] = {
      {0.0f, 0},     {0.2f, 51},  {1.0f / 3.0f, 85}, {0.5f, 128},  // 127.5 rounds away from zero
      {0.498f, 127}, {1.0f, 255}, {-0.25f, 0},       {1.5f, 255}, {NAN, 0}, {INFINITY, 255}};
  for (const auto& [v, byte] : cases) EXPECT_EQ(ByteFromComponent(v), byte) << v;
  // Every byte survives the way hosts write colours: b / 255 in float or
  // double, or printed and parsed back as a decimal.
  for (int b = 0; b < 256; ++b) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", b / 255.0);
    EXPECT_EQ(ByteFromComponent(ComponentFromByte(static_cast<uint8_t>(b))), b);
    EXPECT_EQ(ByteFromComponent(static_cast<float>(b) / 255.0f), b);
    EXPECT_EQ(ByteFromComponent(std::strtof(text, nullptr)), b) << text;
  }
}

TEST(Frei0rParams, SlidersMapTheirUnitRangeAndClamp) {
  const ControlSpec& range = Control("smootherRange");
  for (auto [v, percent] : {std::pair{0.05, 5.0}, {1.0, 100.0}, {3.0, 100.0}, {-1.0, 0.0}})
    EXPECT_EQ(SliderFromParam(range, v), percent);
  EXPECT_EQ(SliderFromParam(Control("lineWeight"), 1.25), 1.0);
  EXPECT_FALSE(BoolFromParam(NAN));
  // v * 100 is not always the double nearest the decimal percentage (0.29
  // gives 28.999999999999996), but for every fraction with up to five
  // decimals the edge threshold is the one the typed percentage gives.
  int differing = 0;
  for (int k = 0; k <= 100000; ++k) {
    char fraction[16], percent[16];
    std::snprintf(fraction, sizeof fraction, "%d.%05d", k / 100000, k % 100000);
    std::snprintf(percent, sizeof percent, "%d.%03d", k / 1000, k % 1000);
    const double v = SliderFromParam(range, std::strtod(fraction, nullptr));
    const double typed = std::strtod(percent, nullptr);
    differing += EdgeThreshold<PF_Pixel8>(v) != EdgeThreshold<PF_Pixel8>(typed);
  }
  EXPECT_EQ(differing, 0);
  EXPECT_EQ(EdgeThreshold<PF_Pixel8>(SliderFromParam(range, 0.29)), 295u);
}

Frei0rModule& Module() {
  static Frei0rModule* module = new Frei0rModule;
  EXPECT_EQ(module->error, "") << CORVALIN_FREI0R_MODULE;
  return *module;
}

// One parameter set four ways: the frei0r values, ffmpeg's filter_params,
// the corvalin command's options and the effect's settings.
struct ParamSet {
  double useKey;
  f0r_param_color_t key;
  double range, weight;
  const char* filterParams;
  std::string cliOptions;
  RenderSettings settings;
};

const std::vector<ParamSet>& ParamSets() {
  static const std::vector<ParamSet> sets = [] {
    const double oddRange = SliderFromParam(Control("smootherRange"), 0.029);
    char shortest[32];
    *std::to_chars(shortest, shortest + sizeof shortest - 1, oddRange).ptr = '\0';
    const std::string key = "--use-color-key --alpha-key ";
    return std::vector<ParamSet>{
        // clang-format off
        {0.0, {1, 1, 1}, 0.01, 0.0, "n|1/1/1|0.01|0", "", DefaultRenderSettings()},
        {1.0, {0, 1, 0}, 0.05, 0.5, "y|0/1/0|0.05|0.5",
         key + "00FF00 --smoother-range 5 --line-weight 0.5", {true, {255, 0, 255, 0}, 5.0, 0.5}},
        {0.0, {1, 1, 1}, 0.25, 1.0, "n|0xFFFFFF|0.25|1", "--smoother-range 25 --line-weight 1",
         {false, {255, 255, 255, 255}, 25.0, 1.0}},
        // clang-format on
        {0.75,
         {1, 1, 1},
         0.0,
         0.25,
         "y|white|0|0.25",
         key + "FFFFFF --smoother-range 0 --line-weight 0.25",
         {true, {255, 255, 255, 255}, 0.0, 0.25}},
        // Key bytes lround(v * 255): 128, 51, 64.
        {1.0,
         {0.5f, 0.2f, 0.25f},
         0.029,
         0.7,
         "y|0.5/0.2/0.25|0.029|0.7",
         key + "803340 --smoother-range " + shortest + " --line-weight 0.7",
         {true, {255, 128, 51, 64}, oddRange, 0.7}},
    };
  }();
  return sets;
}

struct Instance {
  Frei0rModule& m = Module();
  f0r_instance_t handle;
  Instance(int32_t w, int32_t h)
      : handle(m.construct(static_cast<unsigned>(w), static_cast<unsigned>(h))) {}
  ~Instance() {
    if (handle) m.destruct(handle);
  }
  void Set(ParamSet p) {
    void* values[] = {&p.useKey, &p.key, &p.range, &p.weight};
    for (int i = 0; i < 4; ++i) m.set_param_value(handle, values[i], i);
  }
  std::vector<uint8_t> Render(const RgbaImage& src) {
    std::vector<uint8_t> out(src.bytes.size());
    m.update(handle, 0.0, reinterpret_cast<const uint32_t*>(src.bytes.data()),
             reinterpret_cast<uint32_t*>(out.data()));
    return out;
  }
  template <class T>
  T Get(int index, T v = {}) {
    m.get_param_value(handle, &v, index);
    return v;
  }
};

TEST(Frei0rModule, DescribesAnRgbaFilterWithTheEffectsFourControlsThenTheMarkers) {
  Frei0rModule& m = Module();
  EXPECT_EQ(m.init(), 1);
  f0r_plugin_info_t info{};
  m.get_plugin_info(&info);
  EXPECT_STREQ(info.name, "Corvalin");
  EXPECT_EQ(std::tuple(info.plugin_type, info.color_model, info.frei0r_version, info.num_params),
            std::tuple(F0R_PLUGIN_TYPE_FILTER, F0R_COLOR_MODEL_RGBA8888, 1, 5));
  EXPECT_STREQ(info.explanation, kEffectDescription);
  // Hosts such as ffmpeg set parameters by position: the markers come last.
  const char* names[] = {"Use Color Key", "Alpha Key", "Smoother Range", "Line Weight",
                         "Corner Markers"};
  const int types[] = {F0R_PARAM_BOOL, F0R_PARAM_COLOR, F0R_PARAM_DOUBLE, F0R_PARAM_DOUBLE,
                       F0R_PARAM_BOOL};
  // Each control's help, then how the frei0r value maps onto the control.
  const char* mappings[] = {"; on from 0.5 up",
                            "; each component v becomes the byte lround(v * 255)",
                            "; the value v (0 to 1) stands for 0 + v x 100",
                            "; the value v (0 to 1) stands for 0 + v x 1", "; on from 0.5 up"};
  for (int i = 0; i < 5; ++i) {
    f0r_param_info_t p{};
    m.get_param_info(&p, i);
    EXPECT_STREQ(p.name, names[i]);
    EXPECT_EQ(p.type, types[i]);
    ASSERT_NE(p.explanation, nullptr);
    EXPECT_EQ(std::string(p.explanation), std::string(ControlAt(i).help) + mappings[i]);
  }
  EXPECT_STREQ(ControlAt(4).help, kCornerMarkers.help);
  f0r_param_info_t untouched{"x", 99, nullptr};
  m.get_param_info(&untouched, 5);
  m.get_param_info(&untouched, -1);
  EXPECT_STREQ(untouched.name, "x");
  EXPECT_EQ(untouched.type, 99);
  m.deinit();
}

TEST(Frei0rModule, RefusesFramesTheEngineCannotAddress) {
  using Size = std::pair<uint64_t, uint64_t>;
  for (auto [w, h] : {Size{1, 1}, {536870911, 4}, {46340, 46340}, {1, 2147483647}})
    EXPECT_TRUE(FrameSizeSupported(w, h)) << w << "x" << h;
  for (auto [w, h] :
       {Size{0, 1}, {1, 0}, {536870912, 1}, {65536, 32768}, {4294967295u, 4294967295u}})
    EXPECT_FALSE(FrameSizeSupported(w, h)) << w << "x" << h;
  for (auto [w, h] : {std::pair{0u, 8u}, {8u, 0u}, {65536u, 32768u}})  // 65536 x 32768 = 2^31
    EXPECT_EQ(Module().construct(w, h), nullptr) << w << "x" << h;
  EXPECT_NE(Instance(1, 1).handle, nullptr);
}

TEST(Frei0rModule, StartsAtTheEffectDefaultsAndHoldsValuesToTheirRanges) {
  Instance inst(8, 8);
  ASSERT_NE(inst.handle, nullptr);
  EXPECT_EQ(std::tuple(inst.Get<double>(0), inst.Get<double>(2), inst.Get<double>(3),
                       inst.Get<double>(4)),
            std::tuple(0.0, 0.01, 0.0, 1.0));
  auto key = inst.Get<f0r_param_color_t>(1);
  EXPECT_EQ(std::tuple(key.r, key.g, key.b), std::tuple(1.0f, 1.0f, 1.0f));
  // {index, value set, value read back}
  for (auto [index, v, back] : {std::tuple{2, 1.7, 1.0},
                                {3, -0.5, 0.0},
                                {2, NAN, 0.0},
                                {0, 0.49, 0.0},
                                {0, 0.5, 1.0},
                                {4, 0.49, 0.0},
                                {4, NAN, 0.0},
                                {4, 0.5, 1.0}}) {
    inst.m.set_param_value(inst.handle, &v, index);
    EXPECT_EQ(inst.Get<double>(index), back) << index << " " << v;
  }
  double v = 0.5;
  inst.m.set_param_value(inst.handle, &v, 5);  // ignored
  inst.m.set_param_value(inst.handle, nullptr, 2);
  key = {-1.0f, 2.0f, 0.5f};
  inst.m.set_param_value(inst.handle, &key, 1);
  key = inst.Get<f0r_param_color_t>(1);
  EXPECT_EQ(std::tuple(key.r, key.g, key.b), std::tuple(0.0f, 1.0f, float(128 / 255.0)));
}

TEST(Frei0rModule, RendersEachFrameAsScanFrameDoes) {
  // clang-format off
  for (auto [w, h, variant] : {std::tuple{24, 16, 0}, {24, 16, 1}, {24, 16, 2}, {13, 7, 0},
                               {1, 1, 0}, {2, 3, 0}, {1, 9, 0}, {9, 1, 0}}) {
    SCOPED_TRACE(::testing::Message() << w << "x" << h << " picture " << variant);
    // clang-format on
    const RgbaImage src = MakePicture(w, h, variant);
    Instance inst(w, h);
    EXPECT_EQ(inst.Render(src), ReferenceRender(src, DefaultRenderSettings())) << "defaults";
    for (const ParamSet& p : ParamSets()) {
      inst.Set(p);
      EXPECT_EQ(inst.Render(src), ReferenceRender(src, p.settings)) << "range " << p.range;
    }
  }
  // The pictures do exercise the smoothing and the key.
  const RgbaImage src = MakePicture(24, 16, 1);
  EXPECT_NE(ReferenceRender(src, ParamSets()[2].settings), src.bytes);
  EXPECT_NE(ReferenceRender(src, ParamSets()[1].settings),
            ReferenceRender(src, ParamSets()[2].settings));
}

// Left out, the markers' four pixels keep the render's result: a flat frame
// comes back as it went in, and a picture differs from the marked render
// only where that has its four red pixels.
TEST(Frei0rModule, CornerMarkersOffLeavesTheCornersToTheSmoothing) {
  RgbaImage flat(6, 4);
  for (size_t i = 0; i < flat.bytes.size(); i += 4)
    std::copy_n(std::array<uint8_t, 4>{10, 20, 30, 255}.data(), 4, &flat.bytes[i]);
  RgbaImage marked = flat;
  for (auto [x, y] : {std::pair{1, 1}, {1, 3}, {5, 1}, {5, 3}})
    std::copy_n(std::array<uint8_t, 4>{255, 0, 0, 255}.data(), 4, marked.at(x, y));
  Instance inst(6, 4);
  EXPECT_EQ(inst.Render(flat), marked.bytes);
  double off = 0.0;
  inst.m.set_param_value(inst.handle, &off, 4);
  EXPECT_EQ(inst.Render(flat), flat.bytes);

  RenderSettings unmarked = DefaultRenderSettings();
  unmarked.cornerMarkers = false;
  for (int variant : {0, 1, 2}) {
    SCOPED_TRACE(variant);
    const RgbaImage src = MakePicture(24, 16, variant);
    Instance picture(24, 16);
    const std::vector<uint8_t> withMarkers = picture.Render(src);
    picture.m.set_param_value(picture.handle, &off, 4);
    const std::vector<uint8_t> without = picture.Render(src);
    EXPECT_EQ(without, ReferenceRender(src, unmarked));
    int differing = 0;
    for (size_t i = 0; i < without.size(); i += 4) {
      if (std::equal(&without[i], &without[i] + 4, &withMarkers[i])) continue;
      ++differing;
      EXPECT_EQ(std::vector<uint8_t>(&withMarkers[i], &withMarkers[i] + 4),
                (std::vector<uint8_t>{255, 0, 0, 255}));
    }
    EXPECT_EQ(differing, 4);
  }
}

TEST(Frei0rModule, LeavesTheInputAloneMayRenderInPlaceAndInstancesAreIndependent) {
  const RgbaImage a = MakePicture(24, 16, 1), b = MakePicture(24, 16, 2);
  const std::vector<uint8_t> expectA = ReferenceRender(a, ParamSets()[1].settings);
  const std::vector<uint8_t> expectB = ReferenceRender(b, ParamSets()[3].settings);
  Instance first(24, 16), second(24, 16);
  first.Set(ParamSets()[1]);
  second.Set(ParamSets()[3]);
  RgbaImage frame = a;
  EXPECT_EQ(first.Render(frame), expectA);
  EXPECT_EQ(frame.bytes, a.bytes);
  auto* pixels = reinterpret_cast<uint32_t*>(frame.bytes.data());
  first.m.update(first.handle, 1.0, pixels, pixels);
  EXPECT_EQ(frame.bytes, expectA);
  frame = a;
  first.m.update2(first.handle, 2.0, reinterpret_cast<const uint32_t*>(b.bytes.data()), nullptr,
                  nullptr, pixels);
  EXPECT_EQ(frame.bytes, ReferenceRender(b, ParamSets()[1].settings));
  first.m.update(first.handle, 3.0, nullptr, pixels);  // no frame, no work
  first.m.update(nullptr, 3.0, pixels, pixels);
  // Two instances at once on two threads.
  bool sameA = true, sameB = true;
  std::thread ta([&] {
    for (int i = 0; i < 200; ++i) sameA = sameA && first.Render(a) == expectA;
  });
  for (int i = 0; i < 200; ++i) sameB = sameB && second.Render(b) == expectB;
  ta.join();
  EXPECT_TRUE(sameA && sameB);
}

TEST(Frei0rModule, ExportsOnlyTheFrei0rFunctions) {
  const std::string command = std::string("nm -D --defined-only ") + CORVALIN_FREI0R_MODULE +
                              " 2>/dev/null | awk '{print $NF}' | sort | tr '\\n' ' '";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char names[1024] = "";
  const size_t read = fread(names, 1, sizeof names - 1, pipe);
  pclose(pipe);
  if (read == 0) GTEST_SKIP() << "nm is not available";
  EXPECT_STREQ(names,
               "f0r_construct f0r_deinit f0r_destruct f0r_get_param_info "
               "f0r_get_param_value f0r_get_plugin_info f0r_init f0r_set_param_value "
               "f0r_update f0r_update2 ");
}

// Equal frames, or how many pixels differ and where the first does.
::testing::AssertionResult SameFrame(const std::string& actual,
                                     const std::vector<uint8_t>& expected, int32_t width) {
  if (actual.size() != expected.size())
    return ::testing::AssertionFailure() << actual.size() << " bytes, expected " << expected.size();
  size_t differing = 0, first = 0;
  for (size_t i = 0; i < actual.size(); i += 4)
    if (std::memcmp(&actual[i], &expected[i], 4) != 0 && differing++ == 0) first = i / 4;
  if (differing == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << differing << " pixels differ, first at (" << first % static_cast<size_t>(width) << ", "
         << first / static_cast<size_t>(width) << ")";
}

class FfmpegCompareTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef CORVALIN_SANITIZED
    GTEST_SKIP() << "ffmpeg cannot load a module built with the sanitizers";
#endif
    if (std::system("ffmpeg -hide_banner -filters 2>/dev/null | grep -q ' frei0r '") != 0)
      GTEST_SKIP() << "ffmpeg with the frei0r filter is not installed";
    char pattern[] = "/tmp/corvalin-frei0r-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    if (access(CORVALIN_CLI, X_OK) != 0) cli.clear();
  }
  void TearDown() override {
    if (!dir.empty()) Run("rm -rf '" + dir + "'");
    if (cli.empty()) GTEST_SKIP() << "compared with ScanFrame only: no " << CORVALIN_CLI;
  }

  static void Run(const std::string& command) {
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
  }
  std::string Path(const std::string& name) const { return "'" + dir + "/" + name + "'"; }
  std::string Read(const std::string& name) const {
    std::ifstream in(dir + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // Writes the picture as an RGBA PNG, through ffmpeg's own encoder.
  void WritePng(const RgbaImage& img, const std::string& name) {
    std::ofstream(dir + "/" + name + ".rgba", std::ios::binary)
        .write(reinterpret_cast<const char*>(img.bytes.data()), std::streamsize(img.bytes.size()));
    Run("ffmpeg -v error -y -f rawvideo -pix_fmt rgba -s " + std::to_string(img.width) + "x" +
        std::to_string(img.height) + " -i " + Path(name + ".rgba") + " -frames:v 1 " + Path(name));
  }
  // Every frame of the file filtered with the parameters, as raw RGBA bytes;
  // written raw, or as a lossless video to be decoded.
  std::string Filter(const std::string& in, const char* params, const std::string& out) {
    const std::string module = CORVALIN_FREI0R_MODULE;
    const bool raw = out.ends_with(".raw");
    Run("FREI0R_PATH='" + module.substr(0, module.find_last_of('/')) + "' ffmpeg -v error -y -i " +
        Path(in) + " -vf 'format=rgba,frei0r=corvalin:" + params + "' -pix_fmt rgba " +
        (raw ? "-f rawvideo " : "-c:v png ") + Path(out));
    return raw ? Read(out) : Decode(out);
  }
  std::string Decode(const std::string& name) {
    Run("ffmpeg -v error -y -i " + Path(name) + " -pix_fmt rgba -f rawvideo " +
        Path(name + ".raw"));
    return Read(name + ".raw");
  }
  // The command's 8-bit render of a picture file, or nothing without the command.
  void ExpectCommandRenders(const std::string& in, const ParamSet& c, const std::string& filtered,
                            int32_t width) {
    if (cli.empty()) return;
    Run(cli + " render " + Path(in) + " " + Path("cli_" + in) + " --depth 8 " + c.cliOptions +
        " >/dev/null 2>&1");
    const std::string rendered = Decode("cli_" + in);
    EXPECT_TRUE(SameFrame(filtered, std::vector<uint8_t>(rendered.begin(), rendered.end()), width));
  }

  std::string dir, cli = CORVALIN_CLI;
};

TEST_F(FfmpegCompareTest, PicturesMatchScanFrameAndTheCommand) {
  // Widths are multiples of 16: Debian's ffmpeg 5.1 hands frei0r filters rows
  // padded to the CPU's alignment (up to 64 bytes), which frei0r frames
  // cannot describe.
  const RgbaImage pictures[] = {MakePicture(48, 30, 0), MakePicture(32, 21, 1),
                                MakePicture(64, 47, 2)};
  const std::vector<ParamSet>& cases = ParamSets();
  int compared = 0;
  for (size_t p = 0; p < std::size(pictures); ++p) {
    const std::string in = "in" + std::to_string(p) + ".png";
    WritePng(pictures[p], in);
    for (size_t i = 0; i < cases.size(); ++i) {
      if ((i + p) % 2 == 1 && i != 1) continue;  // a spread of pairs, every case at least once
      SCOPED_TRACE(in + " with " + cases[i].filterParams);
      const std::string filtered =
          Filter(in, cases[i].filterParams, "f" + std::to_string(p) + std::to_string(i) + ".raw");
      const int32_t width = pictures[p].width;
      EXPECT_TRUE(SameFrame(filtered, ReferenceRender(pictures[p], cases[i].settings), width));
      ExpectCommandRenders(in, cases[i], filtered, width);
      ++compared;
    }
  }
  EXPECT_EQ(compared, 10);
}

// ffmpeg sets the markers' switch by position, after the four controls; the
// command leaves them out with --no-corner-markers.
TEST_F(FfmpegCompareTest, MarkersLeftOutByTheirPosition) {
  const RgbaImage picture = MakePicture(48, 30, 0);
  WritePng(picture, "in.png");
  RenderSettings settings = DefaultRenderSettings();
  settings.cornerMarkers = false;
  const ParamSet off{0.0,     {1, 1, 1}, 0.01, 0.0, "n|1/1/1|0.01|0|n", "--no-corner-markers",
                     settings};
  const std::string filtered = Filter("in.png", off.filterParams, "off.raw");
  EXPECT_TRUE(SameFrame(filtered, ReferenceRender(picture, settings), 48));
  EXPECT_FALSE(SameFrame(filtered, ReferenceRender(picture, DefaultRenderSettings()), 48));
  ExpectCommandRenders("in.png", off, filtered, 48);
}

// The command line the documentation gives for a video file, on a lossless
// RGBA video of three different frames.
TEST_F(FfmpegCompareTest, VideoFramesMatchFrameByFrame) {
  for (int i = 0; i < 3; ++i)
    WritePng(MakePicture(48, 32, i), "frame" + std::to_string(i) + ".png");
  Run("ffmpeg -v error -y -framerate 25 -i " + Path("frame%d.png") + " -c:v png -pix_fmt rgba " +
      Path("in.mkv"));
  const ParamSet& c = ParamSets()[1];
  const std::string video = Filter("in.mkv", c.filterParams, "out.mkv");
  const size_t frameBytes = 48 * 32 * 4;
  ASSERT_EQ(video.size(), 3 * frameBytes);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    const std::string filtered = video.substr(static_cast<size_t>(i) * frameBytes, frameBytes);
    EXPECT_TRUE(SameFrame(filtered, ReferenceRender(MakePicture(48, 32, i), c.settings), 48));
    ExpectCommandRenders("frame" + std::to_string(i) + ".png", c, filtered, 48);
  }
}

}  // namespace
}  // namespace corvalin::test
