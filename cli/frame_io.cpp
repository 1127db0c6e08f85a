#include "cli/frame_io.h"

#include <Imath/half.h>
#include <OpenImageIO/filesystem.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "effect/pixel_convert.h"
#include "cli/image_io_detail.h"
#include "cli/stop_signal.h"

#ifdef _WIN32
#include <process.h>
#define CORVALIN_GETPID _getpid
#define CORVALIN_NEW_FILE "wb"
#else
#include <unistd.h>
#define CORVALIN_GETPID getpid
#define CORVALIN_NEW_FILE "wbx"  // fails with EEXIST where the name is taken
#endif

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

const char* SampleKindName(SampleKind k) {
  switch (k) {
    case SampleKind::uint8: return "8-bit";
    case SampleKind::uint16: return "16-bit";
    case SampleKind::half: return "half float";
    case SampleKind::float32: return "32-bit float";
  }
  return "?";
}

// ---------------------------------------------------------------- reading

FrameReader::FrameReader(const std::string& path) : path_(path) {
  detail::OpenedInput opened = detail::OpenInput(path);
  input_ = std::move(opened.input);
  header_ = opened.header;
}

FrameReader::~FrameReader() = default;

namespace {

template <class Sample>
constexpr Sample OpaqueSample() {
  if constexpr (std::is_same_v<Sample, float>) {
    return 1.0f;
  } else {
    return std::numeric_limits<Sample>::max();
  }
}

template <class Pixel, class Sample>
auto ToChannel(Sample v) {
  using T = decltype(Pixel{}.red);
  if constexpr (std::is_same_v<Sample, float>) {
    static_assert(std::is_same_v<Pixel, PF_Pixel16>, "float files render at 16 bits");
    return static_cast<T>(FloatToChannel16(v));
  } else {
    return static_cast<T>(SampleConvert<Pixel>::FromFile(v, sizeof(Sample) == 2 ? 16 : 8));
  }
}

// One band of file pixels (`channels` samples each, packed, rows `srcRowBytes`
// apart) into render pixels. Source and destination may be the same memory
// when the two pixels have the same size: each pixel is read before it is
// written.
template <class Pixel, class Sample, int Channels>
void ConvertBandIn(const std::byte* src, std::ptrdiff_t srcRowBytes, Pixel* dst,
                   size_t dstStride, int32_t width, int32_t rows) {
  constexpr Sample opaque = OpaqueSample<Sample>();
  for (int32_t y = 0; y < rows; ++y) {
    const std::byte* s = src + y * srcRowBytes;
    Pixel* d = dst + static_cast<size_t>(y) * dstStride;
    for (int32_t x = 0; x < width; ++x) {
      Sample v[4];
      std::memcpy(v, s + static_cast<size_t>(x) * Channels * sizeof(Sample), Channels * sizeof(Sample));
      Pixel p;
      if constexpr (Channels < 3) {
        p.red = p.green = p.blue = ToChannel<Pixel>(v[0]);
        p.alpha = ToChannel<Pixel>(Channels == 2 ? v[1] : opaque);
      } else {
        p.red = ToChannel<Pixel>(v[0]);
        p.green = ToChannel<Pixel>(v[1]);
        p.blue = ToChannel<Pixel>(v[2]);
        p.alpha = ToChannel<Pixel>(Channels == 4 ? v[3] : opaque);
      }
      d[x] = p;
    }
  }
}

template <class Pixel, class Sample>
void ConvertBandIn(int channels, const std::byte* src, std::ptrdiff_t srcRowBytes, Pixel* dst,
                   size_t dstStride, int32_t width, int32_t rows) {
  switch (channels) {
    case 1: return ConvertBandIn<Pixel, Sample, 1>(src, srcRowBytes, dst, dstStride, width, rows);
    case 2: return ConvertBandIn<Pixel, Sample, 2>(src, srcRowBytes, dst, dstStride, width, rows);
    case 3: return ConvertBandIn<Pixel, Sample, 3>(src, srcRowBytes, dst, dstStride, width, rows);
    default: return ConvertBandIn<Pixel, Sample, 4>(src, srcRowBytes, dst, dstStride, width, rows);
  }
}

OIIO::TypeDesc ReadType(SampleKind kind) {
  switch (kind) {
    case SampleKind::uint8: return OIIO::TypeDesc::UINT8;
    case SampleKind::uint16: return OIIO::TypeDesc::UINT16;
    default: return OIIO::TypeDesc::FLOAT;  // half widens to float exactly
  }
}

}  // namespace

template <class Pixel>
void FrameReader::ReadInto(minihost::HostWorld<Pixel>& world, std::vector<std::byte>& scratch,
                           StageTimes* times) {
  const FrameHeader& h = header_;
  if (world.width() != h.width || world.height() != h.height) {
    throw CliError(path_ + ": the frame does not fit the render world");
  }
  if constexpr (std::is_same_v<Pixel, PF_Pixel8>) {
    if (IsFloat(h.kind)) throw CliError(path_ + ": float files render at 16 bits");
  }
  const OIIO::ImageSpec& layout = input_->spec();
  const int channels = std::min(h.channels, 4);
  const OIIO::TypeDesc type = ReadType(h.kind);
  const size_t filePixelBytes = static_cast<size_t>(channels) * type.size();
  // An RGBA file at the render depth decodes into the world itself.
  const bool inPlace = !IsFloat(h.kind) && filePixelBytes == sizeof(Pixel);
  const size_t stride = static_cast<size_t>(world.stride());
  const size_t width = static_cast<size_t>(h.width);

  // Tiled files are read a row of tiles at a time.
  const int32_t tileRows = layout.tile_width > 0 ? std::max(1, layout.tile_height) : 1;
  const int32_t bandRows = (kBandRows + tileRows - 1) / tileRows * tileRows;
  const std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(
      inPlace ? stride * sizeof(Pixel) : width * filePixelBytes);
  if (!inPlace) {
    const size_t need = static_cast<size_t>(bandRows) * width * filePixelBytes;
    if (scratch.size() < need) scratch.resize(need);
  }

  for (int32_t y0 = 0; y0 < h.height; y0 += bandRows) {
    ThrowIfStopRequested();
    const int32_t y1 = std::min(h.height, y0 + bandRows);
    Pixel* rows = world.pixels() + static_cast<size_t>(y0) * stride;
    std::byte* target = inPlace ? reinterpret_cast<std::byte*>(rows) : scratch.data();
    {
      StageTimer timer(times, Stage::decode);
      const bool ok =
          layout.tile_width > 0
              ? input_->read_tiles(0, 0, layout.x, layout.x + h.width, layout.y + y0, layout.y + y1,
                                   layout.z, layout.z + 1, 0, channels, type, target,
                                   static_cast<OIIO::stride_t>(filePixelBytes), rowBytes)
              : input_->read_scanlines(0, 0, layout.y + y0, layout.y + y1, layout.z, 0, channels, type,
                                       target, static_cast<OIIO::stride_t>(filePixelBytes),
                                       rowBytes);
      if (!ok) throw CliError("cannot read " + path_ + ": " + detail::OneLine(input_->geterror()));
    }
    StageTimer timer(times, Stage::convertIn);
    switch (h.kind) {
      case SampleKind::uint8:
        ConvertBandIn<Pixel, uint8_t>(channels, target, rowBytes, rows, stride, h.width, y1 - y0);
        break;
      case SampleKind::uint16:
        ConvertBandIn<Pixel, uint16_t>(channels, target, rowBytes, rows, stride, h.width, y1 - y0);
        break;
      default:
        if constexpr (std::is_same_v<Pixel, PF_Pixel16>) {
          ConvertBandIn<Pixel, float>(channels, target, rowBytes, rows, stride, h.width, y1 - y0);
        }
        break;
    }
  }
}

template void FrameReader::ReadInto<PF_Pixel8>(minihost::HostWorld<PF_Pixel8>&,
                                               std::vector<std::byte>&, StageTimes*);
template void FrameReader::ReadInto<PF_Pixel16>(minihost::HostWorld<PF_Pixel16>&,
                                                std::vector<std::byte>&, StageTimes*);

// ---------------------------------------------------------------- compression

namespace {

struct CompressionSet {
  FileFormat format;
  const char* defaultValue;
  std::vector<const char*> names;  // empty: a deflate level 0 to 9
  const char* choices;
};

// The defaults come from measurements on cel frames (README, "Output
// compression"): the fastest setting of each format that compresses.
const CompressionSet kCompression[] = {
    {FileFormat::png, "2", {}, "0 to 9 (deflate level; 0 stores)"},
    {FileFormat::tiff, "lzw", {"none", "lzw", "deflate"}, "none, lzw or deflate"},
    {FileFormat::tga, "rle", {"none", "rle"}, "none or rle"},
    {FileFormat::exr, "rle", {"none", "rle", "zip", "zips", "piz"}, "none, rle, zip, zips or piz"},
};

const CompressionSet& SetOf(FileFormat format) {
  for (const CompressionSet& s : kCompression)
    if (s.format == format) return s;
  return kCompression[0];
}

}  // namespace

std::string CheckCompression(FileFormat format, const std::string& value) {
  const CompressionSet& set = SetOf(format);
  if (set.names.empty()) {
    if (value.size() == 1 && value[0] >= '0' && value[0] <= '9') return value;
  } else {
    for (const char* name : set.names)
      if (value == name) return value;
  }
  throw CliError("--compression " + value + " does not apply to " + FormatName(format) +
                 " output; use " + set.choices);
}

const char* DefaultCompression(FileFormat format) { return SetOf(format).defaultValue; }
std::string CompressionChoices(FileFormat format) { return SetOf(format).choices; }

namespace {

void ApplyCompression(OIIO::ImageSpec& layout, FileFormat format, const std::string& chosen) {
  const std::string value = chosen.empty() ? DefaultCompression(format) : chosen;
  switch (format) {
    case FileFormat::png:
      layout.attribute("png:compressionLevel", value[0] - '0');
      // Rows unfiltered: flat cel frames compress as well as with the
      // adaptive filters, at a fraction of the time.
      layout.attribute("png:filter", 8);  // PNG_FILTER_NONE
      break;
    case FileFormat::tiff: layout.attribute("compression", value == "deflate" ? "zip" : value); break;
    case FileFormat::tga:
    case FileFormat::exr: layout.attribute("compression", value); break;
  }
}

OIIO::TypeDesc FileType(SampleKind kind) {
  switch (kind) {
    case SampleKind::uint8: return OIIO::TypeDesc::UINT8;
    case SampleKind::uint16: return OIIO::TypeDesc::UINT16;
    case SampleKind::half: return OIIO::TypeDesc::HALF;
    case SampleKind::float32: return OIIO::TypeDesc::FLOAT;
  }
  return OIIO::TypeDesc::UINT8;
}

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

}  // namespace

// ---------------------------------------------------------------- writing

struct FrameWriter::State {
  std::string path;
  fs::path temp;
  std::unique_ptr<TempFileRegistration> registration;
  FILE* file = nullptr;
  std::unique_ptr<CheckedFile> proxy;
  std::unique_ptr<OIIO::ImageOutput> output;
  OIIO::TypeDesc type;
  bool finished = false;

  // Drops the output and the temporary file. The writer's own close is
  // skipped where possible: its file is thrown away anyway.
  void Discard() {
    output.reset();
    proxy.reset();
    if (file != nullptr) std::fclose(file);
    file = nullptr;
    std::error_code ignored;
    if (!temp.empty()) fs::remove(temp, ignored);
    registration.reset();
  }
};

FrameWriter::FrameWriter(const std::string& path, int32_t width, int32_t height,
                         const OutputLayout& layout)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.path = path;
  const fs::path target(path);
  const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    throw CliError("cannot write " + path + ": the folder " + folder.string() + " does not exist");
  }
  // A hidden name beside the target, unique across threads and processes,
  // keeping the extension so that the writer picks the same format. It is
  // created only where nothing has the name: on a farm, a task on another
  // node may have the same process id and write the same frame, and a killed
  // task leaves its temporaries behind. Such a name is passed over.
  static std::atomic<uint64_t> counter{0};
  for (int tries = 0;; ++tries) {
    s.temp = folder / ("." + target.filename().string() + ".tmp" + std::to_string(CORVALIN_GETPID()) +
                       "-" + std::to_string(counter++) + target.extension().string());
    s.registration = std::make_unique<TempFileRegistration>(s.temp.string());
    s.file = std::fopen(s.temp.string().c_str(), CORVALIN_NEW_FILE);
    if (s.file != nullptr) break;
    const int error = errno;
    s.registration.reset();
    s.temp.clear();  // not ours: never removed
    if (error != EEXIST || tries == 100) Fail(std::strerror(error));
  }
  s.proxy = std::make_unique<CheckedFile>(s.file);

  s.type = FileType(layout.kind);
  OIIO::ImageSpec fileLayout(width, height, 4, s.type);
  fileLayout.alpha_channel = 3;
  fileLayout.attribute("oiio:UnassociatedAlpha", 1);
  ApplyCompression(fileLayout, layout.format, layout.compression);
  s.output = OIIO::ImageOutput::create(s.temp.string());
  if (!s.output) Fail(detail::OiioError("no writer for this format"));
  if (!s.output->set_ioproxy(s.proxy.get())) Fail(detail::OneLine(s.output->geterror()));
  if (!s.output->open(s.temp.string(), fileLayout)) Fail(detail::OneLine(s.output->geterror()));
}

FrameWriter::~FrameWriter() {
  if (!state_->finished) state_->Discard();
}

void FrameWriter::Fail(const std::string& reason) {
  state_->Discard();
  throw CliError("cannot write " + state_->path + ": " + reason);
}

void FrameWriter::WriteRows(int32_t y0, int32_t y1, const void* data, std::ptrdiff_t rowBytes) {
  State& s = *state_;
  if (!s.output->write_scanlines(y0, y1, 0, s.type, data, OIIO::AutoStride, rowBytes)) {
    Fail(detail::OneLine(s.output->geterror()));
  }
  if (s.proxy->failure() != 0) Fail(std::strerror(s.proxy->failure()));
}

void FrameWriter::Finish() {
  State& s = *state_;
  const bool closed = s.output->close();
  const std::string closeError = closed ? std::string() : detail::OneLine(s.output->geterror());
  s.output.reset();
  int failure = s.proxy->failure();
  s.proxy.reset();
  if (std::fflush(s.file) != 0 && failure == 0) failure = errno;
  if (std::ferror(s.file) && failure == 0) failure = EIO;
  if (std::fclose(s.file) != 0 && failure == 0) failure = errno;
  s.file = nullptr;
  if (failure != 0) Fail(std::strerror(failure));
  if (!closed) Fail(closeError);
  std::error_code ec;
  fs::rename(s.temp, fs::path(s.path), ec);
  if (ec) Fail(ec.message());
  s.finished = true;
  s.registration.reset();
}

namespace {

// A 16-bit render pixel as RGBA file samples of the output's integer type.
template <class Pixel>
void ConvertBandOutInPlace(Pixel* rows, size_t stride, int32_t width, int32_t count) {
  using T = decltype(Pixel{}.red);
  for (int32_t y = 0; y < count; ++y) {
    Pixel* row = rows + static_cast<size_t>(y) * stride;
    for (int32_t x = 0; x < width; ++x) {
      const Pixel p = row[x];
      const T rgba[4] = {static_cast<T>(SampleConvert<Pixel>::ToFile(p.red)),
                         static_cast<T>(SampleConvert<Pixel>::ToFile(p.green)),
                         static_cast<T>(SampleConvert<Pixel>::ToFile(p.blue)),
                         static_cast<T>(SampleConvert<Pixel>::ToFile(p.alpha))};
      std::memcpy(&row[x], rgba, sizeof rgba);
    }
  }
}

template <class Out>
Out FloatSample(uint16_t v) {
  if constexpr (std::is_same_v<Out, float>) {
    return Channel16ToFloat(v);
  } else {
    return Imath::half(Channel16ToFloat(v)).bits();
  }
}

template <class Out>
void ConvertBandOutFloat(const PF_Pixel16* rows, size_t stride, int32_t width, int32_t count,
                         Out* band) {
  for (int32_t y = 0; y < count; ++y) {
    const PF_Pixel16* row = rows + static_cast<size_t>(y) * stride;
    Out* d = band + static_cast<size_t>(y) * static_cast<size_t>(width) * 4;
    for (int32_t x = 0; x < width; ++x, d += 4) {
      d[0] = FloatSample<Out>(row[x].red);
      d[1] = FloatSample<Out>(row[x].green);
      d[2] = FloatSample<Out>(row[x].blue);
      d[3] = FloatSample<Out>(row[x].alpha);
    }
  }
}

}  // namespace

template <class Pixel>
void WriteWorld(const std::string& path, minihost::HostWorld<Pixel>& world,
                const OutputLayout& layout, std::vector<std::byte>& scratch, StageTimes* times) {
  const int32_t width = world.width(), height = world.height();
  const size_t stride = static_cast<size_t>(world.stride());
  const bool floatOut = IsFloat(layout.kind);
  if constexpr (std::is_same_v<Pixel, PF_Pixel8>) {
    if (floatOut || layout.kind == SampleKind::uint16) {
      throw CliError("cannot write " + path + ": an 8-bit render holds 8-bit samples");
    }
  } else {
    if (layout.kind == SampleKind::uint8) {
      throw CliError("cannot write " + path + ": a 16-bit render needs 16-bit or float samples");
    }
  }
  std::unique_ptr<FrameWriter> writer;
  {
    StageTimer timer(times, Stage::encode);
    writer = std::make_unique<FrameWriter>(path, width, height, layout);
  }
  const size_t sampleBytes = layout.kind == SampleKind::float32 ? 4 : 2;
  if (floatOut) {
    const size_t need = static_cast<size_t>(kBandRows) * static_cast<size_t>(width) * 4 * sampleBytes;
    if (scratch.size() < need) scratch.resize(need);
  }
  for (int32_t y0 = 0; y0 < height; y0 += kBandRows) {
    ThrowIfStopRequested();
    const int32_t y1 = std::min(height, y0 + kBandRows);
    Pixel* rows = world.pixels() + static_cast<size_t>(y0) * stride;
    const void* band = rows;
    std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(stride * sizeof(Pixel));
    {
      StageTimer timer(times, Stage::convertOut);
      if constexpr (std::is_same_v<Pixel, PF_Pixel16>) {
        if (layout.kind == SampleKind::float32) {
          ConvertBandOutFloat(rows, stride, width, y1 - y0, reinterpret_cast<float*>(scratch.data()));
        } else if (layout.kind == SampleKind::half) {
          ConvertBandOutFloat(rows, stride, width, y1 - y0, reinterpret_cast<uint16_t*>(scratch.data()));
        } else {
          ConvertBandOutInPlace(rows, stride, width, y1 - y0);
        }
      } else {
        ConvertBandOutInPlace(rows, stride, width, y1 - y0);
      }
      if (floatOut) {
        band = scratch.data();
        rowBytes = static_cast<std::ptrdiff_t>(static_cast<size_t>(width) * 4 * sampleBytes);
      }
    }
    StageTimer timer(times, Stage::encode);
    writer->WriteRows(y0, y1, band, rowBytes);
  }
  StageTimer timer(times, Stage::encode);
  writer->Finish();
}

template void WriteWorld<PF_Pixel8>(const std::string&, minihost::HostWorld<PF_Pixel8>&,
                                    const OutputLayout&, std::vector<std::byte>&, StageTimes*);
template void WriteWorld<PF_Pixel16>(const std::string&, minihost::HostWorld<PF_Pixel16>&,
                                     const OutputLayout&, std::vector<std::byte>&, StageTimes*);

}  // namespace corvalin::cli
