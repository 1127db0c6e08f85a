// The decoding fuzzer: arbitrary bytes through the command's own frame
// reader (cli/frame_io.h), as the command opens a file. The first byte picks
// the file name's extension (.png, .tif, .tga or .exr) and the render depth;
// the rest is the file. A refused file is fine. A frame that decodes is
// decoded a second time, into a world filled with the other byte first
// (0x00, then 0xFF): a pixel the reader did not write differs between the
// two, and aborts.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "cli/frame_io.h"
#include "cli/image_io.h"

namespace {

using namespace corvalin;
using namespace corvalin::cli;

// Larger frames only take memory and time: the fuzzer looks for faults, not
// for the pixel limit, which OpenDecoder checks before any allocation. A
// frame this size is enough for a decoder to stop short of its end.
constexpr int64_t kMaxFuzzPixels = int64_t{1} << 18;

const char* const kExtensions[] = {".png", ".tif", ".tga", ".exr"};

// A folder of this process's own: libFuzzer's -fork and -jobs run several.
// It is removed when the process exits normally; each input's file is
// removed after the input, so only a finding's file is left behind.
char gWorkFolder[] = "/tmp/corvalin_decode_fuzzer.XXXXXX";

const std::string& WorkFolder() {
  static const std::string folder = [] {
    if (mkdtemp(gWorkFolder) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    std::atexit([] { rmdir(gWorkFolder); });
    return std::string(gWorkFolder);
  }();
  return folder;
}

template <class Pixel>
size_t BufferBytes(const FrameBuffer<Pixel>& world) {
  return static_cast<size_t>(world.stride()) * static_cast<size_t>(world.height()) * sizeof(Pixel);
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr || (size > 0 && std::fwrite(data, 1, size, file) != size) ||
      std::fclose(file) != 0) {
    std::perror(path.c_str());
    std::abort();
  }
}

// The frame decoded into a world whose every byte was `fill` before, or
// null when the reader refuses it.
template <class Pixel>
std::unique_ptr<FrameBuffer<Pixel>> Decode(const std::string& path, unsigned char fill) {
  try {
    FrameReader reader(path);
    const FrameHeader& h = reader.header();
    if (int64_t{h.width} * h.height > kMaxFuzzPixels) return nullptr;
    auto world = std::make_unique<FrameBuffer<Pixel>>(h.width, h.height, 0);
    std::memset(static_cast<void*>(world->pixels()), fill, BufferBytes(*world));
    std::vector<std::byte> scratch;
    reader.ReadInto(*world, scratch, reader.header().alpha, nullptr);
    return world;
  } catch (const CliError&) {
    return nullptr;  // refused with a message: what bad input should get
  } catch (const std::exception&) {
    return nullptr;  // the command reports these too, as a failed frame
  }
}

template <class Pixel>
void DecodeTwice(const std::string& path) {
  const auto zeros = Decode<Pixel>(path, 0x00);
  const auto ones = Decode<Pixel>(path, 0xFF);
  if ((zeros == nullptr) != (ones == nullptr)) {
    std::fprintf(stderr, "%s: decoded once and refused once\n", path.c_str());
    std::abort();
  }
  if (zeros != nullptr &&
      (BufferBytes(*zeros) != BufferBytes(*ones) ||
       std::memcmp(zeros->pixels(), ones->pixels(), BufferBytes(*zeros)) != 0)) {
    std::fprintf(stderr, "%s: the two decodes differ: a pixel was not written\n", path.c_str());
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t control = data[0];
  const std::string path = WorkFolder() + "/frame" + kExtensions[control % 4];
  WriteFile(path, data + 1, size - 1);
  // Float files render at 16 bits only: the 8-bit reader refuses them, as
  // the command never asks it to.
  if ((control & 4) != 0) {
    DecodeTwice<PF_Pixel16>(path);
  } else {
    DecodeTwice<PF_Pixel8>(path);
  }
  std::remove(path.c_str());
  return 0;
}
