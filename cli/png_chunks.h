// The stream between a PNG file and libspng. It hands libspng only the
// chunks the pixels need (IHDR, PLTE, tRNS, the image data, IEND and every
// critical chunk, which libspng judges) and the small colour chunks the
// output carries (sRGB, gAMA, cHRM, pHYs), each once and of its standard
// length. Everything else is passed over unread: text, time stamps,
// unknown ancillary chunks, whatever their number or size, so no metadata
// costs memory or refuses a frame. The iCCP profile is kept aside, at most
// kMaxIccpChunkBytes of it, and inflated here within kMaxIccProfileBytes.
// An acTL chunk before the image data (an animated PNG) is recorded so that
// the decoder can refuse the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

struct spng_ctx;

namespace corvalin::cli {

// A compressed iCCP chunk larger than this is passed over: real ones are a
// few kilobytes.
inline constexpr uint32_t kMaxIccpChunkBytes = uint32_t{16} << 20;

// An acTL chunk as read: the frames the animation declares.
struct PngAnimation {
  uint32_t frames = 0;
  bool defaultImageIsFrame = false;  // an fcTL came before the image data
};

class PngChunkStream {
 public:
  explicit PngChunkStream(FILE* file) : file_(file) {}

  // libspng's read callback (spng_rw_fn), `user` being this stream: fills
  // `length` bytes of the filtered stream or says why it cannot.
  static int Read(spng_ctx* ctx, void* user, void* dest, size_t length);

  // Known once libspng has read up to the image data.
  const std::optional<PngAnimation>& animation() const { return animation_; }
  // The iCCP chunk's data (name, method, compressed profile), CRC checked,
  // handed over once: it is not kept beside the profile made from it.
  std::vector<uint8_t> TakeIccpChunk() { return std::move(iccp_); }
  // " (in the IDAT chunk)": the chunk libspng was last handed, for its
  // messages; "" before the first.
  std::string Where() const {
    return chunk_.empty() ? std::string() : " (in the " + chunk_ + " chunk)";
  }
  // What was passed over that a user may miss, one line each.
  const std::vector<std::string>& warnings() const { return warnings_; }

 private:
  // Reads the next chunk's header and settles its fate: handed on (queued
  // in `pending_`, its data streamed after it) or passed over. Returns a
  // libspng code: 0, SPNG_IO_EOF or SPNG_IO_ERROR.
  int NextChunk();
  // Reads a chunk's data and CRC; false (with a warning) when they are cut
  // short or the CRC does not match.
  bool ReadData(uint32_t length, const std::string& type, std::vector<uint8_t>& data);
  int Skip(uint64_t bytes);
  void Warn(std::string message) { warnings_.push_back(std::move(message)); }

  FILE* file_;
  bool signatureDone_ = false;
  bool afterImageData_ = false;
  // Bytes of the current chunk (header, data, CRC) still to hand on.
  std::vector<uint8_t> pending_;
  size_t pendingAt_ = 0;
  uint64_t passRemaining_ = 0;  // data and CRC of a passed chunk, read from the file
  uint32_t seen_ = 0;           // bit per carried colour chunk already passed
  std::string chunk_;           // the type of the chunk handed on last
  std::optional<PngAnimation> animation_;
  bool frameControlSeen_ = false;
  std::vector<uint8_t> iccp_;
  bool iccpSeen_ = false;
  std::vector<std::string> warnings_;
};

// The profile of an iCCP chunk's data: its name and the inflated profile,
// or a reason it is dropped ("it inflates past 16 MiB").
struct IccpProfile {
  std::string name;         // empty where the chunk's is no PNG keyword
  std::string nameProblem;  // why the chunk's name is not kept, or empty
  std::vector<uint8_t> profile;
  std::string problem;  // empty when `profile` holds the profile
};
IccpProfile InflateIccp(const std::vector<uint8_t>& chunk);

}  // namespace corvalin::cli
