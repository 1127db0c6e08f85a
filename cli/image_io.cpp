#include "cli/image_io.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#define CORVALIN_GETPID _getpid
#else
#include <csignal>
#include <unistd.h>
#define CORVALIN_GETPID getpid
#endif

namespace corvalin::cli {

namespace fs = std::filesystem;

namespace {

// One line from OIIO's messages, which may hold several: "a\nb\n" -> "a; b".
std::string OneLine(std::string message) {
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  for (size_t at = message.find('\n'); at != std::string::npos; at = message.find('\n', at)) {
    message.replace(at, 1, "; ");
  }
  return message;
}

// OIIO keeps errors per thread until asked; asking also clears them.
std::string OiioError(const std::string& fallback) {
  const std::string message = OneLine(OIIO::geterror());
  return message.empty() ? fallback : message;
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string SampleTypeName(OIIO::TypeDesc t) {
  if (t.basetype == OIIO::TypeDesc::FLOAT) return "32-bit float";
  if (t.basetype == OIIO::TypeDesc::HALF) return "16-bit float";
  if (t.basetype == OIIO::TypeDesc::DOUBLE) return "64-bit float";
  return std::string(t.c_str());
}

void CheckSampleType(const std::string& path, OIIO::TypeDesc t) {
  if (t == OIIO::TypeDesc::UINT8 || t == OIIO::TypeDesc::UINT16) return;
  throw CliError(path + ": " + SampleTypeName(t) +
                 " samples are not supported; use a file of 8 or 16 bits per channel "
                 "(unsigned integer)");
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

// Temporary files being written, for removal when the process is stopped by
// a signal: a farm that preempts a job must not leave them behind. Fixed
// slots, because a signal handler may neither allocate nor lock.
struct TempSlot {
  std::atomic<bool> claimed{false}, ready{false};
  char path[4096];
};
TempSlot tempSlots[512];

class TempRegistration {
 public:
  explicit TempRegistration(const std::string& path) {
    if (path.size() >= sizeof(TempSlot::path)) return;
    for (TempSlot& s : tempSlots) {
      bool expected = false;
      if (s.claimed.compare_exchange_strong(expected, true)) {
        std::memcpy(s.path, path.c_str(), path.size() + 1);
        s.ready = true;
        slot_ = &s;
        return;
      }
    }
  }
  ~TempRegistration() {
    if (slot_ == nullptr) return;
    slot_->ready = false;
    slot_->claimed = false;
  }
  TempRegistration(const TempRegistration&) = delete;
  TempRegistration& operator=(const TempRegistration&) = delete;

 private:
  TempSlot* slot_ = nullptr;
};

#ifndef _WIN32
void RemoveTempFilesAndExit(int signal) {
  for (TempSlot& s : tempSlots) {
    if (s.ready.load()) ::unlink(s.path);
  }
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}
#endif

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

void RemoveTempFilesOnSignals() {
#ifndef _WIN32
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, RemoveTempFilesAndExit);
#endif
}

Image ReadImage(const std::string& path, const HeaderCheck& check) {
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
  auto input = OIIO::ImageInput::open(path, &config);
  if (!input) {
    const std::string reason = OiioError("not an image in a format this build can read");
    const std::string size = PngSizeProblem(path);
    throw CliError("cannot read " + path + ": " + (size.empty() ? reason : size));
  }
  const OIIO::ImageSpec& header = input->spec();
  CheckSampleType(path, header.format);
  for (const OIIO::TypeDesc& t : header.channelformats) CheckSampleType(path, t);

  const int channels = header.nchannels;
  if (channels < 1) throw CliError("cannot read " + path + ": the image has no channels");
  if (header.width < 1 || header.height < 1) {
    throw CliError("cannot read " + path + ": the image is empty (" + std::to_string(header.width) +
                   " x " + std::to_string(header.height) + ")");
  }
  if (static_cast<int64_t>(header.width) * header.height > kMaxFramePixels) {
    throw CliError(path + ": " + std::to_string(header.width) + " x " +
                   std::to_string(header.height) + " pixels is more than the limit of " +
                   std::to_string(kMaxFramePixels) + " pixels per frame");
  }

  Image image;
  image.width = header.width;
  image.height = header.height;
  image.bits = header.format == OIIO::TypeDesc::UINT16 ? 16 : 8;
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
    if (!input->read_image(0, 0, 0, channels, OIIO::TypeDesc::UINT16, raw.get())) {
      throw CliError("cannot read " + path + ": " + OneLine(input->geterror()));
    }
    ExpandToRgba(raw.get(), channels, pixelCount, 65535, image.samples);
  } else {
    const auto raw = std::make_unique_for_overwrite<uint8_t[]>(sampleCount);
    if (!input->read_image(0, 0, 0, channels, OIIO::TypeDesc::UINT8, raw.get())) {
      throw CliError("cannot read " + path + ": " + OneLine(input->geterror()));
    }
    ExpandToRgba(raw.get(), channels, pixelCount, 255, image.samples);
  }
  input->close();
  return image;
}

FileFormat OutputFormat(const std::string& path, int bits) {
  const std::string ext = Lower(fs::path(path).extension().string());
  FileFormat format;
  if (ext == ".png") {
    format = FileFormat::png;
  } else if (ext == ".tif" || ext == ".tiff") {
    format = FileFormat::tiff;
  } else if (ext == ".tga") {
    format = FileFormat::tga;
  } else {
    throw CliError(path + ": unsupported output format '" + ext +
                   "'; use .png, .tif, .tiff or .tga");
  }
  if (format == FileFormat::tga && bits != 8) {
    throw CliError(path + ": TGA holds 8 bits per channel; use --depth 8 or a .png or .tif "
                   "output for 16 bits");
  }
  return format;
}

void WriteImage(const std::string& path, const Image& image) {
  OutputFormat(path, image.bits);
  const fs::path target(path);
  const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    throw CliError("cannot write " + path + ": the folder " + folder.string() + " does not exist");
  }

  // A hidden name beside the target, unique across threads and processes,
  // keeping the extension so the writer picks the same format.
  static std::atomic<uint64_t> counter{0};
  const fs::path temp =
      folder / ("." + target.filename().string() + ".tmp" + std::to_string(CORVALIN_GETPID()) +
                "-" + std::to_string(counter++) + target.extension().string());

  const TempRegistration registration(temp.string());
  auto fail = [&](const std::string& reason) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    throw CliError("cannot write " + path + ": " + reason);
  };

  OIIO::ImageSpec header(image.width, image.height, 4,
                       image.bits == 16 ? OIIO::TypeDesc::UINT16 : OIIO::TypeDesc::UINT8);
  header.alpha_channel = 3;
  header.attribute("oiio:UnassociatedAlpha", 1);

  {
    auto output = OIIO::ImageOutput::create(temp.string());
    if (!output) fail(OiioError("no writer for this format"));
    if (!output->open(temp.string(), header)) fail(OneLine(output->geterror()));
    bool ok;
    if (image.bits == 16) {
      ok = output->write_image(OIIO::TypeDesc::UINT16, image.samples.data());
    } else {
      std::vector<uint8_t> bytes(image.samples.size());
      std::transform(image.samples.begin(), image.samples.end(), bytes.begin(),
                     [](uint16_t v) { return static_cast<uint8_t>(v); });
      ok = output->write_image(OIIO::TypeDesc::UINT8, bytes.data());
    }
    if (!ok) fail(OneLine(output->geterror()));
    if (!output->close()) fail(OneLine(output->geterror()));
  }

  fs::rename(temp, target, ec);
  if (ec) fail(ec.message());
}

}  // namespace corvalin::cli
