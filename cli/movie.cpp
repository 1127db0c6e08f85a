#include "cli/movie.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "cli/formats.h"

namespace corvalin::cli {

namespace {

bool At(const unsigned char* head, size_t have, size_t offset, const char* magic, size_t size) {
  return have >= offset + size && std::memcmp(head + offset, magic, size) == 0;
}

// Sync bytes 0x47 at the start of three packets of `size` bytes from `first`.
bool TransportStream(const unsigned char* head, size_t have, size_t first, size_t size) {
  for (size_t i = 0; i < 3; ++i) {
    const size_t at = first + i * size;
    if (at >= have || head[at] != 0x47) return false;
  }
  return true;
}

// ISO media brands of still images: an HEIF or AVIF picture is not a movie.
bool StillBrand(const unsigned char* head, size_t have) {
  if (have < 12) return false;
  const std::string brand(reinterpret_cast<const char*>(head + 8), 4);
  for (const char* still : {"heic", "heix", "heim", "heis", "mif1", "avif", "crx "}) {
    if (brand == still) return true;
  }
  return false;
}

// `text` as one shell word, quoted only where it needs to be.
std::string ShellWord(const std::string& text) {
  const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) {
    return std::isalnum(c) || (c != 0 && std::strchr("._/+-=:,@%_", c) != nullptr);
  });
  if (plain) return text;
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

constexpr const char* kFilter = "-vf \"format=rgba,frei0r=corvalin\"";

}  // namespace

std::optional<std::string> MovieOfContent(const unsigned char* head, size_t have) {
  // ISO media (QuickTime, MP4): a box type at offset 4.
  for (const char* box : {"ftyp", "moov", "mdat", "wide", "free", "skip", "pnot"}) {
    if (At(head, have, 4, box, 4)) {
      if (std::strcmp(box, "ftyp") == 0 && StillBrand(head, have)) return std::nullopt;
      return "QuickTime or MP4";
    }
  }
  if (At(head, have, 0, "\x1A\x45\xDF\xA3", 4)) return "Matroska or WebM";
  if (At(head, have, 0, "RIFF", 4) && At(head, have, 8, "AVI ", 4)) return "AVI";
  if (At(head, have, 0, "\x06\x0E\x2B\x34", 4)) return "MXF";
  if (TransportStream(head, have, 0, 188) || TransportStream(head, have, 4, 192)) {
    return "MPEG transport stream";
  }
  if (At(head, have, 0, "\x00\x00\x01\xBA", 4)) return "MPEG program stream";
  if (At(head, have, 0, "\x00\x00\x01\xB3", 4)) return "MPEG video";
  if (At(head, have, 0, "GIF87a", 6) || At(head, have, 0, "GIF89a", 6)) return "GIF";
  return std::nullopt;
}

std::optional<std::string> MovieOfName(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (ext == ".mov" || ext == ".mp4" || ext == ".m4v") return "QuickTime or MP4";
  if (ext == ".mkv" || ext == ".webm") return "Matroska or WebM";
  if (ext == ".avi") return "AVI";
  if (ext == ".mxf") return "MXF";
  if (ext == ".mpg" || ext == ".mpeg") return "MPEG";
  if (ext == ".ts" || ext == ".m2ts" || ext == ".mts") return "MPEG transport stream";
  if (ext == ".gif") return "GIF";
  return std::nullopt;
}

std::optional<std::string> MovieFile(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  std::ifstream file(path, std::ios::binary);
  unsigned char head[kMovieHeadBytes] = {};
  file.read(reinterpret_cast<char*>(head), sizeof head);
  return MovieOfContent(head, static_cast<size_t>(file.gcount()));
}

std::string MovieInputMessage(const std::string& input, const std::string& kind) {
  const std::string in = ShellWord(input);
  return "a movie (" + kind +
         "), and the command reads image files, not movies. Render it with ffmpeg through the "
         "frei0r filter, which keeps its frame rate, timecode and audio (docs/frei0r.md):\n"
         "    ffmpeg -i " +
         in + " " + kFilter +
         " -c:v png -pix_fmt rgba out.mov\n"
         "or extract its frames and render them as a sequence:\n"
         "    ffmpeg -i " +
         in +
         " f.%04d.png\n"
         "    corvalin render 'f.####.png' 'out.####.png'";
}

std::string MovieOutputMessage(const std::string& output, const std::string& kind) {
  const std::string out = ShellWord(output);
  return output + ": a movie (" + kind + "), and the command writes image files (" +
         kExtensionList +
         "), not movies. "
         "Render the movie with ffmpeg through the frei0r filter (docs/frei0r.md):\n"
         "    ffmpeg -i in.mov " +
         kFilter + " " + out +
         "\n"
         "or render frames and encode them with ffmpeg:\n"
         "    corvalin render 'in.####.png' 'out.####.png'\n"
         "    ffmpeg -framerate 24 -i out.%04d.png " +
         out;
}

}  // namespace corvalin::cli
