#include "cli/formats.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <vector>

#include "cli/movie.h"

namespace corvalin::cli {

namespace {

// Everything format-specific the command states, one row a format.
struct FormatRules {
  FileFormat format;
  const char* name;
  std::vector<const char*> extensions;  // lower case
  const char* extensionText;
  bool floatOnly;   // holds the render as float whatever is asked
  bool floatAsked;  // holds float when the input is float or it is asked for
  bool holdsHalf;
  bool premultiplied;  // written so unless asked otherwise
  // The defaults come from measurements on cel frames (README, "Output
  // compression"): the fastest setting of each format that compresses.
  const char* defaultCompression;
  std::vector<const char*> compressions;  // empty: a deflate level 0 to 9
  const char* compressionChoices;
};

// Compositors read OpenEXR colour as premultiplied; every other output is
// written straight (a TIFF says which in its extra-samples tag).
// clang-format off
const FormatRules kFormats[] = {
    {FileFormat::png, "PNG", {".png"}, ".png", false, false, false, false,
     "2", {}, "0 to 9 (deflate level; 0 stores)"},
    // The TIFF writer has no half samples; float holds v / 32768 exactly.
    {FileFormat::tiff, "TIFF", {".tif", ".tiff"}, ".tif or .tiff", false, true, false, false,
     "lzw", {"none", "lzw", "deflate"}, "none, lzw or deflate"},
    {FileFormat::tga, "TGA", {".tga"}, ".tga", false, false, false, false,
     "rle", {"none", "rle"}, "none or rle"},
    {FileFormat::exr, "OpenEXR", {".exr"}, ".exr", true, true, true, true,
     "rle", {"none", "rle", "zip", "zips", "piz"}, "none, rle, zip, zips or piz"},
};
// clang-format on

const FormatRules& RulesOf(FileFormat format) {
  for (const FormatRules& rules : kFormats)
    if (rules.format == format) return rules;
  return kFormats[0];
}

std::string LowerExtension(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

}  // namespace

const char* FormatName(FileFormat format) { return RulesOf(format).name; }

const char* ExtensionsOf(FileFormat format) { return RulesOf(format).extensionText; }

std::optional<FileFormat> FormatOfExtension(const std::string& path) {
  const std::string ext = LowerExtension(path);
  for (const FormatRules& rules : kFormats)
    for (const char* known : rules.extensions)
      if (ext == known) return rules.format;
  return std::nullopt;
}

FileFormat FormatOfPath(const std::string& path) {
  if (const std::optional<FileFormat> format = FormatOfExtension(path)) return *format;
  if (const std::optional<std::string> movie = MovieOfName(path)) {
    throw CliError(MovieOutputMessage(path, *movie));
  }
  throw CliError(path + ": unsupported output format '" + LowerExtension(path) + "'; use " +
                 kExtensionList);
}

SamplePlan PlanSamples(const std::string& path, FileFormat format, const SampleRequest& request) {
  const FormatRules& rules = RulesOf(format);
  const bool floatInput = request.inputKind && IsFloat(*request.inputKind);
  const bool floatFile =
      rules.floatOnly || (rules.floatAsked && (request.floatOutput || floatInput));
  SamplePlan plan;
  if (floatInput) {
    if (request.depth == 8) {
      throw CliError(std::string("a ") + SampleKindName(*request.inputKind) +
                     " file renders at 16 bits; leave out --depth 8");
    }
    plan.depth = 16;
  } else if (request.depth != 0) {
    plan.depth = request.depth;
  } else if (request.inputKind) {
    plan.depth = floatFile || *request.inputKind == SampleKind::uint16 ? 16 : 8;
  }
  if (format == FileFormat::tga && plan.depth != 0 && plan.depth != 8) {
    throw CliError(path +
                   ": TGA holds 8 bits per channel; use --depth 8 or a .png, .tif or .exr "
                   "output for 16 bits");
  }
  if (rules.floatOnly && plan.depth != 0 && plan.depth != 16) {
    throw CliError(path +
                   ": an OpenEXR output holds the 16-bit render as float; leave out "
                   "--depth 8");
  }
  if (request.floatOutput && !rules.floatAsked) {
    throw CliError("--float-output: " + std::string(rules.name) +
                   " holds no float samples; use a .exr or .tif output");
  }
  if (request.floatOutput && plan.depth == 8) {
    throw CliError("--float-output: a float output holds the 16-bit render; leave out --depth 8");
  }
  if (floatFile) {
    plan.kind = request.floatOutput ? *request.floatOutput
                : floatInput        ? *request.inputKind
                                    : SampleKind::half;
    if (!rules.holdsHalf) plan.kind = SampleKind::float32;
  } else {
    plan.kind = plan.depth == 16 ? SampleKind::uint16 : SampleKind::uint8;
  }
  return plan;
}

AlphaConvention DefaultOutputAlpha(FileFormat format) {
  return RulesOf(format).premultiplied ? AlphaConvention::premultiplied : AlphaConvention::straight;
}

std::string CheckCompression(FileFormat format, const std::string& value) {
  const FormatRules& rules = RulesOf(format);
  if (rules.compressions.empty()) {
    if (value.size() == 1 && value[0] >= '0' && value[0] <= '9') return value;
  } else {
    for (const char* name : rules.compressions)
      if (value == name) return value;
  }
  throw CliError("--compression " + value + " does not apply to " + rules.name + " output; use " +
                 rules.compressionChoices);
}

const char* DefaultCompression(FileFormat format) { return RulesOf(format).defaultCompression; }

std::string CompressionChoices(FileFormat format) { return RulesOf(format).compressionChoices; }

std::string CompressionOf(const OutputLayout& layout) {
  return layout.compression.empty() ? DefaultCompression(layout.format) : layout.compression;
}

}  // namespace corvalin::cli
