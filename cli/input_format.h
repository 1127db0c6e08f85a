// Which reader may open an input file. Only the formats the command
// documents are read, and the choice is made from the file's first bytes,
// then checked against its name, before any decoder runs: a file of another
// format must never reach a reader that merely recognises it, and a name
// carrying a reader's options ("x.null?RES=3x3") is not a format at all.
#pragma once

#include <string>

#include "cli/formats.h"

namespace corvalin::cli {

// "PNG, TIFF, TGA or OpenEXR"
inline constexpr const char* kInputFormatList = "PNG, TIFF, TGA or OpenEXR";

// The format of the regular file `path` from its content: the PNG signature,
// TIFF's "II*\0" / "MM\0*" (and BigTIFF's 43), OpenEXR's 76 2f 31 01; TGA,
// which has no signature, only for a .tga name with a plausible header. The
// name's extension must agree. A CliError (without the "cannot read" prefix)
// says what the file is not; for a movie, by its content or (when the content
// is no image) by its name, it says how to render it instead (cli/movie.h).
FileFormat DetectInputFormat(const std::string& path);

}  // namespace corvalin::cli
