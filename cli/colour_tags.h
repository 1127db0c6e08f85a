// Colour and resolution metadata carried from an input frame to its output.
// The effect changes no colour space, so an output is labelled as its input
// was: a viewer then shows it in the input's colours. Every value here came
// from a file and has been checked before it is kept; a value that fails is
// dropped, never trusted, and the image is read as it would be without it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace corvalin::cli {

// Real ICC profiles are a few kilobytes, rarely a megabyte; a larger one is
// dropped.
inline constexpr size_t kMaxIccProfileBytes = size_t{16} << 20;

enum class ResolutionUnit { none, inch, centimetre, metre };

// Pixels per unit; with `none` only the ratio of x and y (the pixel's
// aspect) means anything.
struct Resolution {
  double x = 0, y = 0;
  ResolutionUnit unit = ResolutionUnit::none;
};

// The PNG chunk pHYs: pixels per metre (unit 1) or per unknown unit (0).
struct PngPhys {
  uint32_t x = 0, y = 0;
  uint8_t unit = 0;
};

struct ColourTags {
  // Read from a PNG's chunks (the four below, kept exactly as stored);
  // otherwise from OpenImageIO's attributes (colourSpace).
  bool fromPng = false;
  std::optional<uint8_t> srgbIntent;  // sRGB
  std::optional<uint32_t> gamma;      // gAMA: file gamma x 100000
  std::optional<std::array<uint32_t, 8>>
      chromaticities;       // cHRM x 100000: white, red, green, blue, x then y
  std::string colourSpace;  // oiio:ColorSpace as read; empty: none declared
  std::string iccName;      // iCCP's profile name
  // Shared: the headers of frames in flight are copied, the profile is not.
  std::shared_ptr<const std::vector<uint8_t>> iccProfile;
  std::optional<Resolution> resolution;
};

// The colour space OpenImageIO names for the input. A PNG's is what
// OpenImageIO's own PNG reader says: "sRGB" for an sRGB chunk; for gAMA the
// exponent 1 / gamma to two decimals, "linear" when that is 1, else "Gamma"
// and it ("Gamma2.2"); and "sRGB" when neither chunk is there (an iCCP alone
// included), as that reader assumes. Empty for another format without one.
std::string ColourSpaceName(const ColourTags& tags);

bool IsLinearName(const std::string& colourSpace);

// The PNG colour chunks an output gets: a PNG input's own, unchanged; for
// another input, from its colour space: "sRGB" gives sRGB (perceptual
// intent), "linear" gAMA 1.0, "GammaG" gAMA 1 / G; other names, or a
// profile, which the output holds as iCCP, give none.
struct PngColourChunks {
  std::optional<uint8_t> srgbIntent;
  std::optional<uint32_t> gamma;
  std::optional<std::array<uint32_t, 8>> chromaticities;
};
PngColourChunks PngChunksOf(const ColourTags& tags);

// The iCCP profile name for a profile that came without one.
inline constexpr const char* kDefaultIccName = "ICC profile";

// pHYs for a resolution: per metre for a physical unit (300 per inch is
// 11811 per metre, rounded to nearest); for none, the values scaled by a
// power of ten until both are whole (an aspect of 0.9 as 10 by 9), as far
// as 2^31 - 1 allows. Nothing when a value rounds outside 1 to 2^31 - 1,
// which PNG allows.
std::optional<PngPhys> PngPhysOf(const Resolution& resolution);

// The resolution of pHYs as OpenImageIO states it: per inch for pixels per
// metre (as its PNG reader converts), else the values with no unit. Nothing
// for a unit PNG does not define or a zero value.
std::optional<Resolution> ResolutionOfPhys(const PngPhys& phys);

// A resolution read as XResolution, YResolution and ResolutionUnit ("none",
// "in", "inch", "cm"; a missing unit is none), or nothing when a value is
// not a finite number in (0, 1e9] or the unit is another word.
std::optional<Resolution> CheckedResolution(double x, double y, const std::string& unit);

// OpenImageIO's name for a unit: "none", "in" or "cm" (metres are written
// in another unit first).
const char* OiioUnitName(ResolutionUnit unit);
// The resolution in a unit OpenImageIO's writers know: metres become inches.
Resolution OiioResolutionOf(const Resolution& resolution);

// Why a PNG gAMA value (file gamma x 100000) is not carried, or "": file
// gammas of 0.1 to 10 (exponents 10 to 0.1) are kept, as for names.
std::string GammaProblem(uint32_t gamma);

// Why cHRM values (x 100000) are not carried, or "": every coordinate lies
// in 0 to 1 with x + y at most 1, and the white point's y is above 0.
std::string ChromaticitiesProblem(const std::array<uint32_t, 8>& values);

// Whether `colourSpace` may be kept: 1 to 64 printable ASCII characters.
bool PlausibleColourSpace(const std::string& colourSpace);

// Whether `bytes` look like an ICC profile: at most kMaxIccProfileBytes,
// at least a header and a tag count (132 bytes), the size the header states
// equal to its length, and the signature "acsp" where the header has it.
bool PlausibleIccProfile(const uint8_t* bytes, size_t size);

}  // namespace corvalin::cli
