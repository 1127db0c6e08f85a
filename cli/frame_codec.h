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
#include <string>

#include "cli/formats.h"

namespace corvalin::cli {

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

}  // namespace corvalin::cli
