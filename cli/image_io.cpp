#include "cli/image_io.h"

#include <algorithm>
#include <memory>

#include "cli/frame_codec.h"
#include "cli/frame_io.h"

namespace corvalin::cli {

namespace {

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

Image ReadImage(const std::string& path, const HeaderCheck& check) {
  const std::unique_ptr<FrameDecoder> decoder = OpenDecoder(path);
  const FrameHeader& header = decoder->header();
  if (IsFloat(header.kind)) {
    throw CliError(path + ": " + std::string(SampleKindName(header.kind)) +
                   " samples are not supported here; the render command reads them");
  }
  const int channels = std::min(header.channels, 4);
  Image image;
  image.width = header.width;
  image.height = header.height;
  image.bits = header.kind == SampleKind::uint16 ? 16 : 8;
  if (check) check(image);
  const size_t pixelCount = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
  // Read in the file's own sample type. The buffer is left uninitialised so
  // that only the pages the decoder fills become resident: a short file
  // claiming a huge size fails having touched no more memory than its data
  // covered. It is read only after a successful decode, which has written
  // every sample.
  const size_t sampleCount = pixelCount * static_cast<size_t>(channels);
  const size_t sampleBytes = image.bits == 16 ? 2 : 1;
  const auto raw = std::make_unique_for_overwrite<std::byte[]>(sampleCount * sampleBytes);
  try {
    const int32_t rows =
        decoder->ReadRows(0, image.height, channels, header.kind, raw.get(),
                          static_cast<std::ptrdiff_t>(static_cast<size_t>(image.width) *
                                                      static_cast<size_t>(channels) * sampleBytes));
    if (rows != image.height) {
      throw CodecError("the decoder delivered " + std::to_string(rows) + " of the image's " +
                       std::to_string(image.height) + " rows");
    }
  } catch (const CodecError& e) {
    throw CliError("cannot read " + path + ": " + e.what());
  }
  if (image.bits == 16) {
    ExpandToRgba(reinterpret_cast<const uint16_t*>(raw.get()), channels, pixelCount, 65535,
                 image.samples);
  } else {
    ExpandToRgba(reinterpret_cast<const uint8_t*>(raw.get()), channels, pixelCount, 255,
                 image.samples);
  }
  return image;
}

void WriteImage(const std::string& path, const Image& image) {
  OutputLayout layout;
  layout.format = FormatOfPath(path);
  // Only checked: the image's own integer samples are written, which the
  // writer of a float format converts.
  PlanSamples(path, layout.format, SampleRequest{image.bits, std::nullopt, std::nullopt});
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
