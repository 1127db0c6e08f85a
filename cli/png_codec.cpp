// PNG frames through libspng, a row at a time.
#include <spng.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "cli/frame_codec.h"
#include "cli/png_chunks.h"
#include "cli/stop_signal.h"

namespace corvalin::cli {

namespace {

// PNG allows sides up to 2^31 - 1; the file limit refuses absurd headers
// before any pixel memory exists, with their own numbers in the message.
constexpr auto kPngMaxSide = static_cast<uint32_t>(kMaxFileSide);

// libspng holds the chunks it is handed other than the image data: only
// the small ones the pixels and their colour need reach it
// (cli/png_chunks.h). The pixel data is streamed, whatever its chunks' sizes.
constexpr size_t kChunkLimit = 64u << 20;

// The side that a header gives, where it is out of range, or "".
std::string SizeProblem(FILE* file) {
  unsigned char head[24] = {};
  if (std::fseek(file, 0, SEEK_SET) != 0 || std::fread(head, 1, sizeof head, file) != sizeof head) {
    return {};
  }
  if (std::memcmp(head + 12, "IHDR", 4) != 0) return {};
  auto be32 = [&](int at) {
    return uint32_t{head[at]} << 24 | uint32_t{head[at + 1]} << 16 | uint32_t{head[at + 2]} << 8 |
           uint32_t{head[at + 3]};
  };
  const uint32_t width = be32(16), height = be32(20);
  if (width >= 1 && width <= kPngMaxSide && height >= 1 && height <= kPngMaxSide) return {};
  return "the PNG header gives " + std::to_string(width) + " x " + std::to_string(height) +
         " pixels; each side must be 1 to " + std::to_string(kPngMaxSide);
}

std::string Reason(int code) {
  switch (code) {
    case SPNG_IO_EOF: return "the PNG data ends early (a cut or unfinished file)";
    case SPNG_EMEM: return "not enough memory";
    default: return std::string("PNG ") + spng_strerror(code);
  }
}

struct ContextFree {
  void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};
using Context = std::unique_ptr<spng_ctx, ContextFree>;

struct FileClose {
  void operator()(FILE* file) const { std::fclose(file); }
};

class PngDecoder final : public FrameDecoder {
 public:
  explicit PngDecoder(const std::string& path)
      : file_(std::fopen(path.c_str(), "rb")), stream_(file_.get()) {
    if (!file_) throw CodecError(std::strerror(errno));
    ctx_.reset(spng_ctx_new(0));
    if (!ctx_) throw CodecError("not enough memory");
    FILE* file = file_.get();
    Check(spng_set_png_stream(ctx_.get(), &PngChunkStream::Read, &stream_));
    Check(spng_set_image_limits(ctx_.get(), kPngMaxSide, kPngMaxSide));
    Check(spng_set_chunk_limits(ctx_.get(), kChunkLimit, kChunkLimit));
    spng_ihdr ihdr{};
    if (const int e = spng_get_ihdr(ctx_.get(), &ihdr)) {
      const std::string size = SizeProblem(file);
      throw CodecError(size.empty() ? Reason(e) + stream_.Where() : size);
    }
    header_.width = static_cast<int32_t>(ihdr.width);
    header_.height = static_cast<int32_t>(ihdr.height);
    header_.channels = 4;
    header_.kind = ihdr.bit_depth == 16 ? SampleKind::uint16 : SampleKind::uint8;
    format_ = ihdr.bit_depth == 16 ? SPNG_FMT_RGBA16 : SPNG_FMT_RGBA8;
    rowBytes_ = static_cast<size_t>(ihdr.width) * (ihdr.bit_depth == 16 ? 8 : 4);
    interlaced_ = ihdr.interlace_method != 0;
    Check(spng_decode_image(ctx_.get(), nullptr, 0, format_,
                            SPNG_DECODE_TRNS | SPNG_DECODE_PROGRESSIVE));
    // The chunks before the image data have been read, and with them an
    // animation's control chunk: its default image alone is not the file.
    if (const std::optional<PngAnimation>& animation = stream_.animation();
        animation && !(animation->frames == 1 && animation->defaultImageIsFrame)) {
      RefuseAnimation(path, *animation);
    }
    header_.warnings = stream_.warnings();
    // Read with the chunks before the image data, where PNG puts these.
    header_.colour = ReadColourTags(ctx_.get(), stream_, header_.warnings);
    if (const auto& profile = header_.colour.iccProfile) {
      header_.metadataBytes = static_cast<int64_t>(profile->size());
    }
  }

  int64_t bufferBytes() const override {
    return interlaced_ ? static_cast<int64_t>(rowBytes_) * header_.height : 0;
  }

  int32_t ReadRows(int32_t y0, int32_t y1, int channels, SampleKind as, std::byte* target,
                   std::ptrdiff_t rowBytes) override {
    if (channels != 4 || as != header_.kind)
      throw CodecError("PNG rows are read as they are stored");
    if (y0 != nextRow_ || y1 > header_.height || y0 >= y1) {
      throw CodecError("PNG rows are read once, in order from the top");
    }
    if (interlaced_) {
      if (!whole_) DecodeInterlaced();
      for (int32_t y = y0; y < y1; ++y) {
        std::memcpy(target + (y - y0) * rowBytes, whole_.get() + static_cast<size_t>(y) * rowBytes_,
                    rowBytes_);
      }
    } else {
      for (int32_t y = y0; y < y1; ++y) {
        const int e = spng_decode_row(ctx_.get(), target + (y - y0) * rowBytes, rowBytes_);
        // The last row reports the end of the image.
        if (e != 0 && !(e == SPNG_EOI && y == header_.height - 1)) Check(e);
      }
    }
    nextRow_ = y1;
    return y1 - y0;
  }

 private:
  // Only what the pixels need reaches libspng: its refusal names the chunk.
  void Check(int code) const {
    if (code != 0) throw CodecError(Reason(code) + stream_.Where());
  }

  // The rows of the seven Adam7 passes together; a pass without pixels has
  // no rows (a frame one pixel high has no row in passes 3, 5 and 7).
  int64_t InterlacedRowCount() const {
    constexpr int64_t x0[7] = {0, 4, 0, 2, 0, 1, 0}, dx[7] = {8, 8, 4, 4, 2, 2, 1};
    constexpr int64_t y0[7] = {0, 0, 4, 0, 2, 0, 1}, dy[7] = {8, 8, 8, 4, 4, 2, 2};
    const int64_t width = header_.width, height = header_.height;
    int64_t rows = 0;
    for (int pass = 0; pass < 7; ++pass) {
      const int64_t passWidth = width > x0[pass] ? (width - x0[pass] + dx[pass] - 1) / dx[pass] : 0;
      const int64_t passHeight =
          height > y0[pass] ? (height - y0[pass] + dy[pass] - 1) / dy[pass] : 0;
      if (passWidth > 0) rows += passHeight;
    }
    return rows;
  }

  // An interlaced image comes in seven passes over the whole frame, so it is
  // decoded whole before the first band is handed on. Each pass row puts its
  // pixels in their places in the image row; every pixel is written once
  // every row of every pass has been decoded, which is counted.
  void DecodeInterlaced() {
    whole_ = std::make_unique_for_overwrite<std::byte[]>(rowBytes_ *
                                                         static_cast<size_t>(header_.height));
    const int64_t expected = InterlacedRowCount();
    int64_t decoded = 0;
    for (;;) {
      // A large frame takes seconds: a stop request is heeded between rows.
      if (decoded % 64 == 0) ThrowIfStopRequested();
      spng_row_info row{};
      const int info = spng_get_row_info(ctx_.get(), &row);
      // After the last row of the last pass with pixels: libspng says so
      // here rather than from that row when the passes after it are empty.
      if (info == SPNG_EOI) break;
      Check(info);
      if (row.row_num >= static_cast<uint32_t>(header_.height))
        throw CodecError("PNG row out of range");
      const int e = spng_decode_row(
          ctx_.get(), whole_.get() + static_cast<size_t>(row.row_num) * rowBytes_, rowBytes_);
      if (e != 0 && e != SPNG_EOI) Check(e);
      ++decoded;
      if (e == SPNG_EOI) break;
    }
    if (decoded != expected) {
      throw CodecError("the interlaced PNG ended after " + std::to_string(decoded) + " of its " +
                       std::to_string(expected) + " pass rows");
    }
  }

  // One frame of an animation is not the animation: it is made into
  // frames first. A single frame that is the default image is the file.
  [[noreturn]] static void RefuseAnimation(const std::string& path, const PngAnimation& animation) {
    const std::string frames = animation.frames == 0
                                   ? std::string("an animated PNG (acTL chunk)")
                                   : "an animated PNG of " + std::to_string(animation.frames) +
                                         (animation.frames == 1 ? " frame" : " frames") +
                                         " (acTL chunk)";
    const char* hidden =
        animation.defaultImageIsFrame ? "" : ", whose default image is not one of them";
    throw CodecError(frames + hidden +
                     "; the command reads files of one image: split it into frames with ffmpeg "
                     "(ffmpeg -i " +
                     path +
                     " -fps_mode passthrough frame.%04d.png) and render "
                     "them as a sequence (corvalin render frame.%04d.png out.%04d.png)");
  }

  // The chunks reaching libspng were checked by the stream; the profile is
  // inflated and checked here. A PNG holds sRGB or iCCP, not both: with both,
  // the profile is kept, as the PNG standard ranks it first.
  static ColourTags ReadColourTags(spng_ctx* ctx, PngChunkStream& stream,
                                   std::vector<std::string>& warnings) {
    ColourTags tags;
    tags.fromPng = true;
    uint8_t intent = 0;
    if (spng_get_srgb(ctx, &intent) == 0) tags.srgbIntent = intent;
    uint32_t gamma = 0;
    if (spng_get_gama_int(ctx, &gamma) == 0) tags.gamma = gamma;
    spng_chrm_int chrm{};
    if (spng_get_chrm_int(ctx, &chrm) == 0) {
      tags.chromaticities = {chrm.white_point_x, chrm.white_point_y, chrm.red_x,  chrm.red_y,
                             chrm.green_x,       chrm.green_y,       chrm.blue_x, chrm.blue_y};
    }
    if (const std::vector<uint8_t> chunk = stream.TakeIccpChunk(); !chunk.empty()) {
      IccpProfile iccp = InflateIccp(chunk);
      if (iccp.problem.empty()) {
        if (!iccp.nameProblem.empty()) {
          warnings.push_back("the iCCP profile's name is written as \"" +
                             std::string(kDefaultIccName) + "\": " + iccp.nameProblem);
        }
        tags.iccName = std::move(iccp.name);
        tags.iccProfile = std::make_shared<const std::vector<uint8_t>>(std::move(iccp.profile));
      } else {
        warnings.push_back("the iCCP chunk is not carried: " + iccp.problem);
      }
    }
    if (tags.iccProfile && tags.srgbIntent) {
      tags.srgbIntent.reset();
      warnings.push_back(
          "the file has both an sRGB and an iCCP chunk, which PNG allows one of; the output "
          "carries the iCCP profile, which the PNG standard ranks first");
    }
    spng_phys phys{};
    if (spng_get_phys(ctx, &phys) == 0) {
      tags.resolution = ResolutionOfPhys(PngPhys{phys.ppu_x, phys.ppu_y, phys.unit_specifier});
    }
    return tags;
  }

  std::unique_ptr<FILE, FileClose> file_;
  PngChunkStream stream_;  // outlives the context, which reads through it
  Context ctx_;
  int format_ = SPNG_FMT_RGBA8;
  size_t rowBytes_ = 0;
  bool interlaced_ = false;
  int32_t nextRow_ = 0;
  std::unique_ptr<std::byte[]> whole_;
};

class PngEncoder final : public FrameEncoder {
 public:
  PngEncoder(FILE* file, int32_t width, int32_t height, const OutputLayout& layout)
      : file_(file), ctx_(spng_ctx_new(SPNG_CTX_ENCODER)) {
    if (!ctx_) throw CodecError("not enough memory");
    const bool deep = layout.kind == SampleKind::uint16;
    rowBytes_ = static_cast<size_t>(width) * (deep ? 8 : 4);
    height_ = height;
    Check(spng_set_png_stream(ctx_.get(), &PngEncoder::Write, this));
    Check(spng_set_option(ctx_.get(), SPNG_IMG_COMPRESSION_LEVEL, CompressionOf(layout)[0] - '0'));
    // Rows unfiltered: flat cel frames compress about as well as with the
    // adaptive filters, at a fraction of the time.
    Check(spng_set_option(ctx_.get(), SPNG_FILTER_CHOICE, SPNG_DISABLE_FILTERING));
    spng_ihdr ihdr{};
    ihdr.width = static_cast<uint32_t>(width);
    ihdr.height = static_cast<uint32_t>(height);
    ihdr.bit_depth = deep ? 16 : 8;
    ihdr.color_type = SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
    Check(spng_set_ihdr(ctx_.get(), &ihdr));
    SetColourTags(layout.colour);
    // 16-bit rows are handed over in this machine's byte order; the
    // encoder stores them big-endian, as PNG requires.
    Check(spng_encode_image(ctx_.get(), nullptr, 0, SPNG_FMT_PNG,
                            SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE));
  }

  void WriteRows(int32_t y0, int32_t y1, const void* data, std::ptrdiff_t rowBytes) override {
    const auto* rows = static_cast<const std::byte*>(data);
    for (int32_t y = y0; y < y1; ++y) {
      const int e = spng_encode_row(ctx_.get(), rows + (y - y0) * rowBytes, rowBytes_);
      if (e != 0 && !(e == SPNG_EOI && y == height_ - 1)) Check(e);
    }
  }

  void Close() override {}

 private:
  void Check(int code) const {
    if (code == 0) return;
    if (failure_ != 0) throw CodecError(std::strerror(failure_));
    throw CodecError(Reason(code));
  }

  // The input's colour chunks and resolution. They were checked when read;
  // one that libspng still refuses is left out rather than failing the
  // frame, whose pixels are fine.
  void SetColourTags(const ColourTags& tags) {
    const PngColourChunks chunks = PngChunksOf(tags);
    if (chunks.srgbIntent) (void)spng_set_srgb(ctx_.get(), *chunks.srgbIntent);
    if (chunks.gamma) (void)spng_set_gama_int(ctx_.get(), *chunks.gamma);
    if (const auto& c = chunks.chromaticities) {
      spng_chrm_int chrm{(*c)[0], (*c)[1], (*c)[2], (*c)[3], (*c)[4], (*c)[5], (*c)[6], (*c)[7]};
      (void)spng_set_chrm_int(ctx_.get(), &chrm);
    }
    if (tags.iccProfile) {
      // libspng keeps the pointer until the chunk is written: the encoder
      // holds the profile.
      profile_ = tags.iccProfile;
      spng_iccp iccp{};
      const std::string& name = tags.iccName.empty() ? std::string(kDefaultIccName) : tags.iccName;
      std::memcpy(iccp.profile_name, name.data(),
                  std::min(name.size(), sizeof iccp.profile_name - 1));
      iccp.profile_len = profile_->size();
      iccp.profile = reinterpret_cast<char*>(const_cast<uint8_t*>(profile_->data()));
      (void)spng_set_iccp(ctx_.get(), &iccp);
    }
    if (tags.resolution) {
      if (const std::optional<PngPhys> p = PngPhysOf(*tags.resolution)) {
        spng_phys phys{p->x, p->y, p->unit};
        (void)spng_set_phys(ctx_.get(), &phys);
      }
    }
  }

  static int Write(spng_ctx*, void* user, void* data, size_t length) {
    auto* self = static_cast<PngEncoder*>(user);
    errno = 0;
    if (std::fwrite(data, 1, length, self->file_) == length) return 0;
    if (self->failure_ == 0) self->failure_ = errno != 0 ? errno : EIO;
    return SPNG_IO_ERROR;
  }

  FILE* file_;
  std::shared_ptr<const std::vector<uint8_t>> profile_;  // outlives the context
  Context ctx_;
  size_t rowBytes_ = 0;
  int32_t height_ = 0;
  int failure_ = 0;
};

}  // namespace

std::unique_ptr<FrameDecoder> OpenPngDecoder(const std::string& path) {
  return std::make_unique<PngDecoder>(path);
}

std::unique_ptr<FrameEncoder> OpenPngEncoder(FILE* file, int32_t width, int32_t height,
                                             const OutputLayout& layout) {
  return std::make_unique<PngEncoder>(file, width, height, layout);
}

}  // namespace corvalin::cli
