#include "cli/png_chunks.h"

#include <spng.h>
#include <sys/types.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "cli/colour_tags.h"

namespace corvalin::cli {

namespace {

constexpr uint32_t kMaxChunkLength = 0x7fffffffu;  // PNG's limit of a chunk's length

uint32_t Be32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

// The colour chunks carried to the output: their standard lengths, one bit
// each for "already passed".
struct CarriedChunk {
  const char* type;
  uint32_t length;
};
constexpr std::array<CarriedChunk, 4> kCarried{
    {{"sRGB", 1}, {"gAMA", 4}, {"cHRM", 32}, {"pHYs", 9}}};

std::string MiB(uint64_t bytes) { return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MiB"; }

// Why the value of a carried chunk is not kept, or "".
std::string ValueProblem(const std::string& type, const std::vector<uint8_t>& data) {
  if (type == "sRGB") {
    return data[0] <= 3 ? std::string()
                        : "its rendering intent " + std::to_string(data[0]) + " is not 0 to 3";
  }
  if (type == "gAMA") return GammaProblem(Be32(data.data()));
  if (type == "cHRM") {
    std::array<uint32_t, 8> values{};
    for (size_t i = 0; i < values.size(); ++i) values[i] = Be32(data.data() + 4 * i);
    return ChromaticitiesProblem(values);
  }
  // pHYs
  const PngPhys phys{Be32(data.data()), Be32(data.data() + 4), data[8]};
  if (phys.unit > 1) return "its unit " + std::to_string(phys.unit) + " is not 0 or 1";
  if (!ResolutionOfPhys(phys)) return "its pixels per unit are not 1 to 2147483647";
  return {};
}

}  // namespace

int PngChunkStream::Read(spng_ctx*, void* user, void* dest, size_t length) {
  auto& self = *static_cast<PngChunkStream*>(user);
  auto* out = static_cast<uint8_t*>(dest);
  while (length > 0) {
    if (!self.signatureDone_) {
      self.pending_.resize(8);
      if (std::fread(self.pending_.data(), 1, 8, self.file_) != 8) {
        return std::feof(self.file_) ? SPNG_IO_EOF : SPNG_IO_ERROR;
      }
      self.pendingAt_ = 0;
      self.signatureDone_ = true;
    }
    if (self.pendingAt_ < self.pending_.size()) {
      const size_t n = std::min(length, self.pending_.size() - self.pendingAt_);
      std::memcpy(out, self.pending_.data() + self.pendingAt_, n);
      self.pendingAt_ += n;
      out += n;
      length -= n;
      continue;
    }
    if (self.passRemaining_ > 0) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(length, self.passRemaining_));
      const size_t got = std::fread(out, 1, want, self.file_);
      self.passRemaining_ -= got;
      out += got;
      length -= got;
      if (got != want) return std::feof(self.file_) ? SPNG_IO_EOF : SPNG_IO_ERROR;
      continue;
    }
    if (const int e = self.NextChunk()) return e;
  }
  return 0;
}

int PngChunkStream::Skip(uint64_t bytes) {
  // Past the end is no error here: the next read then finds the end.
  return ::fseeko(file_, static_cast<off_t>(bytes), SEEK_CUR) == 0 ? 0 : SPNG_IO_ERROR;
}

bool PngChunkStream::ReadData(uint32_t length, const std::string& type,
                              std::vector<uint8_t>& data) {
  data.resize(static_cast<size_t>(length) + 4);
  if (std::fread(data.data(), 1, data.size(), file_) != data.size()) {
    Warn("the " + type + " chunk is cut short and is not carried");
    return false;
  }
  uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(type.data()), 4);
  crc = crc32(crc, data.data(), length);
  const bool match = Be32(data.data() + length) == static_cast<uint32_t>(crc);
  data.resize(length);
  if (!match) Warn("the " + type + " chunk is damaged (its CRC does not match) and is not carried");
  return match;
}

int PngChunkStream::NextChunk() {
  uint8_t head[8];
  if (std::fread(head, 1, sizeof head, file_) != sizeof head) {
    return std::feof(file_) ? SPNG_IO_EOF : SPNG_IO_ERROR;
  }
  const uint32_t length = Be32(head);
  const std::string type(reinterpret_cast<const char*>(head + 4), 4);
  const auto handOn = [&](const std::vector<uint8_t>* data) {
    chunk_ = type;
    pending_.assign(head, head + sizeof head);
    pendingAt_ = 0;
    if (data == nullptr) {
      passRemaining_ = uint64_t{length} + 4;
      return 0;
    }
    // Checked data goes on with a CRC made again from it.
    pending_.insert(pending_.end(), data->begin(), data->end());
    uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(type.data()), 4);
    crc = crc32(crc, data->data(), static_cast<uInt>(data->size()));
    for (int shift = 24; shift >= 0; shift -= 8)
      pending_.push_back(static_cast<uint8_t>(crc >> shift));
    return 0;
  };
  // A critical chunk (its first letter upper case), or one libspng will
  // refuse as damaged: libspng judges it.
  const bool critical = (head[4] & 0x20) == 0;
  if (critical || length > kMaxChunkLength) {
    if (type == "IDAT") afterImageData_ = true;
    return handOn(nullptr);
  }
  if (type == "tRNS" && !afterImageData_) return handOn(nullptr);  // the pixels' alpha
  const uint64_t chunkRest = uint64_t{length} + 4;
  if (afterImageData_) return Skip(chunkRest);  // colour chunks come before the image data

  for (size_t i = 0; i < kCarried.size(); ++i) {
    if (type != kCarried[i].type) continue;
    const uint32_t bit = 1u << i;
    if ((seen_ & bit) != 0) {
      Warn("a second " + type + " chunk is not carried (the first one is)");
      return Skip(chunkRest);
    }
    if (length != kCarried[i].length) {
      Warn("the " + type + " chunk holds " + std::to_string(length) + " bytes, not " +
           std::to_string(kCarried[i].length) + ", and is not carried");
      return Skip(chunkRest);
    }
    std::vector<uint8_t> data;
    if (!ReadData(length, type, data)) return 0;
    if (const std::string problem = ValueProblem(type, data); !problem.empty()) {
      Warn("the " + type + " chunk is not carried: " + problem);
      return 0;
    }
    seen_ |= bit;
    return handOn(&data);
  }
  if (type == "iCCP") {
    if (iccpSeen_) {
      Warn("a second iCCP chunk is not carried (the first one is)");
      return Skip(chunkRest);
    }
    iccpSeen_ = true;
    if (length > kMaxIccpChunkBytes) {
      Warn("the iCCP chunk (" + MiB(length) + ") is larger than the limit of " +
           MiB(kMaxIccpChunkBytes) + " and is not carried");
      return Skip(chunkRest);
    }
    if (!ReadData(length, type, iccp_)) iccp_.clear();
    return 0;
  }
  if (type == "acTL") {
    if (animation_ || length != 8) {
      if (!animation_) animation_ = PngAnimation{0, frameControlSeen_};
      return Skip(chunkRest);
    }
    std::vector<uint8_t> data;
    const bool read = ReadData(length, type, data);
    animation_ = PngAnimation{read ? Be32(data.data()) : 0, frameControlSeen_};
    return 0;
  }
  if (type == "fcTL") {
    frameControlSeen_ = true;
    if (animation_) animation_->defaultImageIsFrame = true;
  }
  // Text, time, background, unknown ancillary chunks: nothing the command
  // uses or carries.
  return Skip(chunkRest);
}

IccpProfile InflateIccp(const std::vector<uint8_t>& chunk) {
  IccpProfile result;
  const auto nul = std::find(chunk.begin(), chunk.end(), uint8_t{0});
  const size_t nameLength = static_cast<size_t>(nul - chunk.begin());
  if (nul == chunk.end() || nameLength < 1 || nameLength > 79 || chunk.size() < nameLength + 2) {
    result.problem = "its profile name is not 1 to 79 characters";
    return result;
  }
  if (chunk[nameLength + 1] != 0) {
    result.problem =
        "its compression method " + std::to_string(chunk[nameLength + 1]) + " is not 0 (deflate)";
    return result;
  }
  // A PNG keyword: printable Latin-1, no space at either end or twice.
  const std::string name(chunk.begin(), nul);
  const bool printable = std::all_of(name.begin(), name.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 32 && u <= 126) || u >= 161;
  });
  if (printable && name.front() != ' ' && name.back() != ' ' &&
      name.find("  ") == std::string::npos) {
    result.name = name;
  } else {
    result.nameProblem =
        "its name is not a PNG keyword (printable Latin-1 without spaces at its "
        "ends or two together)";
  }
  z_stream z{};
  if (inflateInit(&z) != Z_OK) {
    result.problem = "not enough memory";
    return result;
  }
  const uint8_t* in = chunk.data() + nameLength + 2;
  z.next_in = const_cast<Bytef*>(in);
  z.avail_in = static_cast<uInt>(chunk.size() - nameLength - 2);
  // One byte more than the limit tells a profile past it.
  std::vector<uint8_t>& out = result.profile;
  int status = Z_OK;
  while (status == Z_OK) {
    const size_t at = out.size();
    const size_t grow =
        std::min<size_t>(std::max<size_t>(at, 1 << 16), kMaxIccProfileBytes + 1 - at);
    if (grow == 0) break;
    out.resize(at + grow);
    z.next_out = out.data() + at;
    z.avail_out = static_cast<uInt>(grow);
    status = inflate(&z, Z_NO_FLUSH);
    out.resize(at + grow - z.avail_out);
  }
  inflateEnd(&z);
  if (out.size() > kMaxIccProfileBytes) {
    result.problem = "its profile inflates past the limit of " + MiB(kMaxIccProfileBytes);
  } else if (status != Z_STREAM_END) {
    result.problem = "its compressed profile is damaged";
  } else if (!PlausibleIccProfile(out.data(), out.size())) {
    result.problem = "it holds no valid ICC profile";
  }
  if (!result.problem.empty()) out.clear();
  return result;
}

}  // namespace corvalin::cli
