// Frames of every format but PNG through OpenImageIO: the module
// corvalin_oiio_codec.so, which the program loads when it first meets such a
// file (cli/oiio_module.cpp).
#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "cli/exr_header.h"
#include "cli/filtered_files.h"
#include "cli/frame_codec.h"
#include "cli/tiff_tags.h"

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

// OpenImageIO's name for the reader of `format`.
const char* ReaderName(FileFormat format) {
  switch (format) {
    case FileFormat::tiff: return "tiff";
    case FileFormat::tga: return "targa";
    case FileFormat::exr: return "openexr";
    case FileFormat::png: break;  // read through libspng
  }
  throw CodecError("no OpenImageIO reader is used for this format");
}

// Refuses `value` outside [lo, hi] with both in the message.
void CheckRange(const std::string& what, int64_t value, int64_t lo, int64_t hi,
                const std::string& why = {}) {
  if (value >= lo && value <= hi) return;
  throw CodecError(what + " " + std::to_string(value) + " is outside the valid range " +
                   std::to_string(lo) + " to " + std::to_string(hi) + why);
}

int64_t RoundUp(int64_t value, int64_t step) { return (value + step - 1) / step * step; }

// A file of several images is not a frame: reading its first alone would
// drop the others unseen.
[[noreturn]] void RefuseImages(int images, int counted, const char* what) {
  throw CodecError(
      "the file holds " +
      (images > counted ? "more than " + std::to_string(counted) : std::to_string(images)) +
      " images (" + what +
      "), and the command reads files of one image; "
      "write each image to a file of its own");
}

// "'comments' (100 MiB), 'preview' (2 MiB) and 3 more".
std::string NameAttributes(const std::vector<ExrAttribute>& attributes, uint64_t count) {
  std::string names;
  const size_t shown = attributes.size();
  for (size_t i = 0; i < shown; ++i) {
    if (i > 0) names += i + 1 == shown && count == shown ? " and " : ", ";
    const uint32_t size = attributes[i].size;
    names += "'" + attributes[i].name + "' (" +
             (size >= (1u << 20) ? std::to_string((size + (1u << 20) - 1) >> 20) + " MiB"
                                 : std::to_string(size) + " bytes") +
             ")";
  }
  if (count > shown) names += " and " + std::to_string(count - shown) + " more";
  return names;
}

class OiioDecoder final : public FrameDecoder {
 public:
  OiioDecoder(const std::string& path, FileFormat format) {
    // Keep alpha unassociated: the effect works on the colour as stored.
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    if (format == FileFormat::exr) ShowExrHeader(path, config);
    if (format == FileFormat::tiff) ShowTiffTags(path, config);
    // This format's reader alone: OpenImageIO would otherwise ask every
    // reader it has whether it knows the file.
    input_ = OIIO::ImageInput::create(ReaderName(format), false, &config);
    if (!input_) throw CodecError(PendingError("this build has no reader for the format"));
    OIIO::ImageSpec opened;
    if (!input_->open(path, opened, config)) {
      const std::string why = OneLine(input_->geterror());  // asking clears it
      throw CodecError(why.empty() ? PendingError("not a readable image") : why);
    }
    if (const int images = ImageCount(opened); images > 1) {
      RefuseImages(images, kMaxImagesCounted, format == FileFormat::exr ? "parts" : "pages");
    }
    // The dimensions, tiles and sample types, without the metadata.
    layout_ = input_->spec_dimensions(0);
    const OIIO::ImageSpec& layout = layout_;
    CheckGeometry(layout);
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
    h.channels = layout.nchannels;
    // OpenEXR colour is premultiplied by definition; a TIFF says so with an
    // associated-alpha extra sample, which the reader reports as an alpha
    // channel not marked unassociated (an unspecified extra sample is no
    // alpha channel to it, and is read as straight alpha, as before).
    if (format == FileFormat::exr || (format == FileFormat::tiff && opened.alpha_channel >= 0 &&
                                      opened.get_int_attribute("oiio:UnassociatedAlpha", 0) == 0)) {
      h.alpha = AlphaConvention::premultiplied;
    }
    h.width = layout.width;
    h.height = layout.height;
    tiled_ = layout.tile_width > 0;
    granule_ = tiled_ ? std::min(layout.tile_height, layout.height) : 1;
    bufferBytes_ = LibraryBuffers(format, opened.get_int_attribute("tiff:RowsPerStrip", 0));
    h.colour = ReadColourTags(opened, h.warnings);
  }

  int32_t rowGranule() const override { return granule_; }
  int64_t bufferBytes() const override { return bufferBytes_; }

  int32_t ReadRows(int32_t y0, int32_t y1, int channels, SampleKind as, std::byte* target,
                   std::ptrdiff_t rowBytes) override {
    const OIIO::ImageSpec& layout = layout_;
    if (y0 < 0 || y1 > header_.height || y0 >= y1)
      throw CodecError("rows out of the image asked for");
    const OIIO::TypeDesc type = TypeOf(as);
    const auto pixelBytes =
        static_cast<OIIO::stride_t>(static_cast<size_t>(channels) * type.size());
    // The origins and sides were checked to keep these sums in range.
    const bool ok = tiled_
                        ? input_->read_tiles(0, 0, layout.x, layout.x + header_.width,
                                             layout.y + y0, layout.y + y1, layout.z, layout.z + 1,
                                             0, channels, type, target, pixelBytes, rowBytes)
                        : input_->read_scanlines(0, 0, layout.y + y0, layout.y + y1, layout.z, 0,
                                                 channels, type, target, pixelBytes, rowBytes);
    // A band is whole only when the reader says so and left no error: its
    // TIFF reader can return success with a failed strip read on record,
    // and the rows it did not read then hold whatever it chose to put there.
    const std::string why = OneLine(input_->geterror());  // asking clears it
    if (!ok || !why.empty()) {
      throw CodecError(why.empty() ? "the image data could not be read" : why);
    }
    return y1 - y0;
  }

 private:
  // A seek may walk the pages from the first one: counting stops here.
  static constexpr int kMaxImagesCounted = 100;
  static_assert(kMaxImagesCounted == kMaxExrPartsCounted);

  // libtiff reads a directory's tags whole: they are sized first, and one
  // past its limit is shown with no value.
  void ShowTiffTags(const std::string& path, OIIO::ImageSpec& config) {
    TiffTagWalk walk = WalkTiffTags(path);
    if (!walk.problem.empty()) throw CodecError(walk.problem);
    header_.metadataBytes = static_cast<int64_t>(walk.keptBytes);
    if (walk.droppedCount == 0) return;
    patched_ = std::make_unique<PatchedFile>(path, std::move(walk.patches));
    OIIO::Filesystem::IOProxy* proxy = patched_.get();
    config.attribute("oiio:ioproxy", OIIO::TypeDesc::PTR, &proxy);
    std::string names;
    for (size_t i = 0; i < walk.dropped.size(); ++i) {
      names += (i == 0                                                                     ? ""
                : i + 1 == walk.dropped.size() && walk.droppedCount == walk.dropped.size() ? " and "
                                                                                           : ", ") +
               walk.dropped[i];
    }
    if (walk.droppedCount > walk.dropped.size()) {
      names += " and " + std::to_string(walk.droppedCount - walk.dropped.size()) + " more";
    }
    header_.warnings.push_back(
        "the TIFF " + names + (walk.droppedCount == 1 ? " is" : " are") +
        " not read: a tag is read up to " + std::to_string(kMaxTiffTagBytes >> 20) +
        " MiB (an ICC profile up to " + std::to_string(kMaxIccProfileBytes >> 20) +
        " MiB), a directory's tags up to " + std::to_string(kMaxTiffTagsBytes >> 20) + " MiB");
  }

  // The library reads a header whole: its parts and attributes are counted
  // and sized first, and what lies beyond the limits is refused (parts, an
  // attribute the pixels need) or left out of the header it is shown.
  void ShowExrHeader(const std::string& path, OIIO::ImageSpec& config) {
    const ExrHeaderWalk walk = WalkExrHeader(path);
    if (!walk.problem.empty()) throw CodecError(walk.problem);
    if (walk.parts > 1) RefuseImages(walk.parts, kMaxExrPartsCounted, "parts");
    header_.metadataBytes = static_cast<int64_t>(walk.keptBytes);
    if (walk.droppedCount == 0) return;
    std::string head = KeptExrHeader(path, walk);
    if (head.empty()) throw CodecError("the OpenEXR header could not be read again");
    shown_ = std::make_unique<ExrShownFile>(path, std::move(head), walk);
    OIIO::Filesystem::IOProxy* proxy = shown_.get();
    config.attribute("oiio:ioproxy", OIIO::TypeDesc::PTR, &proxy);
    const bool one = walk.droppedCount == 1;
    header_.warnings.push_back(
        std::string(one ? "the OpenEXR attribute " : "the OpenEXR attributes ") +
        NameAttributes(walk.dropped, walk.droppedCount) + (one ? " is" : " are") +
        " not read: an attribute is read up to " + std::to_string(kMaxExrAttributeBytes >> 20) +
        " MiB, a header up to " + std::to_string(kMaxExrAttributes) + " attributes and " +
        std::to_string(kMaxExrHeaderBytes >> 20) + " MiB");
  }

  // The images of the open file: what the reader says (OpenEXR parts), or
  // counted by seeking (TIFF pages), up to one more than kMaxImagesCounted.
  int ImageCount(const OIIO::ImageSpec& opened) {
    const int declared = opened.get_int_attribute("oiio:subimages", 0);
    if (declared > 0) return declared;
    int count = 1;
    while (count <= kMaxImagesCounted && input_->seek_subimage(count, 0)) ++count;
    // The failed seek's message would pass for a failed read of the frame;
    // reads name their image, so the position left here does not matter.
    (void)input_->geterror();
    return count;
  }

  // Every number of the layout that reaches an address or a loop, in 64
  // bits, before the reader uses it for pixels.
  static void CheckGeometry(const OIIO::ImageSpec& l) {
    CheckRange("the image's width", l.width, 1, kMaxFileSide);
    CheckRange("the image's height", l.height, 1, kMaxFileSide);
    if (l.depth > 1) throw CodecError("a volume image, not a frame");
    CheckRange("the data window's x origin", l.x, -kMaxFileOrigin, kMaxFileOrigin);
    CheckRange("the data window's y origin", l.y, -kMaxFileOrigin, kMaxFileOrigin);
    CheckRange("the data window's z origin", l.z, -kMaxFileOrigin, kMaxFileOrigin);
    CheckRange("the display window's x origin", l.full_x, -kMaxFileOrigin, kMaxFileOrigin);
    CheckRange("the display window's y origin", l.full_y, -kMaxFileOrigin, kMaxFileOrigin);
    CheckRange("the display window's width", l.full_width, 0, kMaxFileOrigin);
    CheckRange("the display window's height", l.full_height, 0, kMaxFileOrigin);
    CheckRange("the channel count", l.nchannels, 1, kMaxFileChannels);
    // The library holds a tile and a band of tiles: their sides bound that
    // memory, whatever the image's size.
    if (l.tile_width > 0 || l.tile_height > 0) {
      CheckRange("the tile width", l.tile_width, 1, kMaxFileTileSide);
      CheckRange("the tile height", l.tile_height, 1, kMaxFileTileSide);
      CheckRange("the tile depth", l.tile_depth, 0, 1);
    }
  }

  // What OpenImageIO holds while reading: the file's pixels of a tile band,
  // a strip, a compressed chunk or (TGA) the whole image, in the file's own
  // sample type with all its channels, and its conversion of a band.
  int64_t LibraryBuffers(FileFormat format, int64_t rowsPerStrip) const {
    const OIIO::ImageSpec& l = layout_;
    const int64_t pixel = static_cast<int64_t>(l.pixel_bytes(true));
    const int64_t width = l.width, height = l.height;
    const int64_t band = std::min<int64_t>(height, RoundUp(kFileBandRows, granule_));
    if (tiled_) {
      const int64_t tile = int64_t{l.tile_width} * l.tile_height * pixel;
      return tile + band * RoundUp(width, l.tile_width) * pixel * 2;
    }
    if (format == FileFormat::tga) return width * height * pixel + band * width * pixel;
    // OpenEXR chunks hold at most 256 rows (DWAB); a TIFF strip as many as it says.
    const int64_t chunk = format == FileFormat::exr ? 256
                          : rowsPerStrip > 0        ? rowsPerStrip
                                                    : height;
    return (std::min(chunk, height) + band) * width * pixel;
  }

  // What the reader says of colour and resolution, each value checked:
  // one out of range, of another type or too large is dropped.
  static ColourTags ReadColourTags(const OIIO::ImageSpec& header,
                                   std::vector<std::string>& warnings) {
    ColourTags tags;
    if (const OIIO::ParamValue* p =
            header.find_attribute("oiio:ColorSpace", OIIO::TypeDesc::STRING)) {
      const std::string name = p->get_string();
      if (PlausibleColourSpace(name)) {
        tags.colourSpace = name;
      } else {
        warnings.push_back("the colour space name (" + std::to_string(name.size()) +
                           " characters) is not carried: a name is 1 to 64 printable characters");
      }
    }
    const OIIO::ParamValue* x = header.find_attribute("XResolution", OIIO::TypeDesc::FLOAT);
    const OIIO::ParamValue* y = header.find_attribute("YResolution", OIIO::TypeDesc::FLOAT);
    const OIIO::ParamValue* aspect =
        header.find_attribute("PixelAspectRatio", OIIO::TypeDesc::FLOAT);
    if (x != nullptr && y != nullptr) {
      tags.resolution = CheckedResolution(x->get_float(), y->get_float(),
                                          header.get_string_attribute("ResolutionUnit"));
    } else if (aspect != nullptr && aspect->get_float() != 1.0f) {
      // A pixel aspect alone (OpenEXR without a density, TGA): the ratio of
      // the vertical to the horizontal resolution, in no unit.
      tags.resolution = CheckedResolution(1.0, aspect->get_float(), "none");
    }
    if ((x != nullptr && y != nullptr) || (aspect != nullptr && aspect->get_float() != 1.0f)) {
      if (!tags.resolution)
        warnings.push_back("the resolution or pixel aspect is not valid and is not carried");
    }
    if (const OIIO::ParamValue* p = header.find_attribute("ICCProfile")) {
      const size_t bytes = p->type().size() * static_cast<size_t>(std::max(p->nvalues(), 0));
      const auto* data = static_cast<const uint8_t*>(p->data());
      if (p->type().basetype == OIIO::TypeDesc::UINT8 && PlausibleIccProfile(data, bytes)) {
        tags.iccProfile = std::make_shared<const std::vector<uint8_t>>(data, data + bytes);
      } else {
        warnings.push_back("the ICC profile is not carried: it is not a valid profile of at most " +
                           std::to_string(kMaxIccProfileBytes >> 20) + " MiB");
      }
    }
    return tags;
  }

  // The file the library reads, when attributes were left out; it outlives
  // the reader.
  std::unique_ptr<ExrShownFile> shown_;
  std::unique_ptr<PatchedFile> patched_;
  std::unique_ptr<OIIO::ImageInput> input_;
  OIIO::ImageSpec layout_;
  bool tiled_ = false;
  int32_t granule_ = 1;
  int64_t bufferBytes_ = 0;
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

std::unique_ptr<FrameDecoder> OpenDecoderHere(const std::string& path, FileFormat format) {
  return std::make_unique<OiioDecoder>(path, format);
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
