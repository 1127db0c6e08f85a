// The OpenImageIO module's reader of frames.
#pragma once

#include <memory>
#include <string>

#include "cli/frame_codec.h"

namespace corvalin::cli {

std::unique_ptr<FrameDecoder> OpenOiioDecoder(const std::string& path, FileFormat format);

}  // namespace corvalin::cli
