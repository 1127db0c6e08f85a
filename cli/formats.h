// The bottom of the command's data path: the file formats, what each holds
// and how it is compressed, the limits a file's declarations are held to, the
// description of a frame on either side of a codec, and the error every
// failure is reported with. Everything above (codecs, frame reader and
// writer, sequence pipeline, command) takes these rules from here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/colour_tags.h"
#include "effect/associated_alpha.h"
#include "engine/view/frame_view.h"

namespace corvalin::cli {

// Every failure the command reports: the message names the file or option and
// the problem.
class CliError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Why a codec failed, without the file's name: "the file ends early".
class CodecError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// ---------------------------------------------------------------- formats

// The formats read and written, known by content on input (cli/input_format.h)
// and by extension on output.
enum class FileFormat { png, tiff, tga, exr };

// "PNG", "TIFF", "TGA", "OpenEXR"
const char* FormatName(FileFormat format);

// The extensions of `format` for messages: ".png", ".tif or .tiff".
const char* ExtensionsOf(FileFormat format);

// Every extension, for messages: ".png, .tif, .tiff, .tga or .exr".
inline constexpr const char* kExtensionList = ".png, .tif, .tiff, .tga or .exr";

// The format named by the extension of `path` (any case), or nothing.
std::optional<FileFormat> FormatOfExtension(const std::string& path);

// The format of the output `path` by its extension, or a CliError naming the
// supported extensions (or, for a movie's name, how to make that movie).
FileFormat FormatOfPath(const std::string& path);

// ---------------------------------------------------------------- samples

enum class SampleKind { uint8, uint16, half, float32 };
inline bool IsFloat(SampleKind k) { return k == SampleKind::half || k == SampleKind::float32; }
// "8-bit", "16-bit", "half float", "32-bit float"
inline const char* SampleKindName(SampleKind k) {
  switch (k) {
    case SampleKind::uint8: return "8-bit";
    case SampleKind::uint16: return "16-bit";
    case SampleKind::half: return "half float";
    case SampleKind::float32: return "32-bit float";
  }
  return "?";
}
inline size_t SampleBytes(SampleKind k) {
  switch (k) {
    case SampleKind::uint8: return 1;
    case SampleKind::uint16:
    case SampleKind::half: return 2;
    case SampleKind::float32: return 4;
  }
  return 1;
}

// What an output is asked to hold: the options' depth and float type, and
// once a frame is open, its input's sample kind.
struct SampleRequest {
  int depth = 0;  // 8 or 16; 0: chosen from the input (or not yet known)
  std::optional<SampleKind> floatOutput;
  std::optional<SampleKind> inputKind;  // none: checking the options alone
};

// How a frame is rendered and stored in a file of some format.
struct SamplePlan {
  int depth = 0;  // 0 only while the input is not known and no depth is asked
  SampleKind kind = SampleKind::uint8;
};

// The one statement of which samples each format holds: TGA 8 bits, OpenEXR
// the 16-bit render as float (half unless asked), TIFF integers or (for a
// float input or when asked) 32-bit float, PNG integers; a float input
// renders at 16 bits. A CliError naming `path` or the option when the
// request and the format do not fit together.
SamplePlan PlanSamples(const std::string& path, FileFormat format, const SampleRequest& request);

// ---------------------------------------------------------------- limits

// Geometry a file may declare. No frame comes near a million pixels on a
// side, and origins within 2^30 keep every sum of an origin, a side and a
// tile inside 32 bits, as the libraries compute them.
inline constexpr int64_t kMaxFileSide = 1000000;
inline constexpr int64_t kMaxFileOrigin = int64_t{1} << 30;
inline constexpr int64_t kMaxFileChannels = 1024;
inline constexpr int64_t kMaxFileTileSide = 2048;  // tiles are 16 to 512 in practice

// Largest pixel count of a frame including row padding: the engine's, whose
// pixel index is a signed 32-bit integer.
inline constexpr int64_t kMaxFramePixels = kMaxFrameIndex;

// Rows per band of decoding and encoding: a band of a UHD frame fits in a
// core's cache.
inline constexpr int32_t kFileBandRows = 16;

// ---------------------------------------------------------------- frames

struct FrameHeader {
  int32_t width = 0, height = 0;
  int channels = 0;  // in the file; the first four are used
  SampleKind kind = SampleKind::uint8;
  // How colour relates to alpha as the format or file says: OpenEXR and a
  // TIFF whose extra sample is associated alpha hold premultiplied colour.
  AlphaConvention alpha = AlphaConvention::straight;
  // Colour space, profile and resolution, for the output to carry.
  ColourTags colour;
  // Memory the kept metadata takes while the frame is in flight (a profile).
  int64_t metadataBytes = 0;
  // Metadata passed over or dropped, one line each, for the user.
  std::vector<std::string> warnings;
};

// What an output file holds.
struct OutputLayout {
  FileFormat format = FileFormat::png;
  SampleKind kind = SampleKind::uint8;
  // Premultiplied for OpenEXR, which compositors read as premultiplied.
  AlphaConvention alpha = AlphaConvention::straight;
  std::string compression;  // as CheckCompression returns it; empty: the format's default
  ColourTags colour;        // the input's, labelled in the output as the format allows
};

// How `format` is written unless asked otherwise: OpenEXR premultiplied,
// every other format straight.
AlphaConvention DefaultOutputAlpha(FileFormat format);

// ---------------------------------------------------------------- compression

// The compression setting `value` for `format` in canonical form, or a
// CliError listing the choices. Every choice is lossless.
std::string CheckCompression(FileFormat format, const std::string& value);
// What a format is written with when no setting is given.
const char* DefaultCompression(FileFormat format);
// "0 to 9 (deflate level)", "none, lzw or deflate", ...
std::string CompressionChoices(FileFormat format);
// The compression setting of `layout`, or its format's default.
std::string CompressionOf(const OutputLayout& layout);

}  // namespace corvalin::cli
