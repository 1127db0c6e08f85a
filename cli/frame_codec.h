// The file formats behind FrameReader and FrameWriter. PNG, the format of
// nearly every frame the command sees, goes through libspng: it decodes and
// encodes a row at a time, straight into and out of the render world, at a
// fraction of the cost of the general path. Every other format goes through
// OpenImageIO.
//
// A codec moves samples only: it never converts them to render channels, and
// it never names the file in its errors (FrameReader and FrameWriter do).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "cli/colour_tags.h"
#include "cli/image_io.h"
#include "effect/associated_alpha.h"

namespace corvalin::cli {

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

// Geometry a file may declare. No frame comes near a million pixels on a
// side, and origins within 2^30 keep every sum of an origin, a side and a
// tile inside 32 bits, as the libraries compute them.
inline constexpr int64_t kMaxFileSide = 1000000;
inline constexpr int64_t kMaxFileOrigin = int64_t{1} << 30;
inline constexpr int64_t kMaxFileChannels = 1024;
inline constexpr int64_t kMaxFileTileSide = 2048;  // tiles are 16 to 512 in practice

// Rows per band of decoding: a band of a UHD frame fits in a core's cache.
inline constexpr int32_t kFileBandRows = 16;

struct FrameHeader {
  int32_t width = 0, height = 0;
  int channels = 0;  // in the file; the first four are used
  SampleKind kind = SampleKind::uint8;
  // How colour relates to alpha as the format or file says: OpenEXR and a
  // TIFF whose extra sample is associated alpha hold premultiplied colour.
  AlphaConvention alpha = AlphaConvention::straight;
  // Colour space, profile and resolution, for the output to carry.
  ColourTags colour;
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

// Why a codec failed, without the file's name: "the file ends early".
class CodecError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An open input file whose header has been read.
class FrameDecoder {
 public:
  virtual ~FrameDecoder() = default;
  const FrameHeader& header() const { return header_; }
  // Bands of rows start at multiples of this (a tiled file is read a row of
  // tiles at a time). At most the header's height, whatever the file's tiles.
  virtual int32_t rowGranule() const { return 1; }
  // Memory the decoder takes for itself while the frame is read, beside the
  // caller's target: a whole interlaced PNG, the library's strip, tile and
  // conversion buffers. Known from the header, before any of it exists.
  virtual int64_t bufferBytes() const { return 0; }
  // Rows [y0, y1), bands in order from the top, as the first `channels`
  // samples of each pixel, packed, in `as` (uint8, uint16 or float32; half
  // widens to float exactly), rows `rowBytes` apart. Returns the number of
  // rows it has written whole, counted from y0: a caller uses no row beyond
  // them. Throws CodecError; stops with StopRequested when asked to.
  virtual int32_t ReadRows(int32_t y0, int32_t y1, int channels, SampleKind as, std::byte* target,
                           std::ptrdiff_t rowBytes) = 0;

 protected:
  FrameHeader header_;
};

// An output file being written: four samples a pixel of the layout's kind.
class FrameEncoder {
 public:
  virtual ~FrameEncoder() = default;
  // Rows [y0, y1), bands in order from the top. Throws CodecError.
  virtual void WriteRows(int32_t y0, int32_t y1, const void* data, std::ptrdiff_t rowBytes) = 0;
  // Completes the file's data (the caller flushes and closes the file).
  // Throws CodecError.
  virtual void Close() = 0;
};

// Opens `path` for reading after checking that it is a regular file (a FIFO
// or a device would block or never end) of a format the command reads
// (cli/input_format.h), and reads its header with that format's decoder
// only, refusing an empty frame or one beyond the pixel limit before any
// pixel memory exists. The errors are CliErrors naming the file.
std::unique_ptr<FrameDecoder> OpenDecoder(const std::string& path);

// PNG through libspng, a file known by its signature (cli/input_format.h).
// The decoder gives four channels of 8 or 16 bits whatever the colour type:
// gray gives red = green = blue, a palette its colours, a transparent colour
// or palette alpha becomes alpha, and a missing alpha is opaque.
std::unique_ptr<FrameDecoder> OpenPngDecoder(const std::string& path);
std::unique_ptr<FrameEncoder> OpenPngEncoder(FILE* file, int32_t width, int32_t height,
                                             const OutputLayout& layout);

// TIFF, TGA and OpenEXR through OpenImageIO: the decoder opens `path` with
// the reader of `format` alone, never by asking every reader whether it
// knows the file, and refuses a file of several images (TIFF pages, OpenEXR
// parts); the writer picks the format by the extension of `path` (a
// temporary name beside the output) and writes through `file`. They load the
// module, or throw a CodecError saying where it was looked for.
std::unique_ptr<FrameDecoder> OpenOiioDecoder(const std::string& path, FileFormat format);
std::unique_ptr<FrameEncoder> OpenOiioEncoder(const std::string& path, FILE* file, int32_t width,
                                              int32_t height, const OutputLayout& layout);

// What the OpenImageIO module exports, under kOiioCodecSymbol. The module is
// built with the program, by the same compiler and runtime, so C++ types
// and exceptions cross between them. The encoder's layout has its
// compression filled in.
struct OiioCodecEntry {
  std::unique_ptr<FrameDecoder> (*openDecoder)(const std::string& path, FileFormat format);
  std::unique_ptr<FrameEncoder> (*openEncoder)(const std::string& path, FILE* file, int32_t width,
                                               int32_t height, const OutputLayout& layout);
};
inline constexpr const char* kOiioCodecFile = "corvalin_oiio_codec.so";
inline constexpr const char* kOiioCodecSymbol = "corvalin_oiio_codec_entry";

// The compression setting of `layout`, or its format's default.
std::string CompressionOf(const OutputLayout& layout);

}  // namespace corvalin::cli
