// Frames of every format but PNG through OpenImageIO: the module
// corvalin_oiio_codec.so, which the program loads when it first meets such a
// file (cli/oiio_module.cpp).
#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "cli/frame_codec.h"

namespace corvalin::cli {

namespace {

// One line from OIIO's messages, which may hold several: "a\nb\n" -> "a; b".
std::string OneLine(std::string message) {
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  for (size_t at = message.find('\n'); at != std::string::npos; at = message.find('\n', at)) {
    message.replace(at, 1, "; ");
  }
  return message;
}

// OIIO's pending error of this thread (asking clears it), or `fallback`.
std::string PendingError(const std::string& fallback) {
  const std::string message = OneLine(OIIO::geterror());
  return message.empty() ? fallback : message;
}

// The kind of a sample type, or a CliError for one the command cannot render.
SampleKind KindOf(const std::string& path, OIIO::TypeDesc t) {
  if (t == OIIO::TypeDesc::UINT8) return SampleKind::uint8;
  if (t == OIIO::TypeDesc::UINT16) return SampleKind::uint16;
  if (t == OIIO::TypeDesc::HALF) return SampleKind::half;
  if (t == OIIO::TypeDesc::FLOAT) return SampleKind::float32;
  const std::string name =
      t.basetype == OIIO::TypeDesc::DOUBLE ? "64-bit float" : std::string(t.c_str());
  throw CliError(path + ": " + name +
                 " samples are not supported; use a file of 8 or 16 bits per channel "
                 "(unsigned integer), half or 32-bit float");
}

OIIO::TypeDesc TypeOf(SampleKind kind) {
  switch (kind) {
    case SampleKind::uint8: return OIIO::TypeDesc::UINT8;
    case SampleKind::uint16: return OIIO::TypeDesc::UINT16;
    case SampleKind::half: return OIIO::TypeDesc::HALF;
    case SampleKind::float32: return OIIO::TypeDesc::FLOAT;
  }
  return OIIO::TypeDesc::UINT8;
}

class OiioDecoder final : public FrameDecoder {
 public:
  explicit OiioDecoder(const std::string& path) {
    // Keep alpha unassociated: the effect works on the colour as stored.
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    input_ = OIIO::ImageInput::open(path, &config);
    if (!input_) throw CodecError(PendingError("not an image in a format this build can read"));
    // The dimensions, tiles and sample types, without the metadata.
    layout_ = input_->spec_dimensions(0);
    const OIIO::ImageSpec& layout = layout_;
    FrameHeader& h = header_;
    h.kind = KindOf(path, layout.format);
    // Channels of several types (an OpenEXR file with half colour and float
    // alpha): all integer ones must agree; float ones are read as float.
    const int used = std::min(layout.nchannels, 4);
    for (int c = 0; c < used && c < static_cast<int>(layout.channelformats.size()); ++c) {
      const SampleKind k = KindOf(path, layout.channelformats[static_cast<size_t>(c)]);
      if (IsFloat(k) && IsFloat(h.kind)) {
        if (k == SampleKind::float32) h.kind = k;
      } else if (k != h.kind) {
        throw CliError(path + ": channels of different sample types (" + SampleKindName(h.kind) +
                       " and " + SampleKindName(k) + ") are not supported");
      }
    }
    if (layout.depth > 1) throw CodecError("a volume image, not a frame");
    h.channels = layout.nchannels;
    h.width = layout.width;
    h.height = layout.height;
  }

  int32_t rowGranule() const override {
    return layout_.tile_width > 0 ? std::max(1, layout_.tile_height) : 1;
  }

  void ReadRows(int32_t y0, int32_t y1, int channels, SampleKind as, std::byte* target,
                std::ptrdiff_t rowBytes) override {
    const OIIO::ImageSpec& layout = layout_;
    const OIIO::TypeDesc type = TypeOf(as);
    const auto pixelBytes = static_cast<OIIO::stride_t>(static_cast<size_t>(channels) * type.size());
    const bool ok =
        layout.tile_width > 0
            ? input_->read_tiles(0, 0, layout.x, layout.x + header_.width, layout.y + y0,
                                 layout.y + y1, layout.z, layout.z + 1, 0, channels, type, target,
                                 pixelBytes, rowBytes)
            : input_->read_scanlines(0, 0, layout.y + y0, layout.y + y1, layout.z, 0, channels,
                                     type, target, pixelBytes, rowBytes);
    if (!ok) throw CodecError(OneLine(input_->geterror()));
  }

 private:
  std::unique_ptr<OIIO::ImageInput> input_;
  OIIO::ImageSpec layout_;
};

// A file that remembers its first failed write: some writers do not check.
class CheckedFile : public OIIO::Filesystem::IOFile {
 public:
  explicit CheckedFile(FILE* file) : IOFile(file, IOProxy::Write) {}
  size_t write(const void* buf, size_t size) override {
    errno = 0;
    const size_t n = IOFile::write(buf, size);
    if (n != size) Record();
    return n;
  }
  size_t pwrite(const void* buf, size_t size, int64_t offset) override {
    errno = 0;
    const size_t n = IOFile::pwrite(buf, size, offset);
    if (n != size) Record();
    return n;
  }
  int failure() const { return failure_; }

 private:
  void Record() {
    if (failure_ == 0) failure_ = errno != 0 ? errno : EIO;
  }
  int failure_ = 0;
};

void ApplyCompression(OIIO::ImageSpec& layout, const OutputLayout& output) {
  const std::string& value = output.compression;
  switch (output.format) {
    case FileFormat::png:
      layout.attribute("png:compressionLevel", value[0] - '0');
      layout.attribute("png:filter", 8);  // PNG_FILTER_NONE
      break;
    case FileFormat::tiff: layout.attribute("compression", value == "deflate" ? "zip" : value); break;
    case FileFormat::tga:
    case FileFormat::exr: layout.attribute("compression", value); break;
  }
}

class OiioEncoder final : public FrameEncoder {
 public:
  OiioEncoder(const std::string& path, FILE* file, int32_t width, int32_t height,
              const OutputLayout& layout)
      : proxy_(std::make_unique<CheckedFile>(file)), type_(TypeOf(layout.kind)) {
    OIIO::ImageSpec fileLayout(width, height, 4, type_);
    fileLayout.alpha_channel = 3;
    fileLayout.attribute("oiio:UnassociatedAlpha", 1);
    ApplyCompression(fileLayout, layout);
    output_ = OIIO::ImageOutput::create(path);
    if (!output_) throw CodecError(PendingError("no writer for this format"));
    if (!output_->set_ioproxy(proxy_.get())) throw CodecError(OneLine(output_->geterror()));
    if (!output_->open(path, fileLayout)) throw CodecError(OneLine(output_->geterror()));
  }

  void WriteRows(int32_t y0, int32_t y1, const void* data, std::ptrdiff_t rowBytes) override {
    if (!output_->write_scanlines(y0, y1, 0, type_, data, OIIO::AutoStride, rowBytes)) {
      Fail(OneLine(output_->geterror()));
    }
    if (proxy_->failure() != 0) Fail({});
  }

  void Close() override {
    const bool closed = output_->close();
    const std::string closeError = closed ? std::string() : OneLine(output_->geterror());
    output_.reset();
    if (proxy_->failure() != 0 || !closed) Fail(closeError);
  }

 private:
  // A failed write to the file is the reason, whatever the writer says.
  [[noreturn]] void Fail(const std::string& writerSays) {
    throw CodecError(proxy_->failure() != 0 ? std::strerror(proxy_->failure()) : writerSays);
  }

  std::unique_ptr<CheckedFile> proxy_;
  OIIO::TypeDesc type_;
  std::unique_ptr<OIIO::ImageOutput> output_;
};

std::unique_ptr<FrameDecoder> OpenDecoderHere(const std::string& path) {
  return std::make_unique<OiioDecoder>(path);
}

std::unique_ptr<FrameEncoder> OpenEncoderHere(const std::string& path, FILE* file, int32_t width,
                                              int32_t height, const OutputLayout& layout) {
  return std::make_unique<OiioEncoder>(path, file, width, height, layout);
}

}  // namespace

}  // namespace corvalin::cli

extern "C" __attribute__((visibility("default"))) const corvalin::cli::OiioCodecEntry*
corvalin_oiio_codec_entry() {
  // OpenEXR's own thread pool would compete with the pipeline's threads;
  // each frame is decoded and encoded on the thread that holds it.
  OIIO::attribute("exr_threads", -1);
  static const corvalin::cli::OiioCodecEntry entry{&corvalin::cli::OpenDecoderHere,
                                                   &corvalin::cli::OpenEncoderHere};
  return &entry;
}
