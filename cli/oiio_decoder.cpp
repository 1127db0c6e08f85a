// Frames read through OpenImageIO: TIFF, TGA and OpenEXR, their metadata
// sized and filtered before the library sees it.
#include "cli/oiio_decoder.h"

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "cli/exr_header.h"
#include "cli/filtered_files.h"
#include "cli/oiio_support.h"
#include "cli/tiff_tags.h"

namespace corvalin::cli {

namespace {

using oiio::KindOf;
using oiio::OneLine;
using oiio::PendingError;
using oiio::TypeOf;

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

}  // namespace

std::unique_ptr<FrameDecoder> OpenOiioDecoder(const std::string& path, FileFormat format) {
  return std::make_unique<OiioDecoder>(path, format);
}

}  // namespace corvalin::cli
