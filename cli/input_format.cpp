#include "cli/input_format.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

#include "cli/movie.h"

namespace corvalin::cli {

namespace {

constexpr size_t kTgaHeaderBytes = 18;
// The first bytes read: enough for every signature and for a TGA header.
constexpr size_t kHeadBytes = std::max(kTgaHeaderBytes, kMovieHeadBytes);
using Head = std::array<unsigned char, kHeadBytes>;

bool StartsWith(const Head& head, size_t have, std::initializer_list<unsigned char> magic) {
  return have >= magic.size() && std::equal(magic.begin(), magic.end(), head.begin());
}

// TGA has no signature: the header's fields must each hold a value a TGA
// writer produces (a known image type, a colour map only where one is
// declared, sides above zero, a known pixel depth).
bool PlausibleTga(const Head& h, size_t have) {
  if (have < kTgaHeaderBytes) return false;
  const int colourMapType = h[1], imageType = h[2], mapEntryBits = h[7], pixelBits = h[16];
  const int width = h[12] | h[13] << 8, height = h[14] | h[15] << 8;
  const bool mapped = imageType == 1 || imageType == 9;
  const bool trueColour = imageType == 2 || imageType == 10;
  const bool gray = imageType == 3 || imageType == 11;
  if (!mapped && !trueColour && !gray) return false;
  if (colourMapType > 1 || (mapped && colourMapType != 1)) return false;
  if (colourMapType == 1 && mapEntryBits != 15 && mapEntryBits != 16 && mapEntryBits != 24 &&
      mapEntryBits != 32) {
    return false;
  }
  if (width < 1 || height < 1) return false;
  if (mapped) return pixelBits == 8 || pixelBits == 16;
  if (gray) return pixelBits == 8 || pixelBits == 16;
  return pixelBits == 15 || pixelBits == 16 || pixelBits == 24 || pixelBits == 32;
}

std::string NotReadable() {
  return std::string("not a file of a format the command reads (") + kInputFormatList + ", named " +
         kExtensionList + ")";
}

}  // namespace

FileFormat DetectInputFormat(const std::string& path) {
  const std::string ext = std::filesystem::path(path).extension().string();
  const std::optional<FileFormat> named = FormatOfExtension(path);
  Head head{};
  std::ifstream file(path, std::ios::binary);
  if (!file) throw CliError(std::strerror(errno));
  file.read(reinterpret_cast<char*>(head.data()), head.size());
  const auto have = static_cast<size_t>(file.gcount());

  std::optional<FileFormat> content;
  if (StartsWith(head, have, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'})) {
    content = FileFormat::png;
  } else if (StartsWith(head, have, {'I', 'I', 42, 0}) ||
             StartsWith(head, have, {'M', 'M', 0, 42}) ||
             StartsWith(head, have, {'I', 'I', 43, 0}) ||
             StartsWith(head, have, {'M', 'M', 0, 43})) {
    content = FileFormat::tiff;
  } else if (StartsWith(head, have, {0x76, 0x2f, 0x31, 0x01})) {
    content = FileFormat::exr;
  } else if (const std::optional<std::string> movie = MovieOfContent(head.data(), have)) {
    throw CliError(MovieInputMessage(path, *movie));
  } else if (named == FileFormat::tga && PlausibleTga(head, have)) {
    content = FileFormat::tga;
  }
  if (!content) {
    // Not an image by its content, and named as a movie: a movie the
    // signatures above do not know, or a damaged one.
    if (const std::optional<std::string> movie = MovieOfName(path)) {
      throw CliError(MovieInputMessage(path, *movie));
    }
    if (named == FileFormat::tga) {
      throw CliError("not a TGA file (its header holds no TGA image type, sides and depth); " +
                     NotReadable());
    }
    throw CliError(NotReadable());
  }
  if (!named) {
    throw CliError(std::string("a ") + FormatName(*content) + " file named '" + ext +
                   "'; the command reads only " + kInputFormatList + " files named " +
                   kExtensionList + ", so name it " + ExtensionsOf(*content));
  }
  if (*named != *content) {
    throw CliError(std::string("a ") + FormatName(*content) + " file named as " +
                   FormatName(*named) + " ('" + ext + "'); name it " + ExtensionsOf(*content));
  }
  return *content;
}

}  // namespace corvalin::cli
