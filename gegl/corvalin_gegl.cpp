// The GEGL operation corvalin:smooth-edges, for GIMP, the gegl command and
// every program built on GEGL. The effect follows edges across the whole
// frame, so the operation asks for its whole input whatever region is
// wanted, renders it in one call on every core, and lets GEGL cache the
// result for the next region. Only gegl_module_query and
// gegl_module_register leave the module.
#define G_LOG_DOMAIN "corvalin"

#include <gegl-plugin.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "effect/controls.h"
#include "effect/pixel_convert.h"
#include "effect/render_samples.h"
#include "effect/sample_convert.h"
#include "effect/string_table.h"
#include "engine/parallel/core_bands.h"
#include "engine/view/frame_view.h"
#include "gegl/gegl_controls.h"

namespace {

using namespace corvalin;
using namespace corvalin::gegl;

// What an instance keeps besides GEGL's own: the settings its properties
// hold, the key as the colour object it was given, the properties whose
// values are out of range (bit i for property i + 1), and the last image
// problem reported, so that each is reported once rather than per region.
struct State {
  RenderSettings settings = DefaultRenderSettings();
  GeglColor* key = nullptr;
  uint32_t badValues = 0;
  std::mutex mutex;
  std::string reported;
};

struct SmoothEdges {
  GeglOperationFilter parent_instance;
  State* state;
};

struct SmoothEdgesClass {
  GeglOperationFilterClass parent_class;
};

GType checkedDoubleType = 0;
gpointer parentClass = nullptr;

State& StateOf(gpointer object) { return *reinterpret_cast<SmoothEdges*>(object)->state; }

// A slider's property keeps whatever double it is set to, where GObject would
// clamp it or refuse it with its own message: the operation names the range
// and passes its input through instead.
gboolean KeepValue(GParamSpec*, GValue*) { return FALSE; }

void CheckedDoubleClassInit(gpointer klass, gpointer) {
  G_PARAM_SPEC_CLASS(klass)->value_validate = KeepValue;
}

GParamFlags PropertyFlags() {
  return static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_CONSTRUCT | GEGL_PARAM_PAD_INPUT);
}

GParamSpec* SliderSpec(const ControlSpec& control) {
  const std::string name = PropertyName(control);
  GParamSpec* spec = G_PARAM_SPEC(g_param_spec_internal(
      checkedDoubleType, name.c_str(), control.displayName, control.help, PropertyFlags()));
  GParamSpecDouble* range = G_PARAM_SPEC_DOUBLE(spec);
  range->minimum = control.validMin;
  range->maximum = control.validMax;
  range->default_value = control.defaultValue;
  GeglParamSpecDouble* ui = GEGL_PARAM_SPEC_DOUBLE(spec);
  ui->ui_minimum = control.sliderMin;
  ui->ui_maximum = control.sliderMax;
  ui->ui_gamma = 1.0;
  double step = 1.0;
  for (int i = 0; i < control.precision; ++i) step /= 10.0;
  const double tenth = (control.sliderMax - control.sliderMin) / 10.0;
  gegl_param_spec_double_set_steps(ui, step, tenth > step ? tenth : step);
  gegl_param_spec_double_set_digits(ui, control.precision);
  return spec;
}

GParamSpec* PropertySpec(const ControlSpec& control) {
  const std::string name = PropertyName(control);
  switch (control.type) {
    case ControlType::checkbox:
      return g_param_spec_boolean(name.c_str(), control.displayName, control.help,
                                  control.defaultValue != 0, PropertyFlags());
    case ControlType::colour: {
      char hex[8];
      g_snprintf(hex, sizeof hex, "#%02x%02x%02x", control.defaultColour.red,
                 control.defaultColour.green, control.defaultColour.blue);
      return gegl_param_spec_color_from_string(name.c_str(), control.displayName, control.help, hex,
                                               PropertyFlags());
    }
    case ControlType::floatSlider: return SliderSpec(control);
  }
  return nullptr;
}

// The key's bytes are the colour's non-linear sRGB components, each rounded
// to the nearest byte as every adapter rounds a colour given in 0..1; the
// key's alpha is the table's.
Pixel8 KeyBytes(GeglColor* colour, const ControlSpec& control) {
  double rgba[4] = {0, 0, 0, 0};
  gegl_color_get_pixel(colour, babl_format("R'G'B'A double"), rgba);
  return Pixel8{control.defaultColour.alpha, ColourComponentToByte(rgba[0]),
                ColourComponentToByte(rgba[1]), ColourComponentToByte(rgba[2])};
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* spec) {
  if (id < 1 || id > kPropertyCount) {
    G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
    return;
  }
  State& state = StateOf(object);
  const ControlSpec& control = PropertyControl(static_cast<int>(id) - 1);
  const uint32_t bit = 1u << (id - 1);
  std::string problem;
  switch (control.type) {
    case ControlType::checkbox:
      state.settings.*control.flagField = g_value_get_boolean(value) != FALSE;
      break;
    case ControlType::colour: {
      GeglColor* colour = static_cast<GeglColor*>(g_value_dup_object(value));
      if (state.key) g_object_unref(state.key);
      state.key = colour;
      if (colour)
        state.settings.*control.colourField = KeyBytes(colour, control);
      else
        problem = PropertyName(control) + " (" + control.displayName +
                  ") is unset: it takes a colour, such as \"#00ff00\"";
      break;
    }
    case ControlType::floatSlider: {
      const double v = g_value_get_double(value);
      state.settings.*control.numberField = v;
      problem = SliderProblem(control, v);
      break;
    }
  }
  if (problem.empty()) {
    state.badValues &= ~bit;
  } else {
    state.badValues |= bit;
    g_warning("%s: %s; the image passes through unchanged until it is set within range",
              kOperationName, problem.c_str());
  }
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* spec) {
  if (id < 1 || id > kPropertyCount) {
    G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
    return;
  }
  const State& state = StateOf(object);
  const ControlSpec& control = PropertyControl(static_cast<int>(id) - 1);
  switch (control.type) {
    case ControlType::checkbox:
      g_value_set_boolean(value, state.settings.*control.flagField);
      break;
    case ControlType::colour: g_value_set_object(value, state.key); break;
    case ControlType::floatSlider:
      g_value_set_double(value, state.settings.*control.numberField);
      break;
  }
}

void Finalize(GObject* object) {
  SmoothEdges* self = reinterpret_cast<SmoothEdges*>(object);
  if (self->state->key) g_object_unref(self->state->key);
  delete self->state;
  self->state = nullptr;
  G_OBJECT_CLASS(parentClass)->finalize(object);
}

void InstanceInit(GTypeInstance* instance, gpointer) {
  reinterpret_cast<SmoothEdges*>(instance)->state = new State;
}

Samples SamplesOf(const Babl* format) {
  if (format == nullptr) return Samples::float32;
  const Babl* type = babl_format_get_type(format, 0);
  return SamplesFor(type == babl_type("u8"), type == babl_type("u16"));
}

void Report(GeglOperation* operation, const std::string& problem) {
  State& state = StateOf(operation);
  std::lock_guard<std::mutex> lock(state.mutex);
  if (problem == state.reported) return;
  state.reported = problem;
  g_warning("%s: %s; the image passes through unchanged", kOperationName, problem.c_str());
}

// The image's encoded values in its own colour space, straight alpha, at the
// depth the command renders such an image.
void Prepare(GeglOperation* operation) {
  const Babl* source = gegl_operation_get_source_format(operation, "input");
  const Babl* format = babl_format_with_space(BablFormatName(SamplesOf(source)), source);
  gegl_operation_set_format(operation, "input", format);
  gegl_operation_set_format(operation, "output", format);
}

GeglRectangle InputBox(GeglOperation* operation) {
  const GeglRectangle* box = gegl_operation_source_get_bounding_box(operation, "input");
  return box ? *box : GeglRectangle{0, 0, 0, 0};
}

// Why this instance passes its input through, or "" when it renders it.
std::string PassThroughProblem(GeglOperation* operation) {
  State& state = StateOf(operation);
  if (state.badValues != 0) return "a property is out of range";
  const GeglRectangle box = InputBox(operation);
  if (gegl_rectangle_is_infinite_plane(&box))
    return "the input is an infinite plane, which has no size to render: connect an image, or "
           "crop the source first";
  const Samples samples = SamplesOf(gegl_operation_get_format(operation, "output"));
  return ImageProblem(box.width, box.height, RenderDepth(samples));
}

bool RendersWholeImage(GeglOperation* operation) { return PassThroughProblem(operation).empty(); }

GeglRectangle BoundingBox(GeglOperation* operation) { return InputBox(operation); }

GeglRectangle RequiredForOutput(GeglOperation* operation, const gchar*, const GeglRectangle* roi) {
  return RendersWholeImage(operation) ? InputBox(operation) : *roi;
}

GeglRectangle CachedRegion(GeglOperation* operation, const GeglRectangle* roi) {
  return RendersWholeImage(operation) ? InputBox(operation) : *roi;
}

GeglRectangle InvalidatedByChange(GeglOperation* operation, const gchar*,
                                  const GeglRectangle* roi) {
  return RendersWholeImage(operation) ? InputBox(operation) : *roi;
}

// Images the operation does not render are handed on as they came, without
// a copy; values out of range were reported when they were set.
//
// So are the reduced images of mipmap levels above 0, which a viewer asks
// for to show the image zoomed out (GIMP's canvas below 100%): the effect is
// defined on the image's own pixels, and the input there is only computed
// at the level asked for, so the operation shows no effect there rather than
// one of its own. Level 0, the image itself, is what every render, export
// and apply asks for.
gboolean OperationProcess(GeglOperation* operation, GeglOperationContext* context, const gchar* pad,
                          const GeglRectangle* roi, gint level) {
  const std::string problem = level > 0 ? "" : PassThroughProblem(operation);
  if (level > 0 || !problem.empty()) {
    if (!problem.empty() && StateOf(operation).badValues == 0) Report(operation, problem);
    GObject* input = gegl_operation_context_get_object(context, "input");
    gegl_operation_context_take_object(context, "output", input ? g_object_ref(input) : nullptr);
    return TRUE;
  }
  return GEGL_OPERATION_CLASS(parentClass)->process(operation, context, pad, roi, level);
}

// The whole image in one frame at its depth. The input's samples are loaded
// into the render frame in place where a sample pixel is the size of a
// render pixel (u8 and u16), and the output frame is then the output's
// samples; float pixels are twice that size, so the input frame lies in the
// output's memory until the store, and the output frame is apart.
template <class Pixel, class Sample>
std::string RenderImage(const RenderSettings& settings, GeglBuffer* input, GeglBuffer* output,
                        const GeglRectangle& box, const Babl* format) {
  const size_t count = static_cast<size_t>(box.width) * static_cast<size_t>(box.height);
  const SampleLayout layout =
      PackedSamples<Sample>(4, int64_t{box.width} * 4 * static_cast<int64_t>(sizeof(Sample)));
  // Every sample is written before it is read: by GEGL, the load or the store.
  const auto in = std::make_unique_for_overwrite<Sample[]>(count * 4);
  const auto out = std::make_unique_for_overwrite<Sample[]>(count * 4);
  gegl_buffer_get(input, &box, 1.0, format, in.get(), GEGL_AUTO_ROWSTRIDE, GEGL_ABYSS_NONE);
  std::unique_ptr<Pixel[]> outputFrame;
  Pixel* inputPixels = reinterpret_cast<Pixel*>(in.get());
  Pixel* outputPixels = reinterpret_cast<Pixel*>(out.get());
  if constexpr (sizeof(Sample) * 4 != sizeof(Pixel)) {
    outputFrame = std::make_unique_for_overwrite<Pixel[]>(count);
    inputPixels = reinterpret_cast<Pixel*>(out.get());
    outputPixels = outputFrame.get();
  }
  // One image at a time: the image itself uses every core.
  CoreBands cores(0);
  std::string problem =
      RenderSamples<Pixel, Sample>(settings, reinterpret_cast<const std::byte*>(in.get()), layout,
                                   reinterpret_cast<std::byte*>(out.get()), layout, box.width,
                                   box.height, inputPixels, outputPixels, cores);
  if (problem.empty()) gegl_buffer_set(output, &box, 0, format, out.get(), GEGL_AUTO_ROWSTRIDE);
  return problem;
}

gboolean FilterProcess(GeglOperation* operation, GeglBuffer* input, GeglBuffer* output,
                       const GeglRectangle*, gint) {
  const GeglRectangle box = InputBox(operation);
  const Babl* format = gegl_operation_get_format(operation, "output");
  const RenderSettings settings = StateOf(operation).settings;
  std::string problem;
  try {
    switch (SamplesOf(format)) {
      case Samples::u8:
        problem = RenderImage<Pixel8, uint8_t>(settings, input, output, box, format);
        break;
      case Samples::u16:
        problem = RenderImage<Pixel16, uint16_t>(settings, input, output, box, format);
        break;
      case Samples::float32:
        problem = RenderImage<Pixel16, float>(settings, input, output, box, format);
        break;
    }
  } catch (const std::bad_alloc&) {
    problem = "there is not enough memory to render the image of " + std::to_string(box.width) +
              " x " + std::to_string(box.height) + " pixels";
  }
  if (!problem.empty()) {
    Report(operation, problem);
    gegl_buffer_copy(input, &box, GEGL_ABYSS_NONE, output, &box);
  }
  return TRUE;
}

void ClassInit(gpointer klass, gpointer) {
  parentClass = g_type_class_peek_parent(klass);
  GObjectClass* object = G_OBJECT_CLASS(klass);
  object->set_property = SetProperty;
  object->get_property = GetProperty;
  object->finalize = Finalize;

  GeglOperationClass* operation = GEGL_OPERATION_CLASS(klass);
  operation->prepare = Prepare;
  operation->get_bounding_box = BoundingBox;
  operation->get_required_for_output = RequiredForOutput;
  operation->get_cached_region = CachedRegion;
  operation->get_invalidated_by_change = InvalidatedByChange;
  operation->process = OperationProcess;
  // One call with the whole image, which spreads it over the cores itself.
  operation->threaded = FALSE;
  operation->want_in_place = FALSE;
  operation->cache_policy = GEGL_CACHE_POLICY_ALWAYS;
  GEGL_OPERATION_FILTER_CLASS(klass)->process = FilterProcess;

  for (int i = 0; i < kPropertyCount; ++i)
    g_object_class_install_property(object, static_cast<guint>(i + 1),
                                    PropertySpec(PropertyControl(i)));
  const std::string key = PropertyName(Control("alphaKey"));
  const std::string useKey = PropertyName(Control("useColorKey"));
  gegl_operation_class_set_property_key(operation, key.c_str(), "sensitive", useKey.c_str());

  // GIMP 3 files the filter in its menus by the gimp: keys; GIMP 2.10 lists
  // every operation under Tools > GEGL Operation and reads none of them.
  gegl_operation_class_set_keys(operation, "name", kOperationName, "title", "Corvalin Smooth Edges",
                                "categories", "enhance", "description", kEffectDescription,
                                "gimp:menu-path", "<Image>/Filters/Enhance", "gimp:menu-label",
                                "Corvalin Smooth Edges...", nullptr);
}

}  // namespace

#pragma GCC visibility push(default)
extern "C" {

const GeglModuleInfo* gegl_module_query(GTypeModule*) {
  static const GeglModuleInfo info = {GEGL_MODULE_ABI_VERSION};
  return &info;
}

gboolean gegl_module_register(GTypeModule* module) {
  const GTypeInfo doubleInfo = {sizeof(GParamSpecClass),
                                nullptr,
                                nullptr,
                                CheckedDoubleClassInit,
                                nullptr,
                                nullptr,
                                sizeof(GeglParamSpecDouble),
                                0,
                                nullptr,
                                nullptr};
  checkedDoubleType =
      g_type_module_register_type(module, GEGL_TYPE_PARAM_DOUBLE, "CorvalinParamDouble",
                                  &doubleInfo, static_cast<GTypeFlags>(0));
  const GTypeInfo info = {
      sizeof(SmoothEdgesClass), nullptr, nullptr,      ClassInit, nullptr, nullptr,
      sizeof(SmoothEdges),      0,       InstanceInit, nullptr};
  g_type_module_register_type(module, GEGL_TYPE_OPERATION_FILTER, "CorvalinSmoothEdges", &info,
                              static_cast<GTypeFlags>(0));
  return TRUE;
}

}  // extern "C"
#pragma GCC visibility pop
