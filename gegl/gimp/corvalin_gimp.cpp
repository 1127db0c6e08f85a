// The GIMP 2.10 plug-in corvalin-smooth-edges: the procedure
// plug-in-corvalin-smooth-edges, which applies the GEGL operation
// corvalin:smooth-edges to a drawable. GIMP 2.10 shows GEGL operations under
// Tools > GEGL Operation but offers scripts no procedure that runs one; this
// gives Script-Fu and batch mode the effect. Its arguments after the
// drawable are the operation's properties, in their order; a value out of
// range is refused with a message naming the range, the drawable left as it
// is.
#include <libgimp/gimp.h>

#include <string>
#include <vector>

#include "effect/controls.h"
#include "effect/identity.h"
#include "gegl/gegl_controls.h"

namespace {

using namespace corvalin;
using namespace corvalin::gegl;

constexpr const char* kProcedure = "plug-in-corvalin-smooth-edges";
constexpr int kFirstProperty = 3;  // after run mode, image and drawable
constexpr int kArgumentCount = kFirstProperty + kPropertyCount;

GimpPDBArgType ArgumentType(const ControlSpec& control) {
  switch (control.type) {
    case ControlType::checkbox: return GIMP_PDB_INT32;
    case ControlType::colour: return GIMP_PDB_COLOR;
    case ControlType::floatSlider: return GIMP_PDB_FLOAT;
  }
  return GIMP_PDB_FLOAT;
}

// GIMP reads the definitions when the query ends, and the query's process
// ends with it: they are not freed.
gchar* Text(const std::string& text) { return g_strdup(text.c_str()); }

void Query() {
  std::vector<GimpParamDef> params = {
      {GIMP_PDB_INT32, Text("run-mode"), Text("The run mode { RUN-NONINTERACTIVE (1) }")},
      {GIMP_PDB_IMAGE, Text("image"), Text("Input image")},
      {GIMP_PDB_DRAWABLE, Text("drawable"), Text("Input drawable")}};
  for (int i = 0; i < kPropertyCount; ++i) {
    const ControlSpec& control = PropertyControl(i);
    std::string description = std::string(control.displayName) + ": " + control.help;
    if (control.type == ControlType::floatSlider)
      description += " (" + NumberText(control.validMin) + " to " + NumberText(control.validMax) +
                     ", default " + NumberText(control.defaultValue) + ")";
    else if (control.type == ControlType::checkbox)
      description += std::string(" (TRUE or FALSE, default ") +
                     (control.defaultValue != 0 ? "TRUE" : "FALSE") + ")";
    params.push_back({ArgumentType(control), Text(PropertyName(control)), Text(description)});
  }
  gimp_install_procedure(
      kProcedure, "Smooths the stair-stepped edges of flat-colour images",
      "Applies the GEGL operation corvalin:smooth-edges to the drawable, within the selection; "
      "the drawable gets the corvalin command's render of the same pixels.",
      kVendor, kVendor, kVersionText, nullptr, "RGB*, GRAY*", GIMP_PLUGIN, kArgumentCount, 0,
      params.data(), nullptr);
}

// Sets the property from its argument, or says why it cannot.
std::string SetProperty(GeglNode* node, const ControlSpec& control, const GimpParamData& data) {
  const std::string name = PropertyName(control);
  switch (control.type) {
    case ControlType::checkbox:
      gegl_node_set(node, name.c_str(), data.d_int32 != 0, nullptr);
      break;
    case ControlType::colour: {
      // Script-Fu's colours are non-linear sRGB components.
      const double rgba[4] = {data.d_color.r, data.d_color.g, data.d_color.b, 1.0};
      GeglColor* colour = gegl_color_new(nullptr);
      gegl_color_set_pixel(colour, babl_format("R'G'B'A double"), rgba);
      gegl_node_set(node, name.c_str(), colour, nullptr);
      g_object_unref(colour);
      break;
    }
    case ControlType::floatSlider: {
      std::string problem = SliderProblem(control, data.d_float);
      if (!problem.empty()) return problem;
      gegl_node_set(node, name.c_str(), data.d_float, nullptr);
      break;
    }
  }
  return {};
}

std::string Apply(gint32 drawable, const GimpParam* params) {
  if (!gegl_has_operation(kOperationName))
    return std::string("the GEGL operation ") + kOperationName +
           " is not installed (the package corvalin-gegl installs it)";
  GeglNode* graph = gegl_node_new();
  GeglNode* node = gegl_node_new_child(graph, "operation", kOperationName, nullptr);
  std::string problem;
  for (int i = 0; i < kPropertyCount && problem.empty(); ++i)
    problem = SetProperty(node, PropertyControl(i), params[kFirstProperty + i].data);
  if (problem.empty()) {
    GeglBuffer* source = gimp_drawable_get_buffer(drawable);
    GeglBuffer* shadow = gimp_drawable_get_shadow_buffer(drawable);
    GeglNode* input =
        gegl_node_new_child(graph, "operation", "gegl:buffer-source", "buffer", source, nullptr);
    GeglNode* output =
        gegl_node_new_child(graph, "operation", "gegl:write-buffer", "buffer", shadow, nullptr);
    gegl_node_link_many(input, node, output, nullptr);
    gegl_node_process(output);
    // The graph still holds the shadow: its tiles go to GIMP before the merge.
    gegl_buffer_flush(shadow);
    g_object_unref(shadow);
    g_object_unref(source);
    gimp_drawable_merge_shadow(drawable, TRUE);
    gimp_drawable_update(drawable, 0, 0, gimp_drawable_width(drawable),
                         gimp_drawable_height(drawable));
  }
  g_object_unref(graph);
  return problem;
}

void Run(const gchar*, gint count, const GimpParam* params, gint* returnCount,
         GimpParam** returned) {
  static GimpParam values[2];
  static std::string message;
  *returnCount = 1;
  *returned = values;
  values[0].type = GIMP_PDB_STATUS;
  values[0].data.d_status = GIMP_PDB_CALLING_ERROR;
  if (count != kArgumentCount) return;
  for (int i = 0; i < kPropertyCount; ++i)
    if (params[kFirstProperty + i].type != ArgumentType(PropertyControl(i))) return;
  gegl_init(nullptr, nullptr);
  message = Apply(params[2].data.d_drawable, params);
  if (message.empty()) {
    values[0].data.d_status = GIMP_PDB_SUCCESS;
    return;
  }
  // The caller's error message (Script-Fu prints it).
  values[0].data.d_status = GIMP_PDB_EXECUTION_ERROR;
  *returnCount = 2;
  values[1].type = GIMP_PDB_STRING;
  values[1].data.d_string = const_cast<gchar*>(message.c_str());
}

const GimpPlugInInfo kPlugIn = {nullptr, nullptr, Query, Run};

}  // namespace

int main(int argc, char* argv[]) { return gimp_main(&kPlugIn, argc, argv); }
