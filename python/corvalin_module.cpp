// The Python module `corvalin`: the effect over NumPy arrays. It converts the
// array's samples into a frame of its own, renders that in bands on every
// core with the GIL released, and converts the result into a new
// array of the input's shape and dtype. The keyword arguments, their defaults
// and ranges come from the control table, so a new control needs no code here.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "effect/associated_alpha.h"
#include "effect/controls.h"
#include "effect/identity.h"
#include "effect/pixel_convert.h"
#include "effect/sample_convert.h"
#include "engine/parallel/parallel_scan.h"
#include "engine/view/render_view.h"

namespace py = pybind11;

namespace {

using namespace corvalin;

constexpr int kMaxThreads = 256;

// ---- Keyword names --------------------------------------------------------

// A script name in the keyword spelling: "useColorKey" is "use_color_key".
std::string KeywordName(std::string_view scriptName) {
  std::string name;
  for (char c : scriptName) {
    if (c >= 'A' && c <= 'Z') {
      name += '_';
      c = static_cast<char>(c - 'A' + 'a');
    }
    name += c;
  }
  return name;
}

constexpr bool IsKeywordOf(std::string_view scriptName, std::string_view keyword) {
  size_t k = 0;
  for (char c : scriptName) {
    if (c >= 'A' && c <= 'Z') {
      if (k >= keyword.size() || keyword[k++] != '_') return false;
      c = static_cast<char>(c - 'A' + 'a');
    }
    if (k >= keyword.size() || keyword[k++] != c) return false;
  }
  return k == keyword.size();
}

constexpr bool ControlsLeaveRenderKeywordsFree() {
  for (const ControlSpec& control : kControls)
    for (std::string_view own : {"pixels", "corner_markers", "premultiplied", "depth", "threads"})
      if (IsKeywordOf(control.scriptName, own)) return false;
  return true;
}
static_assert(ControlsLeaveRenderKeywordsFree(),
              "a control's keyword would hide one of render()'s own arguments");

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

// An argument as a message quotes it, cut short if it is long.
std::string Describe(const py::handle& value) {
  std::string text = py::repr(value).cast<std::string>();
  if (text.size() > 60) text = text.substr(0, 57) + "...";
  return text;
}

// ---- Argument values ------------------------------------------------------

bool IsInteger(const py::handle& value) { return PyIndex_Check(value.ptr()) != 0; }

bool IsBool(const py::handle& value) {
  return PyBool_Check(value.ptr()) ||
         py::isinstance(value, py::module_::import("numpy").attr("bool_"));
}

// A NumPy array of one or more dimensions is not a single value, even when it
// holds one element (NumPy would convert it); a 0-d array is a scalar.
void RefuseArray(const std::string& expected, const py::handle& value) {
  if (!py::isinstance<py::array>(value)) return;
  const auto array = py::reinterpret_borrow<py::array>(value);
  if (array.ndim() == 0) return;
  std::string shape;
  for (py::ssize_t i = 0; i < array.ndim(); ++i)
    shape += (i == 0 ? "(" : ", ") + std::to_string(array.shape(i));
  shape += array.ndim() == 1 ? ",)" : ")";
  throw py::type_error(expected + ", got an array of shape " + shape);
}

// Whether the Python error being raised is a failed conversion (the value is
// of the wrong type or out of range). Anything else, KeyboardInterrupt or
// MemoryError say, is the caller's and passes through unchanged.
bool IsConversionError() {
  return PyErr_ExceptionMatches(PyExc_TypeError) || PyErr_ExceptionMatches(PyExc_ValueError) ||
         PyErr_ExceptionMatches(PyExc_OverflowError);
}

// An integer argument, or `outOfRange` for one that does not fit in long long.
long long IntegerValue(const py::handle& value, long long outOfRange) {
  py::object index = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
  if (!index) throw py::error_already_set();
  int overflow = 0;
  const long long v = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
  if (overflow != 0) return outOfRange;
  if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
  return v;
}

bool FlagValue(const std::string& name, const py::handle& value) {
  if (PyBool_Check(value.ptr())) return value.ptr() == Py_True;
  if (py::isinstance(value, py::module_::import("numpy").attr("bool_"))) return value.cast<bool>();
  RefuseArray(name + " must be True or False", value);
  if (!IsInteger(value))
    throw py::type_error(name + " must be True or False, got " + Describe(value));
  const long long v = IntegerValue(value, -1);
  if (v != 0 && v != 1)
    throw py::value_error(name + " must be True or False (or 0 or 1), got " + Describe(value));
  return v == 1;
}

Pixel8 ColourValue(const ControlSpec& control, const std::string& name,
                   const py::handle& value) {
  const std::string expected = name + " must be three integers from 0 to 255 (red, green, blue)";
  if (PyUnicode_Check(value.ptr()) || PyBytes_Check(value.ptr()) || !PySequence_Check(value.ptr()))
    throw py::type_error(expected + ", got " + Describe(value));
  const Py_ssize_t size = PySequence_Size(value.ptr());
  if (size < 0) throw py::error_already_set();
  if (size != 3) throw py::value_error(expected + ", got " + std::to_string(size) + " values");
  uint8_t rgb[3];
  for (Py_ssize_t i = 0; i < 3; ++i) {
    py::object item = py::reinterpret_steal<py::object>(PySequence_GetItem(value.ptr(), i));
    if (!item) throw py::error_already_set();
    if (!IsInteger(item)) throw py::type_error(expected + ", got " + Describe(value));
    const long long v = IntegerValue(item, -1);
    if (v < 0 || v > 255) throw py::value_error(expected + ", got " + Describe(value));
    rgb[i] = static_cast<uint8_t>(v);
  }
  return Pixel8{control.defaultColour.alpha, rgb[0], rgb[1], rgb[2]};
}

double NumberValue(const ControlSpec& control, const std::string& name, const py::handle& value) {
  const std::string expected = name + " must be a number from " + Number(control.validMin) +
                               " to " + Number(control.validMax);
  // True and False are numbers to Python, but a flag given for a number is
  // a mistake.
  if (!PyNumber_Check(value.ptr()) || PyComplex_Check(value.ptr()) || IsBool(value))
    throw py::type_error(expected + ", got " + Describe(value));
  RefuseArray(expected, value);
  const double v = PyFloat_AsDouble(value.ptr());
  if (v == -1.0 && PyErr_Occurred()) {
    if (!IsConversionError()) throw py::error_already_set();
    // An integer too large for a double is out of range; anything else
    // (a sequence, say) is not a number.
    const bool overflow = PyErr_ExceptionMatches(PyExc_OverflowError);
    PyErr_Clear();
    if (overflow) throw py::value_error(expected + ", got " + Describe(value));
    throw py::type_error(expected + ", got " + Describe(value));
  }
  if (!(v >= control.validMin && v <= control.validMax))
    throw py::value_error(expected + ", got " + Describe(value));
  return v;
}

// depth=None and threads=None give 0: the array's own depth, all cores.
template <class Valid>
int OptionalInteger(const char* name, const py::handle& value, const char* expected, Valid valid) {
  if (value.is_none()) return 0;
  const std::string message =
      std::string(name) + " must be " + expected + ", got " + Describe(value);
  RefuseArray(std::string(name) + " must be " + expected, value);
  if (!IsInteger(value) || IsBool(value)) throw py::type_error(message);
  const long long v = IntegerValue(value, -1);
  if (!valid(v)) throw py::value_error(message);
  return static_cast<int>(v);
}

// ---- Samples and render channels ------------------------------------------

enum class SampleType { uint8, uint16, float16, float32 };

// The array as the render sees it: any strides (slices, reversed or
// broadcast views), read through byte offsets so that no alignment is assumed.
struct ArrayView {
  const char* data;
  int32_t height, width, channels;
  Py_ssize_t rowStride, pixelStride, channelStride;
};

// The one place that calls the engine, on a frame CheckShape has let through.
template <class Pixel>
void Scan(const RenderSettings& settings, Pixel* input, Pixel* output, int32_t width,
          int32_t height, CoreBands& cores) {
  const std::string problem = RenderFrameView(settings, PackedView(input, width, height),
                                              PackedView(output, width, height), &cores);
  if (!problem.empty()) throw std::logic_error("the checked frame was refused: " + problem);
}

// Renders with the GIL released; `result` is a fresh C-contiguous array. The
// colour key rewrites the input frame, the module's own copy of the array,
// which is read and written back on the render's threads. Premultiplied
// colour is divided out and multiplied back as the command does it, for
// RGBA arrays (an RGB array is opaque and stays as it is).
template <class Sample, class Pixel>
void RenderInto(const ArrayView& a, const RenderSettings& settings, int threads,
                bool premultiplied, Sample* result) {
  py::gil_scoped_release release;
  const size_t count = static_cast<size_t>(a.width) * static_cast<size_t>(a.height);
  // The input frame lives in the result's memory where a result pixel holds
  // a render pixel: the output frame is written back there only once the
  // render is done with the input. Neither frame is cleared: the load writes
  // every pixel of the input, the render every pixel of the output.
  std::unique_ptr<Pixel[]> ownInput;
  Pixel* input = reinterpret_cast<Pixel*>(result);
  if (static_cast<size_t>(a.channels) * sizeof(Sample) < sizeof(Pixel)) {
    ownInput.reset(new Pixel[count]);
    input = ownInput.get();
  }
  std::unique_ptr<Pixel[]> output(new Pixel[count]);
  const AlphaConvention alpha = premultiplied && a.channels == 4 ? AlphaConvention::premultiplied
                                                                 : AlphaConvention::straight;
  const SampleLayout arrayLayout{a.channels, a.rowStride, a.pixelStride, a.channelStride, alpha};
  const auto resultRowBytes =
      static_cast<std::ptrdiff_t>(a.width) * a.channels * static_cast<std::ptrdiff_t>(sizeof(Sample));
  const SampleLayout resultLayout = PackedSamples<Sample>(a.channels, resultRowBytes, alpha);
  CoreBands cores(threads);
  const int64_t frameRowBytes = int64_t{a.width} * int64_t{sizeof(Pixel)};
  ConvertInBands(cores, a.height, frameRowBytes, [&](int32_t y0, int32_t y1) {
    LoadSamples<Pixel, Sample>(reinterpret_cast<const std::byte*>(a.data), arrayLayout,
                               input, a.width, a.width, y0, y1);
  });
  Scan<Pixel>(settings, input, output.get(), a.width, a.height, cores);
  ConvertInBands(cores, a.height, frameRowBytes, [&](int32_t y0, int32_t y1) {
    StoreSamples<Pixel, Sample>(output.get(), a.width, reinterpret_cast<std::byte*>(result),
                                resultLayout, a.width, y0, y1);
  });
}

template <class Sample>
py::array Render(const py::array& pixels, const RenderSettings& settings, int depth, int threads,
                 bool premultiplied) {
  const ArrayView a{static_cast<const char*>(pixels.data()),
                    static_cast<int32_t>(pixels.shape(0)),
                    static_cast<int32_t>(pixels.shape(1)),
                    static_cast<int32_t>(pixels.shape(2)),
                    pixels.strides(0),
                    pixels.strides(1),
                    pixels.strides(2)};
  py::array_t<Sample> result({pixels.shape(0), pixels.shape(1), pixels.shape(2)});
  Sample* out = result.mutable_data();
  if constexpr (std::is_floating_point_v<Sample>) {
    (void)depth;  // checked by the caller: floats render at 16 bits
    RenderInto<Sample, Pixel16>(a, settings, threads, premultiplied, out);
  } else if (depth == 16) {
    RenderInto<Sample, Pixel16>(a, settings, threads, premultiplied, out);
  } else {
    RenderInto<Sample, Pixel8>(a, settings, threads, premultiplied, out);
  }
  return result;
}

// ---- The array ------------------------------------------------------------

SampleType CheckedSampleType(const py::array& pixels) {
  const py::dtype dtype = pixels.dtype();
  const char kind = dtype.kind();
  const Py_ssize_t size = dtype.itemsize();
  const std::string name = py::str(py::handle(dtype)).cast<std::string>();
  const bool known =
      (kind == 'u' && (size == 1 || size == 2)) || (kind == 'f' && (size == 2 || size == 4));
  if (!known)
    throw py::type_error(
        "pixels has dtype " + name +
        "; use uint8 (0 to 255), uint16 (0 to 65535), float32 or float16 (0 to 1)");
  if (!dtype.attr("isnative").cast<bool>())
    throw py::type_error(
        "pixels has dtype " + name +
        " in the other byte order; convert it with pixels.astype(pixels.dtype.newbyteorder('='))");
  if (kind == 'u') return size == 1 ? SampleType::uint8 : SampleType::uint16;
  return size == 2 ? SampleType::float16 : SampleType::float32;
}

// Everything the render relies on, checked before a byte is copied.
void CheckShape(const py::array& pixels, int depth) {
  if (pixels.ndim() != 3)
    throw py::value_error("pixels must have 3 dimensions (height, width, channels), got " +
                          std::to_string(pixels.ndim()));
  const Py_ssize_t height = pixels.shape(0), width = pixels.shape(1), channels = pixels.shape(2);
  if (channels != 3 && channels != 4)
    throw py::value_error("pixels must have 3 (RGB) or 4 (RGBA) channels, got " +
                          std::to_string(channels));
  const std::string size = std::to_string(width) + " x " + std::to_string(height);
  if (width < 1 || height < 1)
    throw py::value_error("pixels is empty (" + size + "); width and height must be at least 1");
  if (const std::string problem = PackedFrameProblem(width, height, depth); !problem.empty())
    throw py::value_error("pixels is too large: " + problem);
}

// ---- render() and controls() ----------------------------------------------

struct Keyword {
  std::string name;
  const ControlSpec* control;
};

const std::vector<Keyword>& ControlKeywords() {
  static const std::vector<Keyword> keywords = [] {
    std::vector<Keyword> list;
    for (const ControlSpec& control : kControls)
      list.push_back({KeywordName(control.scriptName), &control});
    return list;
  }();
  return keywords;
}

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

void SetControl(RenderSettings& settings, const Keyword& keyword, const py::handle& value) {
  const ControlSpec& control = *keyword.control;
  switch (control.type) {
    case ControlType::checkbox: settings.*control.flagField = FlagValue(keyword.name, value); break;
    case ControlType::colour:
      settings.*control.colourField = ColourValue(control, keyword.name, value);
      break;
    case ControlType::floatSlider:
      settings.*control.numberField = NumberValue(control, keyword.name, value);
      break;
  }
}

std::string KeywordList() {
  std::string list = "pixels";
  for (const Keyword& k : ControlKeywords()) list += ", " + k.name;
  return list + ", corner_markers, premultiplied, depth, threads";
}

py::array RenderPixels(const py::args& args, const py::kwargs& kwargs) {
  py::object pixelsArg;
  if (args.size() == 1)
    pixelsArg = args[0];
  else if (args.size() > 1)
    throw py::type_error(
        "render() takes the pixel array as its only positional argument; the "
        "controls are keyword arguments (" +
        KeywordList() + ")");
  RenderSettings settings = DefaultRenderSettings();
  py::object depthArg = py::none(), threadsArg = py::none();
  bool premultiplied = false;
  for (const auto& [key, value] : kwargs) {
    const std::string name = py::str(key).cast<std::string>();
    if (name == "pixels") {
      if (pixelsArg) throw py::type_error("render() got the pixel array twice");
      pixelsArg = py::reinterpret_borrow<py::object>(value);
    } else if (name == "corner_markers") {
      settings.cornerMarkers = FlagValue(name, value);
    } else if (name == "premultiplied") {
      premultiplied = FlagValue(name, value);
    } else if (name == "depth") {
      depthArg = py::reinterpret_borrow<py::object>(value);
    } else if (name == "threads") {
      threadsArg = py::reinterpret_borrow<py::object>(value);
    } else {
      const Keyword* keyword = nullptr;
      for (const Keyword& k : ControlKeywords())
        if (k.name == name) keyword = &k;
      if (keyword == nullptr)
        throw py::type_error("render() got an unexpected keyword argument '" + name +
                             "'; it takes " + KeywordList());
      SetControl(settings, *keyword, value);
    }
  }
  if (!pixelsArg) throw py::type_error("render() needs the pixel array");
  if (!py::isinstance<py::array>(pixelsArg))
    throw py::type_error(
        "pixels must be a numpy.ndarray of shape (height, width, 4) or (height, "
        "width, 3), got " +
        std::string(py::str(pixelsArg.get_type().attr("__name__"))));
  py::array pixels = py::reinterpret_borrow<py::array>(pixelsArg);
  const int threads =
      OptionalInteger("threads", threadsArg, "an integer from 1 to 256, or None for all cores",
                      [](long long v) { return v >= 1 && v <= kMaxThreads; });
  int depth = OptionalInteger("depth", depthArg, "8 or 16, or None for the array's own",
                              [](long long v) { return v == 8 || v == 16; });
  const SampleType type = CheckedSampleType(pixels);
  const bool isFloat = type == SampleType::float16 || type == SampleType::float32;
  if (isFloat && depth == 8)
    throw py::value_error("float pixels render at 16 bits: depth must be 16 or None");
  if (depth == 0) depth = type == SampleType::uint8 ? 8 : 16;
  CheckShape(pixels, depth);

  switch (type) {
    case SampleType::uint8: return Render<uint8_t>(pixels, settings, depth, threads, premultiplied);
    case SampleType::uint16: return Render<uint16_t>(pixels, settings, depth, threads, premultiplied);
    case SampleType::float32: return Render<float>(pixels, settings, depth, threads, premultiplied);
    case SampleType::float16: {
      // Half floats widen to float32 exactly, and the result narrows back.
      const py::array wide = pixels.attr("astype")("float32");
      return py::array(Render<float>(wide, settings, depth, threads, premultiplied).attr("astype")("float16"));
    }
  }
  return py::none();
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
         "    premultiplied=True. Any strides are taken (slices, reversed or broadcast views): the\n"
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
