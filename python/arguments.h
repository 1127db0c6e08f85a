// render()'s arguments as the render takes them, and the control keywords
// that the module's docstrings and controls() list.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string>
#include <vector>

#include "effect/controls.h"
#include "engine/scan/scan_settings.h"

namespace corvalin::python {

namespace py = pybind11;

enum class SampleType { uint8, uint16, float16, float32 };

// A call that passed every check: `pixels` has 3 dimensions, 3 or 4
// channels and a native dtype of `type`, at least one pixel, and a packed
// frame of it at `depth` is one the engine addresses.
struct RenderCall {
  py::array pixels;
  SampleType type;
  RenderSettings settings;
  int depth;    // 8 or 16; floats 16
  int threads;  // 1 to 256, or 0 for every core
  bool premultiplied;
};

// render(pixels, **controls) checked, or TypeError or ValueError naming
// the argument and its valid range.
RenderCall CheckedRenderCall(const py::args& args, const py::kwargs& kwargs);

// A control under its keyword: the script name "useColorKey" is the
// keyword "use_color_key".
struct Keyword {
  std::string name;
  const ControlSpec* control;
};

// Every control, in the control table's order.
const std::vector<Keyword>& ControlKeywords();

// A range's end as messages and docstrings print it (%g).
std::string Number(double v);

}  // namespace corvalin::python
