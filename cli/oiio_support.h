// What the OpenImageIO decoder and encoder share: OpenImageIO's messages as
// one line, and sample types between OpenImageIO and the command.
#pragma once

#include <OpenImageIO/imageio.h>

#include <string>

#include "cli/formats.h"

namespace corvalin::cli::oiio {

// One line from OIIO's messages, which may hold several: "a\nb\n" -> "a; b".
std::string OneLine(std::string message);

// OIIO's pending error of this thread (asking clears it), or `fallback`.
std::string PendingError(const std::string& fallback);

// The kind of a sample type, or a CliError for one the command cannot render.
SampleKind KindOf(const std::string& path, OIIO::TypeDesc t);

OIIO::TypeDesc TypeOf(SampleKind kind);

}  // namespace corvalin::cli::oiio
