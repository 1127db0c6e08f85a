#include "cli/colour_tags.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace corvalin::cli {

namespace {

bool SameWord(const std::string& a, const char* b) {
  const size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// PNG's largest value of a four-byte field.
constexpr double kPngMaxValue = 2147483647.0;

std::optional<uint32_t> PngValue(double v) {
  if (!std::isfinite(v)) return std::nullopt;
  const double rounded = std::round(v);
  if (rounded < 1 || rounded > kPngMaxValue) return std::nullopt;
  return static_cast<uint32_t>(rounded);
}

}  // namespace

std::string ColourSpaceName(const ColourTags& tags) {
  if (!tags.fromPng) return tags.colourSpace;
  if (tags.srgbIntent) return "sRGB";
  if (tags.gamma && *tags.gamma > 0) {
    // To two decimals, so that a file gamma of 0.45455 names 2.2.
    const float exponent = std::round(100.0f * static_cast<float>(100000.0 / *tags.gamma)) / 100.0f;
    if (exponent == 1.0f) return "linear";
    char name[32];
    std::snprintf(name, sizeof name, "Gamma%.2g", static_cast<double>(exponent));
    return name;
  }
  return "sRGB";
}

bool IsLinearName(const std::string& colourSpace) { return SameWord(colourSpace, "linear"); }

PngColourChunks PngChunksOf(const ColourTags& tags) {
  PngColourChunks chunks;
  if (tags.fromPng) {
    chunks.srgbIntent = tags.srgbIntent;
    chunks.gamma = tags.gamma;
    chunks.chromaticities = tags.chromaticities;
    return chunks;
  }
  // A profile says more than a name, and PNG wants no sRGB chunk beside it.
  if (tags.iccProfile) return chunks;
  const std::string& name = tags.colourSpace;
  if (SameWord(name, "sRGB")) {
    chunks.srgbIntent = 0;
  } else if (IsLinearName(name)) {
    chunks.gamma = 100000;
  } else if (name.size() > 5 && SameWord(name.substr(0, 5), "Gamma")) {
    const char* text = name.c_str() + 5;
    char* end = nullptr;
    const double exponent = std::strtod(text, &end);
    if (end != text && *end == '\0' && std::isfinite(exponent) && exponent >= 0.1 &&
        exponent <= 10) {
      chunks.gamma = PngValue(100000.0 / exponent);
    }
  }
  return chunks;
}

std::optional<PngPhys> PngPhysOf(const Resolution& r) {
  if (r.unit == ResolutionUnit::none) {
    // Only the ratio means anything: it is kept to seven digits or better.
    double x = r.x, y = r.y;
    const auto whole = [](double v) { return std::abs(v - std::round(v)) <= 1e-7 * v; };
    while (!(whole(x) && whole(y)) && std::max(x, y) * 10 <= kPngMaxValue) {
      x *= 10;
      y *= 10;
    }
    const std::optional<uint32_t> px = PngValue(x), py = PngValue(y);
    if (!px || !py) return std::nullopt;
    return PngPhys{*px, *py, 0};
  }
  double perUnit = 1;
  uint8_t unit = 1;
  switch (r.unit) {
    case ResolutionUnit::none: unit = 0; break;
    case ResolutionUnit::metre: break;
    case ResolutionUnit::centimetre: perUnit = 100; break;
    case ResolutionUnit::inch: perUnit = 1 / 0.0254; break;
  }
  const std::optional<uint32_t> x = PngValue(r.x * perUnit), y = PngValue(r.y * perUnit);
  if (!x || !y) return std::nullopt;
  return PngPhys{*x, *y, unit};
}

std::optional<Resolution> ResolutionOfPhys(const PngPhys& phys) {
  if (phys.unit > 1 || phys.x == 0 || phys.y == 0 || phys.x > kPngMaxValue ||
      phys.y > kPngMaxValue) {
    return std::nullopt;
  }
  return Resolution{static_cast<double>(phys.x), static_cast<double>(phys.y),
                    phys.unit == 1 ? ResolutionUnit::metre : ResolutionUnit::none};
}

std::optional<Resolution> CheckedResolution(double x, double y, const std::string& unit) {
  const auto valid = [](double v) { return std::isfinite(v) && v > 0 && v <= 1e9; };
  if (!valid(x) || !valid(y)) return std::nullopt;
  Resolution r{x, y, ResolutionUnit::none};
  if (SameWord(unit, "in") || SameWord(unit, "inch")) {
    r.unit = ResolutionUnit::inch;
  } else if (SameWord(unit, "cm")) {
    r.unit = ResolutionUnit::centimetre;
  } else if (!unit.empty() && !SameWord(unit, "none")) {
    return std::nullopt;
  }
  return r;
}

const char* OiioUnitName(ResolutionUnit unit) {
  switch (unit) {
    case ResolutionUnit::none: return "none";
    case ResolutionUnit::inch:
    case ResolutionUnit::metre: return "in";
    case ResolutionUnit::centimetre: return "cm";
  }
  return "none";
}

Resolution OiioResolutionOf(const Resolution& r) {
  if (r.unit != ResolutionUnit::metre) return r;
  return Resolution{r.x * 0.0254, r.y * 0.0254, ResolutionUnit::inch};
}

std::string GammaProblem(uint32_t gamma) {
  if (gamma >= 10000 && gamma <= 1000000) return {};
  char text[64];
  std::snprintf(text, sizeof text, "its file gamma %.5f is not 0.1 to 10",
                static_cast<double>(gamma) / 100000.0);
  return text;
}

std::string ChromaticitiesProblem(const std::array<uint32_t, 8>& v) {
  static const char* const kPoints[4] = {"white point", "red", "green", "blue"};
  for (size_t point = 0; point < 4; ++point) {
    const uint32_t x = v[2 * point], y = v[2 * point + 1];
    if (x > 100000 || y > 100000 || x + y > 100000 || (point == 0 && y == 0)) {
      char text[128];
      std::snprintf(text, sizeof text,
                    "its %s (%.5f, %.5f) is not a colour (x and y 0 to 1, x + y at most 1)",
                    kPoints[point], static_cast<double>(x) / 100000.0,
                    static_cast<double>(y) / 100000.0);
      return text;
    }
  }
  return {};
}

bool PlausibleColourSpace(const std::string& colourSpace) {
  return !colourSpace.empty() && colourSpace.size() <= 64 &&
         std::all_of(colourSpace.begin(), colourSpace.end(),
                     [](char c) { return c >= 0x20 && c <= 0x7e; });
}

bool PlausibleIccProfile(const uint8_t* bytes, size_t size) {
  if (bytes == nullptr || size < 132 || size > kMaxIccProfileBytes) return false;
  const uint32_t stated = uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 |
                          uint32_t{bytes[2]} << 8 | uint32_t{bytes[3]};
  return stated == size && std::memcmp(bytes + 36, "acsp", 4) == 0;
}

}  // namespace corvalin::cli
