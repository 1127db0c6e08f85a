#include "cli/image_io.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

#include "cli/frame_io.h"
#include "cli/image_io_detail.h"

namespace corvalin::cli {

namespace fs = std::filesystem;

namespace detail {

std::string OneLine(std::string message) {
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  for (size_t at = message.find('\n'); at != std::string::npos; at = message.find('\n', at)) {
    message.replace(at, 1, "; ");
  }
  return message;
}

std::string OiioError(const std::string& fallback) {
  const std::string message = OneLine(OIIO::geterror());
  return message.empty() ? fallback : message;
}

}  // namespace detail

namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
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

// libpng refuses a side above its default user limit, or of 0, with only
// "Invalid IHDR data"; the header's own numbers make the message clear.
constexpr uint32_t kPngMaxSide = 1000000;

std::string PngSizeProblem(const std::string& path) {
  unsigned char head[24] = {};
  std::ifstream file(path, std::ios::binary);
  if (!file.read(reinterpret_cast<char*>(head), sizeof head)) return {};
  static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (std::memcmp(head, signature, 8) != 0 || std::memcmp(head + 12, "IHDR", 4) != 0) return {};
  auto be32 = [&](int at) {
    return uint32_t{head[at]} << 24 | uint32_t{head[at + 1]} << 16 | uint32_t{head[at + 2]} << 8 |
           uint32_t{head[at + 3]};
  };
  const uint32_t width = be32(16), height = be32(20);
  if (width >= 1 && width <= kPngMaxSide && height >= 1 && height <= kPngMaxSide) return {};
  return "the PNG header gives " + std::to_string(width) + " x " + std::to_string(height) +
         " pixels; each side must be 1 to " + std::to_string(kPngMaxSide);
}

// Gray gives red = green = blue; a missing alpha is `opaque`.
template <class Sample>
void ExpandToRgba(const Sample* raw, int channels, size_t pixelCount, uint16_t opaque,
                  std::vector<uint16_t>& rgba) {
  rgba.resize(pixelCount * 4);
  for (size_t i = 0; i < pixelCount; ++i) {
    const Sample* s = raw + i * static_cast<size_t>(channels);
    uint16_t* d = &rgba[i * 4];
    if (channels < 3) {
      d[0] = d[1] = d[2] = s[0];
      d[3] = channels == 2 ? s[1] : opaque;
    } else {
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
      d[3] = channels >= 4 ? s[3] : opaque;
    }
  }
}

}  // namespace

namespace detail {

OpenedInput OpenInput(const std::string& path) {
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

  // Keep alpha unassociated: the effect works on the colour as stored.
  OIIO::ImageSpec config;
  config.attribute("oiio:UnassociatedAlpha", 1);
  OpenedInput opened;
  opened.input = OIIO::ImageInput::open(path, &config);
  if (!opened.input) {
    const std::string reason = OiioError("not an image in a format this build can read");
    const std::string size = PngSizeProblem(path);
    throw CliError("cannot read " + path + ": " + (size.empty() ? reason : size));
  }
  const OIIO::ImageSpec& spec = opened.input->spec();
  FrameHeader& h = opened.header;
  h.kind = KindOf(path, spec.format);
  // Channels of several types (an OpenEXR file with half colour and float
  // alpha): all integer ones must agree; float ones are read as float.
  const int used = std::min(spec.nchannels, 4);
  for (int c = 0; c < used && c < static_cast<int>(spec.channelformats.size()); ++c) {
    const SampleKind k = KindOf(path, spec.channelformats[static_cast<size_t>(c)]);
    if (IsFloat(k) && IsFloat(h.kind)) {
      if (k == SampleKind::float32) h.kind = k;
    } else if (k != h.kind) {
      throw CliError(path + ": channels of different sample types (" + SampleKindName(h.kind) +
                     " and " + SampleKindName(k) + ") are not supported");
    }
  }
  h.channels = spec.nchannels;
  if (h.channels < 1) throw CliError("cannot read " + path + ": the image has no channels");
  if (spec.depth > 1) throw CliError("cannot read " + path + ": a volume image, not a frame");
  if (spec.width < 1 || spec.height < 1) {
    throw CliError("cannot read " + path + ": the image is empty (" + std::to_string(spec.width) +
                   " x " + std::to_string(spec.height) + ")");
  }
  if (static_cast<int64_t>(spec.width) * spec.height > kMaxFramePixels) {
    throw CliError(path + ": " + std::to_string(spec.width) + " x " +
                   std::to_string(spec.height) + " pixels is more than the limit of " +
                   std::to_string(kMaxFramePixels) + " pixels per frame");
  }
  h.width = spec.width;
  h.height = spec.height;
  return opened;
}

}  // namespace detail

Image ReadImage(const std::string& path, const HeaderCheck& check) {
  detail::OpenedInput opened = detail::OpenInput(path);
  OIIO::ImageInput& input = *opened.input;
  const FrameHeader& header = opened.header;
  if (IsFloat(header.kind)) {
    throw CliError(path + ": " + std::string(SampleKindName(header.kind)) +
                   " samples are not supported here; the render command reads them");
  }
  const int channels = header.channels;
  Image image;
  image.width = header.width;
  image.height = header.height;
  image.bits = header.kind == SampleKind::uint16 ? 16 : 8;
  if (check) check(image);
  const size_t pixelCount = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
  // Read in the file's own sample type: OIIO's conversions go through float.
  // The buffer is left uninitialised so that only the pages the decoder
  // fills become resident: a short file claiming a huge size fails having
  // touched no more memory than its data covered. It is read only after a
  // successful decode, which has written every sample.
  const size_t sampleCount = pixelCount * static_cast<size_t>(channels);
  if (image.bits == 16) {
    const auto raw = std::make_unique_for_overwrite<uint16_t[]>(sampleCount);
    if (!input.read_image(0, 0, 0, channels, OIIO::TypeDesc::UINT16, raw.get())) {
      throw CliError("cannot read " + path + ": " + detail::OneLine(input.geterror()));
    }
    ExpandToRgba(raw.get(), channels, pixelCount, 65535, image.samples);
  } else {
    const auto raw = std::make_unique_for_overwrite<uint8_t[]>(sampleCount);
    if (!input.read_image(0, 0, 0, channels, OIIO::TypeDesc::UINT8, raw.get())) {
      throw CliError("cannot read " + path + ": " + detail::OneLine(input.geterror()));
    }
    ExpandToRgba(raw.get(), channels, pixelCount, 255, image.samples);
  }
  input.close();
  return image;
}

const char* FormatName(FileFormat format) {
  switch (format) {
    case FileFormat::png: return "PNG";
    case FileFormat::tiff: return "TIFF";
    case FileFormat::tga: return "TGA";
    case FileFormat::exr: return "OpenEXR";
  }
  return "?";
}

FileFormat FormatOfPath(const std::string& path) {
  const std::string ext = Lower(fs::path(path).extension().string());
  if (ext == ".png") return FileFormat::png;
  if (ext == ".tif" || ext == ".tiff") return FileFormat::tiff;
  if (ext == ".tga") return FileFormat::tga;
  if (ext == ".exr") return FileFormat::exr;
  throw CliError(path + ": unsupported output format '" + ext +
                 "'; use .png, .tif, .tiff, .tga or .exr");
}

FileFormat OutputFormat(const std::string& path, int bits) {
  const FileFormat format = FormatOfPath(path);
  if (format == FileFormat::tga && bits != 8) {
    throw CliError(path + ": TGA holds 8 bits per channel; use --depth 8 or a .png, .tif or .exr "
                   "output for 16 bits");
  }
  if (format == FileFormat::exr && bits != 16) {
    throw CliError(path + ": an OpenEXR output holds the 16-bit render as float; leave out "
                   "--depth 8");
  }
  return format;
}

void WriteImage(const std::string& path, const Image& image) {
  OutputLayout layout;
  layout.format = OutputFormat(path, image.bits);
  layout.kind = image.bits == 16 ? SampleKind::uint16 : SampleKind::uint8;
  FrameWriter writer(path, image.width, image.height, layout);
  const size_t rowSamples = static_cast<size_t>(image.width) * 4;
  if (image.bits == 16) {
    writer.WriteRows(0, image.height, image.samples.data(),
                     static_cast<std::ptrdiff_t>(rowSamples * sizeof(uint16_t)));
  } else {
    std::vector<uint8_t> bytes(image.samples.size());
    std::transform(image.samples.begin(), image.samples.end(), bytes.begin(),
                   [](uint16_t v) { return static_cast<uint8_t>(v); });
    writer.WriteRows(0, image.height, bytes.data(), static_cast<std::ptrdiff_t>(rowSamples));
  }
  writer.Finish();
}

}  // namespace corvalin::cli
