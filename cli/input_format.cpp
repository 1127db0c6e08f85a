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

bool StartsWith(const Head& head, size_t have,
                std::initializer_list<unsigned char> magic) {
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

// Every attribute of an OpenEXR header declares the size of its value, and
// the library allocates that size before it reads: a small file could ask
// for gigabytes. No value can be larger than what follows it in the file, so
// each declared size is held to that before any reader runs. The header is
// walked as the format lays it out: name, type name, a 32-bit little-endian
// size, the value; an empty name ends a header, and a multi-part file holds
// headers until an empty one.
void CheckExrAttributeSizes(std::ifstream& file, uint64_t fileSize) {
  constexpr uint32_t kMultiPart = 0x1000, kLongNames = 0x400;
  file.clear();
  file.seekg(4);
  unsigned char version[4] = {};
  file.read(reinterpret_cast<char*>(version), 4);
  const uint32_t flags = uint32_t{version[1]} << 8 | uint32_t{version[2]} << 16;
  const size_t maxName = (flags & kLongNames) != 0 ? 255 : 31;
  auto readName = [&](std::string& name) {
    name.clear();
    for (int c = file.get(); c != 0; c = file.get()) {
      if (c == std::char_traits<char>::eof()) throw CliError("an OpenEXR file whose header ends early");
      if (name.size() == maxName) {
        throw CliError("an OpenEXR attribute name longer than " + std::to_string(maxName) +
                       " characters");
      }
      name += static_cast<char>(c);
    }
  };
  std::string name, type;
  for (bool headerEmpty = false; !headerEmpty;) {
    headerEmpty = true;
    while (true) {
      readName(name);
      if (name.empty()) break;
      headerEmpty = false;
      readName(type);
      unsigned char size[4] = {};
      if (!file.read(reinterpret_cast<char*>(size), 4)) {
        throw CliError("an OpenEXR file whose header ends early");
      }
      const int64_t declared = static_cast<int32_t>(uint32_t{size[0]} | uint32_t{size[1]} << 8 |
                                                    uint32_t{size[2]} << 16 | uint32_t{size[3]} << 24);
      const auto at = static_cast<int64_t>(file.tellg());
      const int64_t left = static_cast<int64_t>(fileSize) - at;
      if (declared < 0 || declared > left) {
        throw CliError("the OpenEXR attribute '" + name + "' declares a value of " +
                       std::to_string(declared) + " bytes; 0 to the " + std::to_string(left) +
                       " bytes left in the file are possible");
      }
      file.seekg(declared, std::ios::cur);
    }
    if ((flags & kMultiPart) == 0) break;
  }
}

std::string NotReadable() {
  return std::string("not a file of a format the command reads (") + kInputFormatList +
         ", named " + kExtensionList + ")";
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
  } else if (StartsWith(head, have, {'I', 'I', 42, 0}) || StartsWith(head, have, {'M', 'M', 0, 42}) ||
             StartsWith(head, have, {'I', 'I', 43, 0}) || StartsWith(head, have, {'M', 'M', 0, 43})) {
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
  if (*content == FileFormat::exr) {
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) throw CliError(ec.message());
    CheckExrAttributeSizes(file, size);
  }
  return *content;
}

}  // namespace corvalin::cli
