// Frames written through OpenImageIO: TIFF, TGA and OpenEXR, labelled with
// the input's colour tags, into the file the command opened.
#include "cli/oiio_encoder.h"

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "cli/oiio_support.h"

namespace corvalin::cli {

namespace {

using oiio::OneLine;
using oiio::PendingError;
using oiio::TypeOf;

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
  // A seek or flush writes out what stdio holds: on a full disk that is
  // where the failure shows, and libtiff, seeing a seek fail, reports
  // "Maximum TIFF file size exceeded" instead.
  bool seek(int64_t offset) override {
    errno = 0;
    const bool ok = IOFile::seek(offset);
    if (!ok) Record();
    return ok;
  }
  void flush() const override {
    errno = 0;
    if (std::fflush(handle()) != 0) Record();
  }
  int failure() const { return failure_; }

 private:
  void Record() const {
    if (failure_ == 0) failure_ = errno != 0 ? errno : EIO;
  }
  mutable int failure_ = 0;
};

void ApplyCompression(OIIO::ImageSpec& layout, const OutputLayout& output) {
  const std::string& value = output.compression;
  switch (output.format) {
    case FileFormat::png:
      layout.attribute("png:compressionLevel", value[0] - '0');
      layout.attribute("png:filter", 8);  // PNG_FILTER_NONE
      break;
    case FileFormat::tiff:
      layout.attribute("compression", value == "deflate" ? "zip" : value);
      break;
    case FileFormat::tga:
    case FileFormat::exr: layout.attribute("compression", value); break;
  }
}

// OpenImageIO 2.4's OpenEXR writer drops every "oiio:" attribute, so an
// EXR would read back as "Linear" whatever it holds, while its reader takes
// "oiio:ColorSpace" from the header when there is one. The name goes in
// under a stand-in of the same length, which Close() renames in place: no
// byte moves, and a writer that keeps the attribute itself is left alone.
constexpr char kExrColourSpace[] = "oiio:ColorSpace";
constexpr char kExrStandIn[] = "corvalin:colour";
static_assert(sizeof kExrColourSpace == sizeof kExrStandIn);

// The header's attributes end within this: ours are a few hundred bytes.
constexpr size_t kExrHeaderLimit = 64 << 10;

// Where the stand-in's name starts in the header `head` of a scanline file, or 0
// when it is not there or the header already names a colour space.
size_t FindExrStandIn(const std::string& head, const std::string& value) {
  if (head.size() < 8 || head.compare(0, 4, "\x76\x2f\x31\x01") != 0) return 0;
  size_t at = 8, found = 0;
  while (at < head.size() && head[at] != '\0') {
    const size_t nameEnd = head.find('\0', at);
    if (nameEnd == std::string::npos) return 0;
    const size_t typeEnd = head.find('\0', nameEnd + 1);
    if (typeEnd == std::string::npos || typeEnd + 5 > head.size()) return 0;
    uint32_t size = 0;
    for (size_t i = 4; i-- > 0;) size = size << 8 | static_cast<uint8_t>(head[typeEnd + 1 + i]);
    const size_t valueAt = typeEnd + 5;
    if (size > head.size() - valueAt) return 0;
    const std::string name = head.substr(at, nameEnd - at);
    if (name == kExrColourSpace) return 0;
    if (name == kExrStandIn && head.compare(nameEnd + 1, typeEnd - nameEnd - 1, "string") == 0 &&
        head.compare(valueAt, size, value) == 0 && size == value.size()) {
      found = at;
    }
    at = valueAt + size;
  }
  return at < head.size() ? found : 0;
}

// The input's colour space, resolution and profile, as the format holds
// them; names OpenImageIO's writer does not know are ignored by it.
void ApplyColourTags(OIIO::ImageSpec& fileLayout, const OutputLayout& output) {
  const ColourTags& tags = output.colour;
  const std::string space = ColourSpaceName(tags);
  if (!space.empty()) {
    fileLayout.attribute("oiio:ColorSpace", space);
    if (output.format == FileFormat::exr && !IsLinearName(space))
      fileLayout.attribute(kExrStandIn, space);
  }
  if (tags.resolution) {
    const Resolution r = OiioResolutionOf(*tags.resolution);
    fileLayout.attribute("XResolution", static_cast<float>(r.x));
    fileLayout.attribute("YResolution", static_cast<float>(r.y));
    fileLayout.attribute("ResolutionUnit", OiioUnitName(r.unit));
    // The writers take the pixel's shape from this, not from the two
    // resolutions (a TIFF's Y resolution, an OpenEXR's pixelAspectRatio): a
    // pixel's width over its height, which is Y over X.
    fileLayout.attribute("PixelAspectRatio", static_cast<float>(r.y / r.x));
  }
  // OpenEXR has no place for a profile; TGA neither.
  if (tags.iccProfile && output.format == FileFormat::tiff) {
    fileLayout.attribute(
        "ICCProfile",
        OIIO::TypeDesc(OIIO::TypeDesc::UINT8, static_cast<int>(tags.iccProfile->size())),
        tags.iccProfile->data());
  }
}

// The time a file says it was made: SOURCE_DATE_EPOCH where it is set, as
// reproducible builds use it, else none, so that two renders of a frame
// are the same bytes. "" tells the writers to write no time.
std::string WrittenTime() {
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  if (epoch == nullptr || *epoch == '\0') return {};
  char* end = nullptr;
  errno = 0;
  const long long seconds = std::strtoll(epoch, &end, 10);
  if (errno != 0 || *end != '\0' || seconds < 0 || seconds > 253402300799LL) return {};
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm utc{};
  if (gmtime_r(&t, &utc) == nullptr) return {};
  char text[32];
  std::strftime(text, sizeof text, "%Y:%m:%d %H:%M:%S", &utc);
  return text;
}

class OiioEncoder final : public FrameEncoder {
 public:
  OiioEncoder(const std::string& path, FILE* file, int32_t width, int32_t height,
              const OutputLayout& layout)
      : proxy_(std::make_unique<CheckedFile>(file)), file_(file), path_(path),
        type_(TypeOf(layout.kind)) {
    OIIO::ImageSpec fileLayout(width, height, 4, type_);
    fileLayout.alpha_channel = 3;
    if (layout.alpha == AlphaConvention::straight)
      fileLayout.attribute("oiio:UnassociatedAlpha", 1);
    ApplyCompression(fileLayout, layout);
    ApplyColourTags(fileLayout, layout);
    fileLayout.attribute("DateTime", WrittenTime());
    if (const OIIO::ParamValue* p = fileLayout.find_attribute(kExrStandIn))
      exrColourSpace_ = p->get_string();
    output_ = OIIO::ImageOutput::create(path);
    if (!output_) throw CodecError(PendingError("no writer for this format"));
    // OpenImageIO 2.4's TIFF writer reads its directory back after writing
    // the Exif block that holds a colour space, which it cannot do through
    // a proxy (the file comes out without its image directory): such a file
    // is written by its name, and libtiff checks those writes itself.
    const bool exif =
        layout.format == FileFormat::tiff && fileLayout.find_attribute("oiio:ColorSpace");
    if (!exif && !output_->set_ioproxy(proxy_.get()))
      throw CodecError(OneLine(output_->geterror()));
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
    if (!exrColourSpace_.empty()) NameExrColourSpace();
  }

 private:
  // A failed write to the file is the reason, whatever the writer says.
  [[noreturn]] void Fail(const std::string& writerSays) {
    throw CodecError(proxy_->failure() != 0 ? std::strerror(proxy_->failure()) : writerSays);
  }

  // Renames the stand-in written by the library, reading the header back
  // through its own name (the file is open for writing only).
  void NameExrColourSpace() {
    errno = 0;
    if (std::fflush(file_) != 0) throw CodecError(std::strerror(errno != 0 ? errno : EIO));
    std::string head(kExrHeaderLimit, '\0');
    FILE* in = std::fopen(path_.c_str(), "rb");
    if (in == nullptr) throw CodecError(std::strerror(errno));
    head.resize(std::fread(head.data(), 1, head.size(), in));
    std::fclose(in);
    const size_t at = FindExrStandIn(head, exrColourSpace_);
    if (at == 0) return;
    errno = 0;
    if (std::fseek(file_, static_cast<long>(at), SEEK_SET) != 0 ||
        std::fwrite(kExrColourSpace, 1, sizeof kExrColourSpace - 1, file_) !=
            sizeof kExrColourSpace - 1) {
      throw CodecError(std::strerror(errno != 0 ? errno : EIO));
    }
  }

  std::unique_ptr<CheckedFile> proxy_;
  FILE* file_;
  std::string path_;
  std::string exrColourSpace_;  // the stand-in's value, to be renamed
  OIIO::TypeDesc type_;
  std::unique_ptr<OIIO::ImageOutput> output_;
};

}  // namespace

std::unique_ptr<FrameEncoder> OpenOiioEncoder(const std::string& path, FILE* file, int32_t width,
                                              int32_t height, const OutputLayout& layout) {
  return std::make_unique<OiioEncoder>(path, file, width, height, layout);
}

}  // namespace corvalin::cli
