// Shared by the frei0r tests: the built module loaded the way a frei0r host
// loads it, flat-colour test pictures, and the reference render, which is
// ScanFrame on the same picture converted by hand.
#pragma once

#include <dlfcn.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/engine/test_frame.h"

extern "C" {
#include <frei0r.h>
}

namespace corvalin::testing {

struct Frei0rModule {
  void* handle = nullptr;
  int (*init)() = nullptr;
  void (*deinit)() = nullptr;
  void (*get_plugin_info)(f0r_plugin_info_t*) = nullptr;
  void (*get_param_info)(f0r_param_info_t*, int) = nullptr;
  f0r_instance_t (*construct)(unsigned, unsigned) = nullptr;
  void (*destruct)(f0r_instance_t) = nullptr;
  void (*set_param_value)(f0r_instance_t, f0r_param_t, int) = nullptr;
  void (*get_param_value)(f0r_instance_t, f0r_param_t, int) = nullptr;
  void (*update)(f0r_instance_t, double, const uint32_t*, uint32_t*) = nullptr;
  void (*update2)(f0r_instance_t, double, const uint32_t*, const uint32_t*, const uint32_t*,
                  uint32_t*) = nullptr;
  std::string error;  // empty when every function was found

  Frei0rModule() {
    handle = dlopen(CORVALIN_FREI0R_MODULE, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      error = dlerror();
      return;
    }
    Find(init, "f0r_init");
    Find(deinit, "f0r_deinit");
    Find(get_plugin_info, "f0r_get_plugin_info");
    Find(get_param_info, "f0r_get_param_info");
    Find(construct, "f0r_construct");
    Find(destruct, "f0r_destruct");
    Find(set_param_value, "f0r_set_param_value");
    Find(get_param_value, "f0r_get_param_value");
    Find(update, "f0r_update");
    Find(update2, "f0r_update2");
  }
  ~Frei0rModule() {
    if (handle) dlclose(handle);
  }
  Frei0rModule(const Frei0rModule&) = delete;
  Frei0rModule& operator=(const Frei0rModule&) = delete;

 private:
  template <class Fn>
  void Find(Fn& fn, const char* name) {
    fn = reinterpret_cast<Fn>(dlsym(handle, name));
    if (!fn) error += std::string(" missing ") + name;
  }
};

// Four RGBA bytes per pixel, row by row, no padding: frei0r's frame layout.
struct RgbaImage {
  int32_t width = 0, height = 0;
  std::vector<uint8_t> bytes;

  RgbaImage(int32_t w, int32_t h) : width(w), height(h), bytes(static_cast<size_t>(w) * h * 4) {}
  uint8_t* at(int32_t x, int32_t y) { return &bytes[(static_cast<size_t>(y) * width + x) * 4]; }
  void Set(int32_t x, int32_t y, uint32_t rrggbbaa) {
    uint8_t* p = at(x, y);
    p[0] = static_cast<uint8_t>(rrggbbaa >> 24);
    p[1] = static_cast<uint8_t>(rrggbbaa >> 16);
    p[2] = static_cast<uint8_t>(rrggbbaa >> 8);
    p[3] = static_cast<uint8_t>(rrggbbaa);
  }
};

inline constexpr uint32_t kKeyGreen = 0x00ff00ffu;  // the keyed pictures' background

// Flat-colour pictures with staircase edges, thin lines, three- and four-way
// junctions and a half-transparent patch. Variant 1 lies on the key colour.
inline RgbaImage MakePicture(int32_t w, int32_t h, int variant) {
  RgbaImage img(w, h);
  const uint32_t background = variant == 1 ? kKeyGreen : 0xf0e8d0ffu;
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      uint32_t c = background;
      const int64_t dx = 3 * x - w, dy = 4 * y - 2 * h;  // an ellipse left of centre
      if (dx * dx + dy * dy < int64_t{w} * w) c = 0x2050c0ffu;
      if (x > w / 2 && y > h / 3) c = (x > 3 * w / 4) ? 0xc03020ffu : 0xe0c040ffu;
      if (y > 2 * h / 3 && x > 5 * w / 8) c = 0x208040ffu;  // meets the two above
      if (std::abs(x - 2 * y - variant) <= 1) c = 0x101010ffu;  // steep thin line
      if (std::abs(3 * x + y - 2 * w) == 0) c = 0x101010ffu;    // one-pixel line
      if (x < w / 6 && y > 3 * h / 4) c = 0x80406080u;          // half transparent
      if (variant == 2 && (x + y) % 7 == 0 && x < w / 3) c = 0xffffffffu;  // key-coloured dots
      img.Set(x, y, c);
    }
  }
  return img;
}

// ScanFrame on the picture, converted to alpha, red, green, blue and back.
inline RgbaImage ReferenceRender(const RgbaImage& src, const Controls& controls) {
  TestFrame<PF_Pixel8> frame(src.width, src.height, PF_Pixel8{});
  for (int32_t y = 0; y < src.height; ++y)
    for (int32_t x = 0; x < src.width; ++x) {
      const uint8_t* p = &src.bytes[(static_cast<size_t>(y) * src.width + x) * 4];
      frame.in(x, y) = PF_Pixel8{p[3], p[0], p[1], p[2]};
    }
  frame.Render(controls);
  RgbaImage out(src.width, src.height);
  for (int32_t y = 0; y < src.height; ++y)
    for (int32_t x = 0; x < src.width; ++x) {
      const PF_Pixel8& q = frame.out(x, y);
      uint8_t* p = out.at(x, y);
      p[0] = q.red;
      p[1] = q.green;
      p[2] = q.blue;
      p[3] = q.alpha;
    }
  return out;
}

}  // namespace corvalin::testing
