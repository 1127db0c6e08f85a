// Frames between image files and frame buffers without a full-frame copy:
// the frame reader and writer, above the codecs (frame_codec.h).
//
// A frame is decoded in bands of rows. Where the file's pixel has the size of
// a render pixel (RGBA at the render depth) the decoder writes straight into
// the frame buffer and each band is converted in place, while it is still in
// cache; otherwise a band goes through one small scratch buffer. Output runs
// the same way backwards. The codecs (frame_codec.h) decode and encode; the
// channel conversions are ours, since the command's integer rounding is not
// the libraries'.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/frame_buffer.h"
#include "cli/frame_codec.h"
#include "cli/formats.h"

namespace corvalin::cli {

// Where the time of a run goes, summed over threads.
enum class Stage { decode, convertIn, render, convertOut, encode };
inline constexpr int kStageCount = 5;
const char* StageName(Stage stage);

class StageTimes {
 public:
  void Add(Stage stage, std::chrono::steady_clock::duration d) {
    ns_[static_cast<int>(stage)] += std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
  }
  double Seconds(Stage stage) const {
    return static_cast<double>(ns_[static_cast<int>(stage)]) * 1e-9;
  }

 private:
  std::atomic<int64_t> ns_[kStageCount]{};
};

// Adds its own lifetime to a stage; does nothing without a StageTimes.
class StageTimer {
 public:
  StageTimer(StageTimes* times, Stage stage)
      : times_(times), stage_(stage), start_(std::chrono::steady_clock::now()) {}
  ~StageTimer() {
    if (times_ != nullptr) times_->Add(stage_, std::chrono::steady_clock::now() - start_);
  }
  StageTimer(const StageTimer&) = delete;
  StageTimer& operator=(const StageTimer&) = delete;

 private:
  StageTimes* times_;
  Stage stage_;
  std::chrono::steady_clock::time_point start_;
};

// The memory one frame takes while it is in flight, in bytes.
struct FrameMemory {
  int64_t worlds = 0;    // the input and output frame buffers
  int64_t decoding = 0;  // the scratch band and the decoder's own buffers
  int64_t total = 0;
};

// A CliError naming the need and the limit when `need` exceeds `limit`.
void CheckFrameMemory(const FrameMemory& need, int64_t limit, int32_t width, int32_t height,
                      int depth);

// Opens `path` for reading after checking that it is a regular file (a FIFO
// or a device would block or never end) of a format the command reads
// (cli/input_format.h), and reads its header with that format's decoder
// only, refusing an empty frame or one beyond the pixel limit before any
// pixel memory exists. The errors are CliErrors naming the file.
std::unique_ptr<FrameDecoder> OpenDecoder(const std::string& path);

// An open input file. The constructor refuses what is not a regular file,
// not an image, empty, beyond the pixel limit, or of a sample type other
// than unsigned 8 or 16 bits, half or float, before any pixel memory exists.
class FrameReader {
 public:
  explicit FrameReader(const std::string& path);
  ~FrameReader();
  FrameReader(const FrameReader&) = delete;
  FrameReader& operator=(const FrameReader&) = delete;

  const FrameHeader& header() const { return decoder_->header(); }
  const std::string& path() const { return path_; }

  // What ReadInto and WriteWorld take for this frame rendered at `depth`
  // bits with `rowPadding` into samples of `outputKind`, from the header,
  // before any of it is allocated.
  FrameMemory MemoryNeed(int depth, int32_t rowPadding, SampleKind outputKind) const;

  // Decodes the pixels into `frame` (of the header's size) as render
  // channels: gray gives red = green = blue, a missing alpha is opaque;
  // integer samples convert as effect/pixel_convert.h says, float ones
  // through its float mapping. `scratch` is kept between frames by the caller.
  // Throws CliError for a damaged file, StopRequested when asked to stop.
  // Premultiplied colour (`alpha`) is unpremultiplied as
  // effect/associated_alpha.h says: float samples before their conversion,
  // integer ones as render channels after it.
  template <class Pixel>
  void ReadInto(FrameBuffer<Pixel>& frame, std::vector<std::byte>& scratch, AlphaConvention alpha,
                StageTimes* times);

 private:
  std::string path_;
  std::unique_ptr<FrameDecoder> decoder_;
};

// The folder the output `path` goes in ("." for a bare name), or a CliError
// saying that it does not exist.
std::filesystem::path OutputFolder(const std::string& path);

// A CliError naming `path` when what is there cannot be replaced by an
// output: a folder, not a regular file (a FIFO, socket or device), or a
// read-only file (no write permission bit for anyone: root may write
// anything). Links are followed; a free name is fine.
void CheckOutputReplaceable(const std::string& path);

// The hidden temporary's file name for an output named `name` (no folder):
// "." + name + ".tmp" + `unique` + name's extension, the writer choosing
// its format from the extension. The part taken from `name` is shortened,
// never inside a UTF-8 sequence, so that the whole fits in `nameMax` bytes.
std::string TemporaryFileName(const std::string& name, const std::string& unique, size_t nameMax);

// Writes a file through a temporary file beside its name, renamed into
// place by Finish(); destroyed before that, it removes the temporary file.
// Every short write (a full disk, a file size limit) is caught. A file it
// replaces passes its permission bits (and owner and group, where the
// process may set them) to the new one; Finish() refuses what
// CheckOutputReplaceable refuses, should the output have changed meanwhile.
class FrameWriter {
 public:
  FrameWriter(const std::string& path, int32_t width, int32_t height, const OutputLayout& layout);
  ~FrameWriter();
  FrameWriter(const FrameWriter&) = delete;
  FrameWriter& operator=(const FrameWriter&) = delete;

  // Rows [y0, y1) of RGBA samples in the layout's sample type.
  void WriteRows(int32_t y0, int32_t y1, const void* data, std::ptrdiff_t rowBytes);
  void Finish();

  struct State;

 private:
  [[noreturn]] void Fail(const std::string& reason);
  std::unique_ptr<State> state_;
};

// Writes the rendered `frame` to `path` (through FrameWriter). Converts the
// frame in place where a file pixel fits a render pixel: its pixels are not
// kept. A premultiplied layout is premultiplied as
// effect/associated_alpha.h says: render channels before their conversion
// to integer samples, float samples after it.
template <class Pixel>
void WriteFrame(const std::string& path, FrameBuffer<Pixel>& frame, const OutputLayout& layout,
                std::vector<std::byte>& scratch, StageTimes* times);

}  // namespace corvalin::cli
