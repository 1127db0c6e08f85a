// Pieces shared by the whole-image and the banded readers and writers.
#pragma once

#include <OpenImageIO/imageio.h>

#include <memory>
#include <string>

#include "cli/frame_io.h"

namespace corvalin::cli::detail {

// One line from OIIO's messages, which may hold several: "a\nb\n" -> "a; b".
std::string OneLine(std::string message);

// OIIO's pending error of this thread (asking clears it), or `fallback`.
std::string OiioError(const std::string& fallback);

struct OpenedInput {
  std::unique_ptr<OIIO::ImageInput> input;
  FrameHeader header;
};

// Opens `path` for reading with alpha kept unassociated, after checking that
// it is a regular file, and checks the header (see FrameReader).
OpenedInput OpenInput(const std::string& path);

}  // namespace corvalin::cli::detail
