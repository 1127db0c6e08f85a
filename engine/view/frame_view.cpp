#include "engine/view/frame_view.h"

namespace corvalin {

namespace {

std::string Text(int64_t v) { return std::to_string(v); }

std::string SizeText(int64_t width, int64_t height) { return Text(width) + " x " + Text(height); }

}  // namespace

std::string FrameGeometryProblem(int64_t width, int64_t height, int64_t rowBytes, int depth) {
  const std::string frame = "a frame of " + SizeText(width, height) + " pixels";
  if (depth != 8 && depth != 16)
    return frame + " at " + Text(depth) + " bits: the engine renders 8 or 16 bits";
  if (width < 0 || height < 0) return frame + ": width and height must be at least 0";
  const int64_t pixelBytes = PixelBytesAt(depth);
  const std::string rowLimit = "a row must be at most " + Text(kMaxFrameIndex) +
                               " bytes, width at most " + Text(kMaxFrameIndex / pixelBytes) +
                               " at " + Text(depth) + " bits";
  // Checked before the product below, which it keeps within 64 bits.
  if (width > kMaxFrameIndex / pixelBytes)
    return frame + " at " + Text(depth) + " bits is too wide: " + rowLimit;
  if (rowBytes < width * pixelBytes)
    return frame + " at " + Text(depth) + " bits: rows " + Text(rowBytes) +
           " bytes apart do not hold a row; the row stride must be at least " +
           Text(width * pixelBytes) + " bytes";
  if (rowBytes > kMaxFrameIndex)
    return frame + " at " + Text(depth) + " bits has rows " + Text(rowBytes) +
           " bytes apart: " + rowLimit;
  if (rowBytes % pixelBytes != 0)
    return frame + " at " + Text(depth) + " bits: its row stride of " + Text(rowBytes) +
           " bytes is not a whole number of " + Text(pixelBytes) + "-byte pixels";
  if (height > kMaxFrameIndex)
    return frame + " is too tall: height must be at most " + Text(kMaxFrameIndex);
  // Both factors are within 32 bits here, so the product fits.
  const int64_t stride = rowBytes / pixelBytes;
  if (stride * height > kMaxFrameIndex)
    return frame + " with rows " + Text(stride) + " pixels apart spans " + Text(stride * height) +
           " pixels: width (row padding included) x height must be at most " +
           Text(kMaxFrameIndex) + " (a signed 32-bit pixel index)";
  return {};
}

std::string PackedFrameProblem(int64_t width, int64_t height, int depth) {
  // A wider frame is refused for its width before its row bytes are looked at.
  const int64_t rowBytes = width <= kMaxFrameIndex ? width * PixelBytesAt(depth) : 0;
  return FrameGeometryProblem(width, height, rowBytes, depth);
}

std::string FrameViewProblem(const FrameView& input, const FrameView& output) {
  for (const FrameView* view : {&input, &output}) {
    const std::string name = view == &input ? "the input" : "the output";
    if (view->depth != 8 && view->depth != 16)
      return name + " has depth " + Text(view->depth) + "; the engine renders 8 or 16 bits";
    if (view->pixels == nullptr) return name + " has no pixels";
  }
  if (input.depth != output.depth)
    return "the input has depth " + Text(input.depth) + " and the output " + Text(output.depth) +
           "; both must have one depth";
  if (input.width != output.width || input.height != output.height)
    return "the input is " + SizeText(input.width, input.height) + " pixels and the output " +
           SizeText(output.width, output.height) + "; both must be of one size";
  for (const FrameView* view : {&input, &output}) {
    const std::string problem =
        FrameGeometryProblem(view->width, view->height, view->rowBytes, view->depth);
    if (!problem.empty()) return (view == &input ? "the input: " : "the output: ") + problem;
  }
  return {};
}

}  // namespace corvalin
