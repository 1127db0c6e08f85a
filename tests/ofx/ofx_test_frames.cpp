#include "tests/ofx/ofx_test_frames.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "effect/pixel_convert.h"
#include "effect/controls.h"
#include "effect/corner_markers.h"
#include "engine/scan/scan_frame.h"
#include "tests/support/test_images.h"

namespace corvalin::ofxtest {

namespace {

// A picture's four samples as a pixel the test pictures' canvas draws.
struct Samples {
  uint16_t alpha, red, green, blue;
};

OfxRectI Bounds(const Picture& picture, const Placement& placement) {
  return OfxRectI{placement.x0, placement.y0, placement.x0 + picture.width,
                  placement.y0 + picture.height};
}

// The picture row shown at image row y: the top row is row 0.
int32_t RowOf(const OfxRectI& bounds, int y) { return bounds.y2 - 1 - y; }

bool Inside(const OfxRectI& r, int x, int y) {
  return x >= r.x1 && x < r.x2 && y >= r.y1 && y < r.y2;
}

template <class Pixel>
minihost::HostWorld<Pixel> ModuleRender(const Picture& picture, const RenderSettings& settings) {
  minihost::HostWorld<Pixel> input(picture.width, picture.height),
      output(picture.width, picture.height);
  for (int32_t y = 0; y < picture.height; ++y)
    for (int32_t x = 0; x < picture.width; ++x) {
      const uint16_t* s = &picture.samples[picture.index(x, y)];
      using T = SampleConvert<Pixel>;
      using C = decltype(Pixel{}.red);
      input.at(x, y) = Pixel{static_cast<C>(T::FromFile(s[3], picture.bits)),
                             static_cast<C>(T::FromFile(s[0], picture.bits)),
                             static_cast<C>(T::FromFile(s[1], picture.bits)),
                             static_cast<C>(T::FromFile(s[2], picture.bits))};
    }
  if (!settings.cornerMarkers) {
    // The module always marks: without the markers, the engine's scan of
    // the same worlds, copied after the colour key as the host copies.
    const size_t bytes =
        static_cast<size_t>(input.stride()) * static_cast<size_t>(input.height()) * sizeof(Pixel);
    ScanFrame(settings, &input.world(), &output.world(), input.pixels(), output.pixels(), [&] {
      std::memcpy(output.pixels(), input.pixels(), bytes);
      return PF_Err_NONE;
    });
    return output;
  }
  const minihost::MiniHost host(minihost::LinkedEffectModule());
  if (host.Render(settings, input, output) != PF_Err_NONE)
    throw std::runtime_error("the module's render failed");
  return output;
}

// Writes the render's pixel for each window pixel, in the components of `depth`.
template <class Pixel, class Convert>
HostImage Expected(const minihost::HostWorld<Pixel>& render, const std::string& depth,
                   const std::string& components, const Placement& placement,
                   const OfxRectI& window, Convert convert) {
  const OfxRectI bounds{placement.x0, placement.y0, placement.x0 + render.width(),
                        placement.y0 + render.height()};
  HostImage image(depth, components, bounds, placement.layout);
  const int n = image.componentCount();
  for (int y = window.y1; y < window.y2; ++y)
    for (int x = window.x1; x < window.x2; ++x) {
      const Pixel& p = render.at(x - bounds.x1, RowOf(bounds, y));
      const uint32_t channels[4] = {p.red, p.green, p.blue, p.alpha};
      for (int c = 0; c < n; ++c) image.Set(x, y, c, convert(channels[c]));
    }
  return image;
}

}  // namespace

Picture GeneratedPicture(uint32_t seed, int32_t width, int32_t height, int bits) {
  // 16-bit samples off the multiples of 257, so that the conversions round.
  auto sample = [bits](int v) {
    if (bits == 8) return static_cast<uint16_t>(v);
    return static_cast<uint16_t>(v == 0 || v == 255 ? v * 257 : v * 257 - 77);
  };
  std::vector<Samples> palette;
  for (const test_images::Colour8 c : {test_images::Colour8{255, 255, 255, 255},
                                       {255, 200, 20, 60},
                                       {255, 30, 90, 220},
                                       {0, 0, 0, 0},
                                       {128, 10, 240, 10}}) {
    palette.push_back({sample(c.alpha), sample(c.red), sample(c.green), sample(c.blue)});
  }
  test_images::PaddedImage<Samples> drawn(width, height);
  test_images::DrawFlatShapes(drawn.canvas(), seed, palette);
  Picture picture{width, height, bits, {}};
  for (const Samples& p : drawn.pixels) {
    picture.samples.insert(picture.samples.end(), {p.red, p.green, p.blue, p.alpha});
  }
  return picture;
}

Picture StairPicture() {
  const uint16_t white[4] = {255, 255, 255, 255}, blue[4] = {20, 60, 200, 255};
  Picture picture{8, 5, 8, {}};
  for (int32_t y = 0; y < picture.height; ++y) {
    for (int32_t x = 0; x < picture.width; ++x) {
      const uint16_t* p = y < 2 || (y == 2 && x < 4) ? white : blue;
      picture.samples.insert(picture.samples.end(), p, p + 4);
    }
  }
  return picture;
}

Picture Opaque(const Picture& picture) {
  Picture opaque = picture;
  const uint16_t max = picture.bits == 8 ? 255 : 65535;
  for (size_t i = 3; i < opaque.samples.size(); i += 4) opaque.samples[i] = max;
  return opaque;
}

HostImage SourceImage(const Picture& picture, const std::string& depth,
                      const std::string& components, const Placement& placement) {
  const OfxRectI bounds = Bounds(picture, placement);
  HostImage image(depth, components, bounds, placement.layout);
  image.premultiplication = kOfxImageUnPreMultiplied;
  const int n = image.componentCount();
  for (int y = bounds.y1; y < bounds.y2; ++y)
    for (int x = bounds.x1; x < bounds.x2; ++x) {
      const uint16_t* s = &picture.samples[picture.index(x - bounds.x1, RowOf(bounds, y))];
      for (int c = 0; c < n; ++c) {
        if (depth == kOfxBitDepthByte)
          image.Set(x, y, c, FileToChannel8(s[c], picture.bits));
        else if (depth == kOfxBitDepthShort)
          image.Set(x, y, c, static_cast<uint16_t>(picture.bits == 16 ? s[c] : s[c] * 257));
        else
          image.Set(x, y, c, static_cast<float>(FileToChannel16(s[c], picture.bits)) / 32768.0f);
      }
    }
  return image;
}

minihost::HostWorld<PF_Pixel8> ModuleRender8(const Picture& picture, const RenderSettings& s) {
  return ModuleRender<PF_Pixel8>(picture, s);
}

minihost::HostWorld<PF_Pixel16> ModuleRender16(const Picture& picture, const RenderSettings& s) {
  return ModuleRender<PF_Pixel16>(picture, s);
}

HostImage ExpectedImage(const minihost::HostWorld<PF_Pixel8>& render, const std::string& components,
                        const Placement& placement, const OfxRectI& window) {
  return Expected(render, kOfxBitDepthByte, components, placement, window,
                  [](uint32_t v) { return static_cast<uint8_t>(v); });
}

HostImage ExpectedImage(const minihost::HostWorld<PF_Pixel16>& render, const std::string& depth,
                        const std::string& components, const Placement& placement,
                        const OfxRectI& window) {
  if (depth == kOfxBitDepthShort)
    return Expected(render, depth, components, placement, window,
                    [](uint32_t v) { return Channel16ToFile(v); });
  return Expected(render, depth, components, placement, window,
                  [](uint32_t v) { return static_cast<float>(v) / 32768.0f; });
}

std::string FirstDifference(const HostImage& actual, const HostImage& expected,
                            const OfxRectI& window) {
  const int bytes = actual.pixelBytes();
  if (bytes != expected.pixelBytes()) return "the images' pixel sizes differ";
  for (int y = window.y1; y < window.y2; ++y)
    for (int x = window.x1; x < window.x2; ++x) {
      if (!Inside(actual.bounds, x, y) || !Inside(expected.bounds, x, y))
        return "window pixel outside an image";
      if (std::memcmp(actual.At(x, y), expected.At(x, y), static_cast<size_t>(bytes)) == 0)
        continue;
      std::string text = "pixel (" + std::to_string(x) + ", " + std::to_string(y) + "): got";
      for (const HostImage* image : {&actual, &expected}) {
        if (image == &expected) text += ", expected";
        for (int c = 0; c < image->componentCount(); ++c) {
          char value[32];
          if (image->componentBytes() == 1)
            std::snprintf(value, sizeof value, " %u", unsigned{image->Get<uint8_t>(x, y, c)});
          else if (image->componentBytes() == 2)
            std::snprintf(value, sizeof value, " %u", unsigned{image->Get<uint16_t>(x, y, c)});
          else
            std::snprintf(value, sizeof value, " %.9g", double{image->Get<float>(x, y, c)});
          text += value;
        }
      }
      return text;
    }
  return "";
}

void SetParams(OfxTestHost& host, const RenderSettings& settings) {
  for (const ControlSpec& control : kControls) {
    switch (control.type) {
      case ControlType::checkbox:
        host.SetParam(control.scriptName, {settings.*control.flagField ? 1.0 : 0.0});
        break;
      case ControlType::colour: {
        const PF_Pixel8& key = settings.*control.colourField;
        host.SetParam(control.scriptName, {key.red / 255.0, key.green / 255.0, key.blue / 255.0});
        break;
      }
      case ControlType::floatSlider:
        host.SetParam(control.scriptName, {settings.*control.numberField});
        break;
    }
  }
  host.SetParam(kCornerMarkers.scriptName, {settings.cornerMarkers ? 1.0 : 0.0});
}

ClipSetup StraightSource() {
  ClipSetup source;
  source.premultiplication = kOfxImageUnPreMultiplied;
  return source;
}

void Prepare(OfxTestHost& host, const ClipSetup& source) {
  auto check = [](OfxStatus status, const char* action, bool replyDefaultOk = false) {
    if (status != kOfxStatOK && !(replyDefaultOk && status == kOfxStatReplyDefault))
      throw std::runtime_error(std::string(action) + " answered " + std::to_string(status));
  };
  check(host.Load(), "Load");
  check(host.Describe(), "Describe");
  check(host.DescribeInContext(kOfxImageEffectContextFilter), "DescribeInContext");
  check(host.CreateInstance(kOfxImageEffectContextFilter, source), "CreateInstance", true);
  check(host.GetClipPreferences(), "GetClipPreferences", true);
}

OfxStatus RenderThrough(OfxTestHost& host, HostImage& source, HostImage& output,
                        const OfxRectI& window) {
  const OfxRectI& b = source.bounds;
  ClipSetup clip;
  clip.depth = source.depth;
  clip.components = source.components;
  clip.premultiplication = source.premultiplication;
  clip.rod = OfxRectD{double(b.x1), double(b.y1), double(b.x2), double(b.y2)};
  host.SetSourceClip(clip);
  if (const OfxStatus preferences = host.GetClipPreferences(); preferences != kOfxStatOK)
    return preferences;
  OfxRectD roi{};
  const OfxStatus status = host.GetRegionsOfInterest(
      OfxRectD{double(window.x1), double(window.y1), double(window.x2), double(window.y2)}, &roi);
  if (status != kOfxStatOK) return status;
  RenderRequest request;
  request.source = &source;
  request.output = &output;
  request.window = window;
  return host.Render(request);
}

uint64_t Fnv1a(const std::vector<unsigned char>& bytes) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char b : bytes) h = (h ^ b) * 0x100000001b3ull;
  return h;
}

RenderCheck RenderAndCompare(OfxTestHost& host, const Picture& picture,
                             const RenderSettings& settings, const std::string& depth,
                             const std::string& components, const Placement& placement,
                             const OfxRectI* window, bool keepParams) {
  const Picture shown = components == kOfxImageComponentRGB ? Opaque(picture) : picture;
  HostImage source = SourceImage(shown, depth, components, placement);
  HostImage output(depth, components, source.bounds, placement.layout);
  const OfxRectI w = window != nullptr ? *window : source.bounds;
  const std::vector<unsigned char> before = output.bytes();
  if (!keepParams) SetParams(host, settings);
  RenderCheck check;
  check.status = RenderThrough(host, source, output, w);
  check.digest = Fnv1a(output.bytes());
  if (check.status != kOfxStatOK) {
    check.difference = "the render answered " + std::to_string(check.status);
    return check;
  }
  const HostImage expected =
      depth == kOfxBitDepthByte
          ? ExpectedImage(ModuleRender8(shown, settings), components, placement, w)
          : ExpectedImage(ModuleRender16(shown, settings), depth, components, placement, w);
  check.difference = FirstDifference(output, expected, w);
  if (check.difference.empty() && !output.SameOutside(before, w))
    check.difference = "bytes outside the render window changed";
  return check;
}

}  // namespace corvalin::ofxtest
