// Writing frames: the output written to a temporary beside it and renamed
// into place, never over what may not be replaced, bands of rows converted
// out of the frame buffer into the encoder.
#include <Imath/half.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

#include "cli/frame_io.h"
#include "cli/stop_signal.h"
#include "effect/sample_convert.h"

#ifdef _WIN32
#include <process.h>
#define CORVALIN_GETPID _getpid
#define CORVALIN_NEW_FILE "wb"
#else
#include <sys/stat.h>
#include <unistd.h>
#define CORVALIN_GETPID getpid
#define CORVALIN_NEW_FILE "wbx"  // fails with EEXIST where the name is taken
#endif

namespace corvalin::cli {

namespace fs = std::filesystem;

fs::path OutputFolder(const std::string& path) {
  const fs::path parent = fs::path(path).parent_path();
  const fs::path folder = parent.empty() ? fs::path(".") : parent;
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    throw CliError("cannot write " + path + ": the folder " + folder.string() + " does not exist");
  }
  return folder;
}

namespace {

// Why an existing file at `path` cannot be replaced, or nothing.
std::optional<std::string> NotReplaceable(const std::string& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  // A free name, a missing link target, or one the write itself reports on.
  if (ec || !fs::exists(status)) return std::nullopt;
  if (fs::is_directory(status)) return "it is a folder";
  if (!fs::is_regular_file(status)) return "not a regular file (a FIFO, socket or device)";
  // The mode bits, not access(): root may write anything, and would replace
  // a file its owner protected.
  const fs::perms write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  if ((status.permissions() & write) == fs::perms::none) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o",
                  static_cast<unsigned>(status.permissions() & fs::perms::mask));
    return std::string("the file is read-only (mode ") + mode +
           "); make it writable to have it replaced, or name another OUTPUT";
  }
  return std::nullopt;
}

// The longest file name the folder takes, in bytes.
size_t NameMax(const fs::path& folder) {
#ifndef _WIN32
  const long max = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  if (max > 0) return static_cast<size_t>(max);
#else
  (void)folder;
#endif
  return 255;
}

// The replaced file's owner, group and permission bits on the temporary,
// before it takes the file's place; a new output keeps what the umask gave.
void KeepOwnerAndMode(const fs::path& temp, const std::string& path) {
  std::error_code ec;
#ifndef _WIN32
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  // The owner first, since a change of owner may clear mode bits. Only root
  // may give the file away; others may still set a group of theirs. Neither
  // is needed for the output itself.
  if (::chown(temp.c_str(), st.st_uid, st.st_gid) != 0 &&
      ::chown(temp.c_str(), static_cast<uid_t>(-1), st.st_gid) != 0) {
    // Left with the process's own owner and group.
  }
  const fs::perms mode = static_cast<fs::perms>(st.st_mode) & fs::perms::all;
#else
  const fs::file_status existing = fs::status(path, ec);
  if (ec || !fs::is_regular_file(existing)) return;
  const fs::perms mode = existing.permissions() & fs::perms::all;
#endif
  fs::permissions(temp, mode, fs::perm_options::replace, ec);
}

}  // namespace

void CheckOutputReplaceable(const std::string& path) {
  if (const std::optional<std::string> why = NotReplaceable(path)) {
    throw CliError("cannot write " + path + ": " + *why);
  }
}

std::string TemporaryFileName(const std::string& name, const std::string& unique, size_t nameMax) {
  const std::string tail = ".tmp" + unique + fs::path(name).extension().string();
  const size_t room = nameMax > tail.size() + 1 ? nameMax - tail.size() - 1 : 0;
  size_t keep = std::min(name.size(), room);
  // Some file systems refuse a name that is not valid UTF-8.
  while (keep > 0 && keep < name.size() &&
         (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) {
    --keep;
  }
  return "." + name.substr(0, keep) + tail;
}

struct FrameWriter::State {
  std::string path;
  fs::path temp;
  std::unique_ptr<TempFileRegistration> registration;
  FILE* file = nullptr;
  std::unique_ptr<FrameEncoder> encoder;
  bool finished = false;

  // Drops the encoder and the temporary file.
  void Discard() {
    encoder.reset();
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
  const fs::path folder = OutputFolder(path);
  // A hidden name beside the target, unique across threads and processes,
  // keeping the extension so that the writer picks the same format, and
  // short enough for the folder wherever the output's own name is. It is
  // created only where nothing has the name: on a farm, a task on another
  // node may have the same process id and write the same frame, and a killed
  // task leaves its temporaries behind. Such a name is passed over.
  static std::atomic<uint64_t> counter{0};
  const std::string name = target.filename().string();
  const size_t nameMax = NameMax(folder);
  for (int tries = 0;; ++tries) {
    s.temp = folder / TemporaryFileName(
                          name, std::to_string(CORVALIN_GETPID()) + "-" + std::to_string(counter++),
                          nameMax);
    s.registration = std::make_unique<TempFileRegistration>(s.temp.string());
    s.file = std::fopen(s.temp.string().c_str(), CORVALIN_NEW_FILE);
    if (s.file != nullptr) break;
    const int error = errno;
    s.registration.reset();
    s.temp.clear();  // not ours: never removed
    if (error != EEXIST || tries == 100) Fail(std::strerror(error));
  }
  try {
    s.encoder = layout.format == FileFormat::png
                    ? OpenPngEncoder(s.file, width, height, layout)
                    : OpenOiioEncoder(s.temp.string(), s.file, width, height, layout);
  } catch (const CodecError& e) {
    Fail(e.what());
  }
}

FrameWriter::~FrameWriter() {
  if (!state_->finished) state_->Discard();
}

void FrameWriter::Fail(const std::string& reason) {
  state_->Discard();
  throw CliError("cannot write " + state_->path + ": " + reason);
}

void FrameWriter::WriteRows(int32_t y0, int32_t y1, const void* data, std::ptrdiff_t rowBytes) {
  try {
    state_->encoder->WriteRows(y0, y1, data, rowBytes);
  } catch (const CodecError& e) {
    Fail(e.what());
  }
}

void FrameWriter::Finish() {
  State& s = *state_;
  try {
    s.encoder->Close();
  } catch (const CodecError& e) {
    Fail(e.what());
  }
  s.encoder.reset();
  int failure = 0;
  if (std::fflush(s.file) != 0) failure = errno;
  if (std::ferror(s.file) && failure == 0) failure = EIO;
  if (std::fclose(s.file) != 0 && failure == 0) failure = errno;
  s.file = nullptr;
  if (failure != 0) Fail(std::strerror(failure));
  // The output may have changed while the frame rendered: a folder, a FIFO
  // or a read-only file put there since is refused as it was before.
  if (const std::optional<std::string> why = NotReplaceable(s.path)) Fail(*why);
  KeepOwnerAndMode(s.temp, s.path);
  std::error_code ec;
  fs::rename(s.temp, fs::path(s.path), ec);
  if (ec) Fail(ec.message());
  s.finished = true;
  s.registration.reset();
}

namespace {

// Float samples narrowed to half in place, front to back: each half lands
// no later than the float it comes from.
void NarrowToHalf(std::byte* band, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    float v;
    std::memcpy(&v, band + i * sizeof v, sizeof v);
    const uint16_t bits = Imath::half(v).bits();
    std::memcpy(band + i * sizeof bits, &bits, sizeof bits);
  }
}

// One band of the render as the output's samples: integers in place, floats
// (and halves, made from them) in `scratch`.
template <class Pixel>
void ConvertBandOut(const OutputLayout& layout, Pixel* rows, size_t stride, int32_t width,
                    int32_t count, std::byte* scratch) {
  const auto frameStride = static_cast<std::ptrdiff_t>(stride);
  if constexpr (std::is_same_v<Pixel, PF_Pixel16>) {
    if (IsFloat(layout.kind)) {
      const auto rowBytes = static_cast<std::ptrdiff_t>(width) * 4 * 4;
      StoreSamples<Pixel, float>(rows, frameStride, scratch,
                                 PackedSamples<float>(4, rowBytes, layout.alpha), width, 0, count);
      if (layout.kind == SampleKind::half)
        NarrowToHalf(scratch, static_cast<size_t>(width) * static_cast<size_t>(count) * 4);
      return;
    }
  }
  using Sample = decltype(Pixel{}.red);
  const auto rowBytes = frameStride * static_cast<std::ptrdiff_t>(sizeof(Pixel));
  StoreSamples<Pixel, Sample>(rows, frameStride, reinterpret_cast<std::byte*>(rows),
                              PackedSamples<Sample>(4, rowBytes, layout.alpha), width, 0, count);
}

}  // namespace

template <class Pixel>
void WriteFrame(const std::string& path, FrameBuffer<Pixel>& frame, const OutputLayout& layout,
                std::vector<std::byte>& scratch, StageTimes* times) {
  const int32_t width = frame.width(), height = frame.height();
  const size_t stride = static_cast<size_t>(frame.stride());
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
    // Halves are made from the floats in the same buffer.
    const size_t need =
        static_cast<size_t>(kFileBandRows) * static_cast<size_t>(width) * 4 * sizeof(float);
    if (scratch.size() < need) scratch.resize(need);
  }
  for (int32_t y0 = 0; y0 < height; y0 += kFileBandRows) {
    ThrowIfStopRequested();
    const int32_t y1 = std::min(height, y0 + kFileBandRows);
    Pixel* rows = frame.pixels() + static_cast<size_t>(y0) * stride;
    const void* band = rows;
    std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(stride * sizeof(Pixel));
    {
      StageTimer timer(times, Stage::convertOut);
      ConvertBandOut(layout, rows, stride, width, y1 - y0, scratch.data());
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

template void WriteFrame<PF_Pixel8>(const std::string&, FrameBuffer<PF_Pixel8>&,
                                    const OutputLayout&, std::vector<std::byte>&, StageTimes*);
template void WriteFrame<PF_Pixel16>(const std::string&, FrameBuffer<PF_Pixel16>&,
                                     const OutputLayout&, std::vector<std::byte>&, StageTimes*);

}  // namespace corvalin::cli
