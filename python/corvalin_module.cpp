// The Python module `corvalin`: the effect over NumPy arrays. render() checks
// its arguments (python/arguments.h) and renders the array into a new one
// of its shape and dtype (python/array_render.h); controls() lists the
// control table. The docstrings are made from the table too, so a new
// control needs no code here.
#include <pybind11/pybind11.h>

#include <string>

#include "effect/controls.h"
#include "effect/identity.h"
#include "python/arguments.h"
#include "python/array_render.h"

namespace py = pybind11;

namespace {

using namespace corvalin;
using namespace corvalin::python;

py::object DefaultValue(const ControlSpec& control) {
  switch (control.type) {
    case ControlType::checkbox: return py::bool_(control.defaultValue != 0);
    case ControlType::colour:
      return py::make_tuple(control.defaultColour.red, control.defaultColour.green,
                            control.defaultColour.blue);
    case ControlType::floatSlider: return py::float_(control.defaultValue);
  }
  return py::none();
}

py::array RenderPixels(const py::args& args, const py::kwargs& kwargs) {
  return RenderArray(CheckedRenderCall(args, kwargs));
}

py::list ControlsTable() {
  py::list table;
  for (const Keyword& k : ControlKeywords()) {
    const ControlSpec& c = *k.control;
    py::dict row;
    row["name"] = k.name;
    row["label"] = c.displayName;
    switch (c.type) {
      case ControlType::checkbox:
        row["type"] = "bool";
        row["min"] = py::bool_(c.validMin != 0);
        row["max"] = py::bool_(c.validMax != 0);
        break;
      case ControlType::colour:
        row["type"] = "color";
        row["min"] = py::make_tuple(0, 0, 0);
        row["max"] = py::make_tuple(255, 255, 255);
        break;
      case ControlType::floatSlider:
        row["type"] = "float";
        row["min"] = c.validMin;
        row["max"] = c.validMax;
        break;
    }
    row["default"] = DefaultValue(c);
    row["help"] = c.help;
    table.append(row);
  }
  return table;
}

std::string RenderDoc() {
  std::string signature = "render(pixels, *";
  std::string controls;
  for (const Keyword& k : ControlKeywords()) {
    const ControlSpec& c = *k.control;
    const std::string defaultText = py::repr(DefaultValue(c)).cast<std::string>();
    signature += ", " + k.name + "=" + defaultText;
    controls += "    " + k.name + ": " + c.help;
    switch (c.type) {
      case ControlType::checkbox: controls += "; True or False"; break;
      case ControlType::colour: controls += "; (red, green, blue), integers 0 to 255"; break;
      case ControlType::floatSlider:
        controls += "; " + Number(c.validMin) + " to " + Number(c.validMax);
        break;
    }
    controls += " (default " + defaultText + ")\n";
  }
  signature +=
      ", corner_markers=True, premultiplied=False, depth=None, threads=None) -> numpy.ndarray\n\n";
  return signature +
         "Smooths the edges of a frame and returns a new array of the same shape and dtype.\n\n"
         "pixels: a NumPy array of shape (height, width, 4), RGBA, or (height, width, 3), RGB\n"
         "    (rendered fully opaque, alpha dropped on the way out). Alpha is straight unless\n"
         "    premultiplied=True. Any strides are taken (slices, reversed or broadcast views): "
         "the\n"
         "    pixels are copied once, into the render's own buffer, and the array is never "
         "written.\n"
         "    uint8 renders at 8 bits as it is; uint16 (0 to 65535) at 16 bits as\n"
         "    (v * 32768 + 32767) // 65535, and back as (v * 65535 + 16384) // 32768;\n"
         "    float32 (and float16, through float32) at 16 bits as round(clip(v, 0, 1) * 32768),\n"
         "    halves away from zero and NaN as 0, and back as v / 32768.\n"
         "Controls, keyword arguments only:\n" +
         controls +
         "corner_markers: every render writes an opaque pure-red pixel (full alpha, red, no\n"
         "    green or blue) at each of the four corners of the rectangle it processed, the box\n"
         "    around the pixels with content, as the effect does in a host. False leaves them\n"
         "    out: those four pixels keep the smoothing's result, and the rest of the frame is\n"
         "    the same (default True).\n"
         "premultiplied: True for colour multiplied by alpha (as OpenEXR and compositing hosts\n"
         "    hold it): it is divided by alpha before the render and the result multiplied by it\n"
         "    after, as the corvalin command does for such files. Float samples: c / a (colour 0\n"
         "    where alpha is 0) before their conversion and c * a after it, in float32. Integer\n"
         "    samples, as render channels of largest value M (255 at 8 bits, 32768 at 16):\n"
         "    min(M, (c * M + a // 2) // a) (0 where a is 0) after conversion and\n"
         "    (c * a + M // 2) // M before it. Opaque pixels are unchanged (default False).\n"
         "depth: 8 or 16 renders integer pixels at that depth, as the command's --depth does:\n"
         "    uint8 at 16 bits enters as (v * 32768 + 127) // 255 and comes back as the 16-bit\n"
         "    value w = (c * 65535 + 16384) // 32768 read at 8 bits, (w * 255 + 32767) // 65535;\n"
         "    uint16 at 8 bits enters as (v * 255 + 32767) // 65535 and comes back as c * 257.\n"
         "    None (default): 8 for uint8, 16 for uint16 and float. Float renders at 16 bits "
         "only.\n"
         "threads: 1 to 256 threads for the frame; None (default) uses every core. The result is\n"
         "    the same for any number. The GIL is released while the frame renders.\n\n"
         "Raises TypeError or ValueError, naming the valid range, for anything else; a frame\n"
         "must fit a signed 32-bit pixel index (width x height at most 2147483647).";
}

}  // namespace

PYBIND11_MODULE(_corvalin, m) {
  py::options options;
  options.disable_function_signatures();
  m.doc() =
      "Corvalin smooths the jagged edges of flat-colour images, bit for bit as the "
      "effect and the corvalin command do.";
  m.attr("__version__") = kVersionText;
  static const std::string renderDoc = RenderDoc();
  m.def("render", &RenderPixels, renderDoc.c_str());
  m.def("controls", &ControlsTable,
        "controls() -> list of dict\n\n"
        "The effect's controls, one dict each: name (render()'s keyword), label (as hosts show\n"
        "it), type ('bool', 'color' or 'float'), min, max, default and help.");
}
