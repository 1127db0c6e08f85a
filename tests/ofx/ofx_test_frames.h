// Pictures for the plug-in's tests, as OpenFX images and as the engine
// frames the effect module renders, and the images a render must give.
//
// A picture is what an image file holds: RGBA samples of 8 or 16 bits, top
// row first. The module renders it as the corvalin command does
// (effect/pixel_convert.h); the plug-in receives it as a host would hand it
// over: bytes as the 8-bit render sees them, shorts as 16-bit samples (8-bit
// ones widened by 257), floats as the 16-bit render's channels / 32768.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/scan/scan_settings.h"
#include "tests/support/minihost/mini_host.h"
#include "tests/ofx/ofx_test_host.h"

namespace corvalin::ofxtest {

struct Picture {
  int32_t width = 0, height = 0;
  int bits = 8;
  std::vector<uint16_t> samples;  // red, green, blue, alpha per pixel, row by row

  size_t index(int32_t x, int32_t y) const {
    return (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4;
  }
};

// Flat-colour shapes (boxes, discs, staircase diagonals) from a small
// palette that includes transparent black and the colour {200, 20, 60}.
Picture GeneratedPicture(uint32_t seed, int32_t width, int32_t height, int bits);

// 8 x 5 at 8 bits: white (255) over blue (20, 60, 200), opaque, with a
// one-step stair between them: row 2 is white to column 3, blue from 4.
Picture StairPicture();

// The picture with every alpha at its largest value: what an RGB image holds.
Picture Opaque(const Picture& picture);

// Where and how an image lies: bounds from (x0, y0), rows stored bottom or
// top first with padding.
struct Placement {
  int x0 = 0, y0 = 0;
  HostImage::Layout layout{};
};

// The picture as a Source image of `depth` and `components`, labelled as it
// is: straight (unpremultiplied).
HostImage SourceImage(const Picture& picture, const std::string& depth,
                      const std::string& components, const Placement& placement);

// The module's render of the picture at 8 or 16 bits (channel maximum 255 or
// 32768), through its entry point, as `corvalin render --depth 8/16` renders;
// without corner markers the engine's scan, as `--no-corner-markers` renders.
minihost::HostWorld<PF_Pixel8> ModuleRender8(const Picture& picture, const RenderSettings& s);
minihost::HostWorld<PF_Pixel16> ModuleRender16(const Picture& picture, const RenderSettings& s);

// The output image the plug-in must write for a module render: bytes as
// rendered, shorts as the command writes 16-bit files, floats as channel /
// 32768; pixels outside `window` keep `layout.fill`.
HostImage ExpectedImage(const minihost::HostWorld<PF_Pixel8>& render, const std::string& components,
                        const Placement& placement, const OfxRectI& window);
HostImage ExpectedImage(const minihost::HostWorld<PF_Pixel16>& render, const std::string& depth,
                        const std::string& components, const Placement& placement,
                        const OfxRectI& window);

// Empty when the pixels of `window` agree byte for byte, else the first
// pixel that differs and both values.
std::string FirstDifference(const HostImage& actual, const HostImage& expected,
                            const OfxRectI& window);

// Sets the instance's parameters to `settings`, control by control, and the
// corner markers' switch, as a user would: colours as components b / 255.
void SetParams(OfxTestHost& host, const RenderSettings& settings);

// A Source clip of the pictures here, which hold straight colour.
ClipSetup StraightSource();

// A loaded plug-in with one Filter instance, after the actions a host runs
// before rendering (Load, Describe, DescribeInContext, CreateInstance,
// GetClipPreferences). Throws std::runtime_error when one fails.
void Prepare(OfxTestHost& host, const ClipSetup& source = StraightSource());

// Renders the whole frame of `source` into `output` through the plug-in, as
// a host does: the Source clip takes the image's depth, components and
// premultiplication, the clip preferences are asked again, then
// GetRegionsOfInterest and Render.
OfxStatus RenderThrough(OfxTestHost& host, HostImage& source, HostImage& output,
                        const OfxRectI& window);

uint64_t Fnv1a(const std::vector<unsigned char>& bytes);

// One render through the plug-in, checked against the module's render of
// the same picture (made opaque for RGB). The instance's parameters are set
// to `settings` first unless `keepParams`, when they must already hold them.
struct RenderCheck {
  OfxStatus status = kOfxStatOK;
  std::string difference;  // empty when every window pixel matches and nothing else changed
  uint64_t digest = 0;     // of the whole output buffer, guards and padding included
};
RenderCheck RenderAndCompare(OfxTestHost& host, const Picture& picture,
                             const RenderSettings& settings, const std::string& depth,
                             const std::string& components, const Placement& placement = {},
                             const OfxRectI* window = nullptr, bool keepParams = false);

}  // namespace corvalin::ofxtest
