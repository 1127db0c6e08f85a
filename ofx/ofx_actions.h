// The plug-in's actions. Each takes the host's suites and the action's
// arguments as the entry point received them, and returns the action's
// status with, for a failure, the text to tell the user.
#pragma once

#include "ofx/ofx_api.h"
#include "ofx/ofx_suites.h"

namespace corvalin::ofx {

inline constexpr const char* kPluginIdentifier = "org.corvalin.Corvalin";
inline constexpr const char* kPluginGrouping = "Filter";

// Describe: the effect's label, contexts, depths and render properties.
Failure Describe(const HostSuites& suites, OfxImageEffectHandle descriptor);

// DescribeInContext: the Source and Output clips, one parameter per control
// of the control table, and the corner markers' switch.
Failure DescribeInContext(const HostSuites& suites, OfxImageEffectHandle descriptor,
                          OfxPropertySetHandle inArgs);

// GetClipPreferences: the output is unpremultiplied for an unpremultiplied
// source, premultiplied for a premultiplied or opaque one (the colour key can
// make pixels transparent); Render writes it so.
Failure GetClipPreferences(const HostSuites& suites, OfxImageEffectHandle instance,
                           OfxPropertySetHandle outArgs);

// GetRegionsOfInterest: the whole source, whatever region is asked for.
Failure GetRegionsOfInterest(const HostSuites& suites, OfxImageEffectHandle instance,
                             OfxPropertySetHandle inArgs, OfxPropertySetHandle outArgs);

// Render: the whole source frame, written into the render window.
Failure Render(const HostSuites& suites, OfxImageEffectHandle instance,
               OfxPropertySetHandle inArgs);

}  // namespace corvalin::ofx
