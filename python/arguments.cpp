// render()'s arguments, checked before a byte is copied: the control keywords
// into render settings, the flags, depth and thread count, and the array's
// dtype and shape. Every refusal is a TypeError or ValueError that names the
// argument and its valid range. The keywords, their defaults and ranges come
// from the control table, so a new control needs no code here.
#include "python/arguments.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "effect/controls.h"
#include "engine/view/frame_view.h"

namespace corvalin::python {

namespace {

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

}  // namespace

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

const std::vector<Keyword>& ControlKeywords() {
  static const std::vector<Keyword> keywords = [] {
    std::vector<Keyword> list;
    for (const ControlSpec& control : kControls)
      list.push_back({KeywordName(control.scriptName), &control});
    return list;
  }();
  return keywords;
}

namespace {

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

Pixel8 ColourValue(const ControlSpec& control, const std::string& name, const py::handle& value) {
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

// ---- The call -------------------------------------------------------------

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

}  // namespace

RenderCall CheckedRenderCall(const py::args& args, const py::kwargs& kwargs) {
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
  return RenderCall{pixels, type, settings, depth, threads, premultiplied};
}

}  // namespace corvalin::python
