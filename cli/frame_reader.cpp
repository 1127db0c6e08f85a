// Reading frames: the file's decoder chosen by its content, bands of rows
// decoded and converted into the frame buffer, and the memory a frame needs.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "cli/frame_io.h"
#include "cli/input_format.h"
#include "cli/stop_signal.h"
#include "effect/sample_convert.h"

namespace corvalin::cli {

namespace fs = std::filesystem;

const char* StageName(Stage stage) {
  switch (stage) {
    case Stage::decode: return "decode";
    case Stage::convertIn: return "convert in";
    case Stage::render: return "render";
    case Stage::convertOut: return "convert out";
    case Stage::encode: return "encode";
  }
  return "?";
}

std::unique_ptr<FrameDecoder> OpenDecoder(const std::string& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (!fs::exists(status)) {
    const bool link = fs::is_symlink(fs::symlink_status(path, ec));
    throw CliError("cannot read " + path +
                   (link ? ": no such file (a link to a missing file)" : ": no such file"));
  }
  if (fs::is_directory(status)) throw CliError("cannot read " + path + ": it is a folder");
  if (!fs::is_regular_file(status)) {
    throw CliError("cannot read " + path + ": not a regular file (a FIFO, socket or device)");
  }
  std::unique_ptr<FrameDecoder> decoder;
  try {
    const FileFormat format = DetectInputFormat(path);
    decoder = format == FileFormat::png ? OpenPngDecoder(path) : OpenOiioDecoder(path, format);
  } catch (const CodecError& e) {
    throw CliError("cannot read " + path + ": " + e.what());
  } catch (const CliError& e) {
    const std::string what = e.what();
    // The module's own messages name the file already.
    throw CliError(what.starts_with(path) ? what : "cannot read " + path + ": " + what);
  }
  const FrameHeader& h = decoder->header();
  if (h.channels < 1) throw CliError("cannot read " + path + ": the image has no channels");
  if (h.width < 1 || h.height < 1) {
    throw CliError("cannot read " + path + ": the image is empty (" + std::to_string(h.width) +
                   " x " + std::to_string(h.height) + ")");
  }
  if (static_cast<int64_t>(h.width) * h.height > kMaxFramePixels) {
    throw CliError(path + ": " + std::to_string(h.width) + " x " + std::to_string(h.height) +
                   " pixels is more than the limit of " + std::to_string(kMaxFramePixels) +
                   " pixels per frame");
  }
  return decoder;
}

FrameReader::FrameReader(const std::string& path) : path_(path), decoder_(OpenDecoder(path)) {}

FrameReader::~FrameReader() = default;

namespace {

// Rows the reader decodes at a time: whole rows of tiles, never more rows
// than the image has, whatever its tiles declare.
int32_t DecodeBandRows(const FrameDecoder& decoder) {
  const int64_t granule = std::max<int32_t>(1, decoder.rowGranule());
  const int64_t rows = (kFileBandRows + granule - 1) / granule * granule;
  return static_cast<int32_t>(std::min<int64_t>(rows, decoder.header().height));
}

// Half widens to float exactly.
SampleKind ReadKind(SampleKind kind) {
  return kind == SampleKind::half ? SampleKind::float32 : kind;
}

}  // namespace

template <class Pixel>
void FrameReader::ReadInto(FrameBuffer<Pixel>& frame, std::vector<std::byte>& scratch,
                           AlphaConvention alpha, StageTimes* times) {
  const FrameHeader& h = decoder_->header();
  if (frame.width() != h.width || frame.height() != h.height) {
    throw CliError(path_ + ": the frame does not fit its buffer");
  }
  if constexpr (std::is_same_v<Pixel, PF_Pixel8>) {
    if (IsFloat(h.kind)) throw CliError(path_ + ": float files render at 16 bits");
  }
  const int channels = std::min(h.channels, 4);
  const SampleKind readKind = ReadKind(h.kind);
  const size_t filePixelBytes = static_cast<size_t>(channels) * SampleBytes(readKind);
  // An RGBA file at the render depth decodes into the buffer itself.
  const bool inPlace = !IsFloat(h.kind) && filePixelBytes == sizeof(Pixel);
  const size_t stride = static_cast<size_t>(frame.stride());
  const size_t width = static_cast<size_t>(h.width);

  const int32_t bandRows = DecodeBandRows(*decoder_);
  const std::ptrdiff_t rowBytes =
      static_cast<std::ptrdiff_t>(inPlace ? stride * sizeof(Pixel) : width * filePixelBytes);
  if (!inPlace) {
    const size_t need = static_cast<size_t>(bandRows) * width * filePixelBytes;
    if (scratch.size() < need) scratch.resize(need);
  }

  // The buffer is not cleared: each band is used only once the decoder says
  // it wrote every row of it, so no row of the frame can hold memory the
  // decoder did not write.
  for (int32_t y0 = 0; y0 < h.height; y0 += bandRows) {
    ThrowIfStopRequested();
    const int32_t y1 = std::min(h.height, y0 + bandRows);
    Pixel* rows = frame.pixels() + static_cast<size_t>(y0) * stride;
    std::byte* target = inPlace ? reinterpret_cast<std::byte*>(rows) : scratch.data();
    try {
      StageTimer timer(times, Stage::decode);
      const int32_t written = decoder_->ReadRows(y0, y1, channels, readKind, target, rowBytes);
      if (written != y1 - y0) {
        throw CodecError("the decoder delivered " + std::to_string(y0 + std::max(0, written)) +
                         " of the image's " + std::to_string(h.height) + " rows");
      }
    } catch (const CodecError& e) {
      throw CliError("cannot read " + path_ + ": " + e.what());
    }
    StageTimer timer(times, Stage::convertIn);
    const auto load = [&]<class Sample>() {
      LoadSamples<Pixel, Sample>(target, PackedSamples<Sample>(channels, rowBytes, alpha), rows,
                                 static_cast<std::ptrdiff_t>(stride), h.width, 0, y1 - y0);
    };
    switch (h.kind) {
      case SampleKind::uint8: load.template operator()<uint8_t>(); break;
      case SampleKind::uint16: load.template operator()<uint16_t>(); break;
      default:
        if constexpr (std::is_same_v<Pixel, PF_Pixel16>) load.template operator()<float>();
        break;
    }
  }
}

FrameMemory FrameReader::MemoryNeed(int depth, int32_t rowPadding, SampleKind outputKind) const {
  const FrameHeader& h = decoder_->header();
  const int64_t pixelBytes = RenderPixelBytes(depth);
  const int64_t width = h.width, height = h.height;
  FrameMemory need;
  need.worlds = 2 * (width + rowPadding) * height * pixelBytes;
  // The scratch buffer serves the decode band and the float output band.
  const int channels = std::min(h.channels, 4);
  const int64_t filePixelBytes = channels * static_cast<int64_t>(SampleBytes(ReadKind(h.kind)));
  const bool inPlace = !IsFloat(h.kind) && filePixelBytes == pixelBytes;
  const int64_t decodeBand = inPlace ? 0 : DecodeBandRows(*decoder_) * width * filePixelBytes;
  const int64_t encodeBand =
      IsFloat(outputKind) ? int64_t{kFileBandRows} * width * 4 * int64_t{sizeof(float)} : 0;
  need.decoding = std::max(decodeBand, encodeBand) + decoder_->bufferBytes() + h.metadataBytes;
  need.total = need.worlds + need.decoding;
  return need;
}

void CheckFrameMemory(const FrameMemory& need, int64_t limit, int32_t width, int32_t height,
                      int depth) {
  if (need.total <= limit) return;
  const auto mib = [](int64_t bytes) { return std::to_string((bytes + (1 << 20) - 1) >> 20); };
  throw CliError("a frame of " + std::to_string(width) + " x " + std::to_string(height) +
                 " pixels at " + std::to_string(depth) + " bits needs " + mib(need.total) +
                 " MiB (" + mib(need.worlds) + " MiB for the input and output, " +
                 mib(need.decoding) + " MiB for decoding), more than the limit of " + mib(limit) +
                 " MiB per frame; raise it with --max-frame-memory");
}

template void FrameReader::ReadInto<PF_Pixel8>(FrameBuffer<PF_Pixel8>&, std::vector<std::byte>&,
                                               AlphaConvention, StageTimes*);
template void FrameReader::ReadInto<PF_Pixel16>(FrameBuffer<PF_Pixel16>&, std::vector<std::byte>&,
                                                AlphaConvention, StageTimes*);

}  // namespace corvalin::cli
