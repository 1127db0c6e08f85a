// The OpenImageIO module's writer of frames.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "cli/frame_codec.h"

namespace corvalin::cli {

std::unique_ptr<FrameEncoder> OpenOiioEncoder(const std::string& path, FILE* file, int32_t width,
                                              int32_t height, const OutputLayout& layout);

}  // namespace corvalin::cli
