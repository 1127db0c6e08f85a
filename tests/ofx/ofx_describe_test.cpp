// What a host sees of the plug-in before and around rendering: the binary's
// record, the descriptor, both contexts' clips and parameters, clip
// preferences, regions of interest and the load cycles hosts run. Strings
// are spelled out here as hosts spell them.
#include <gtest/gtest.h>

#include <cstring>
#include <string_view>

#include "tests/ofx/ofx_test_support.h"

namespace corvalin::ofxtest {
namespace {

using Strings = std::vector<std::string>;
using Ints = std::vector<int>;
using Doubles = std::vector<double>;

// A property's whole value; none when it is unset, so that a missing
// property fails as a wrong one does.
Ints IntsOf(const PropertySet& set, const std::string& name) {
  const Property* p = set.Find(name);
  return p == nullptr ? Ints{} : p->ints;
}
Doubles DoublesOf(const PropertySet& set, const std::string& name) {
  const Property* p = set.Find(name);
  return p == nullptr ? Doubles{} : p->doubles;
}

TEST(OfxDescribe, BinaryHoldsOneImageEffectRecord) {
  OfxTestHost host(BundleBinary());
  EXPECT_EQ(host.pluginCount(), 1);
  const OfxPlugin& p = host.plugin();
  EXPECT_STREQ(p.pluginApi, "OfxImageEffectPluginAPI");
  EXPECT_EQ(p.apiVersion, 1);
  EXPECT_STREQ(p.pluginIdentifier, "org.corvalin.Corvalin");
  EXPECT_EQ(p.pluginVersionMajor, 1u);
  EXPECT_EQ(p.pluginVersionMinor, 0u);
  EXPECT_EQ(OfxTestHost::BinaryInBundle("/x/Corvalin.ofx.bundle/"),
#if defined(_WIN32)
            "/x/Corvalin.ofx.bundle/Contents/Win64/Corvalin.ofx");
#else
            "/x/Corvalin.ofx.bundle/Contents/Linux-x86-64/Corvalin.ofx");
#endif
}

TEST(OfxDescribe, DescriptorDeclaresAWholeFrameFilter) {
  OfxTestHost host(BundleBinary());
  ASSERT_EQ(host.Load(), kOfxStatOK);
  ASSERT_EQ(host.Describe(), kOfxStatOK);
  const PropertySet& d = host.descriptor();
  EXPECT_EQ(d.Strings("OfxPropLabel"), Strings{"Corvalin"});
  EXPECT_EQ(d.Strings("OfxImageEffectPluginPropGrouping"), Strings{"Filter"});
  EXPECT_EQ(d.Strings("OfxPropPluginDescription"),
            Strings{"Smooths the stair-stepped edges of flat-colour images with graded coverage "
                    "blends."});
  EXPECT_EQ(d.Strings("OfxImageEffectPropSupportedContexts"),
            (Strings{"OfxImageEffectContextFilter", "OfxImageEffectContextGeneral"}));
  EXPECT_EQ(d.Strings("OfxImageEffectPropSupportedPixelDepths"),
            (Strings{"OfxBitDepthByte", "OfxBitDepthShort", "OfxBitDepthFloat"}));
  // Hosts assume different values for what is left unset, so each is set:
  // whole frames, any bounds, one depth and aspect for all clips, only the
  // current frame, one render call per frame, any number of renders at once,
  // fields smoothed apart, frames in any order.
  const struct {
    const char* name;
    int value;
  } flags[] = {{"OfxImageEffectPropSupportsTiles", 0},
               {"OfxImageEffectPropSupportsMultiResolution", 1},
               {"OfxImageEffectPropMultipleClipDepths", 0},
               {"OfxImageEffectPropSupportsMultipleClipPARs", 0},
               {"OfxImageEffectPropTemporalClipAccess", 0},
               {"OfxImageEffectPluginPropHostFrameThreading", 0},
               {"OfxImageEffectPluginPropSingleInstance", 0},
               {"OfxImageEffectPluginPropFieldRenderTwiceAlways", 1},
               {"OfxImageEffectInstancePropSequentialRender", 0}};
  for (const auto& flag : flags) EXPECT_EQ(IntsOf(d, flag.name), Ints{flag.value}) << flag.name;
  EXPECT_EQ(d.Strings("OfxImageEffectPluginRenderThreadSafety"),
            Strings{"OfxImageEffectRenderFullySafe"});
  EXPECT_EQ(IntsOf(d, "OfxPropVersion"), (Ints{1, 0}));
  EXPECT_EQ(d.Strings("OfxPropVersionLabel"), Strings{"1.0"});
  EXPECT_TRUE(host.misuses().empty());
}

// A parameter as a host lists it. Sliders have all of their range; a
// boolean or a colour only its default.
struct ExpectedParam {
  const char* name;
  const char* type;
  const char* label;
  const char* hint;
  Ints boolDefault;
  Doubles defaultValue;
  Doubles min = {}, max = {}, displayMin = {}, displayMax = {};
};

void ExpectSlider(const PropertySet& p, const ExpectedParam& e) {
  EXPECT_EQ(DoublesOf(p, "OfxParamPropMin"), e.min);
  EXPECT_EQ(DoublesOf(p, "OfxParamPropMax"), e.max);
  EXPECT_EQ(DoublesOf(p, "OfxParamPropDisplayMin"), e.displayMin);
  EXPECT_EQ(DoublesOf(p, "OfxParamPropDisplayMax"), e.displayMax);
  // One decimal, stepped by a tenth, an unscaled number.
  EXPECT_EQ(IntsOf(p, "OfxParamPropDigits"), Ints{1});
  ASSERT_EQ(DoublesOf(p, "OfxParamPropIncrement").size(), 1u);
  EXPECT_DOUBLE_EQ(p.Double("OfxParamPropIncrement"), 0.1);
  EXPECT_EQ(p.Strings("OfxParamPropDoubleType"), Strings{"OfxParamDoubleTypePlain"});
}

TEST(OfxDescribe, EachContextHasSourceOutputTheFourControlsAndTheMarkers) {
  // In the control table's order, named by script name, then the markers,
  // on by default: an instance that never set them renders them.
  const ExpectedParam expected[] = {
      // clang-format off
      {"useColorKey", "OfxParamTypeBoolean", "Use Color Key",
       "make every pixel of the key colour fully transparent before smoothing", {0}, {}},
      {"alphaKey", "OfxParamTypeRGB", "Alpha Key",
       "the colour that the colour key makes fully transparent (key alpha is 255)", {},
       {1, 1, 1}},
      {"smootherRange", "OfxParamTypeDouble", "Smoother Range",
       "how different neighbours must be to count as an edge, in percent of the largest colour "
       "distance",
       {}, {1}, {0}, {100}, {0}, {100}},
      {"lineWeight", "OfxParamTypeDouble", "Line Weight",
       "how far the smoothing ramps reach along each edge step, from half of it (0) to all of "
       "it (1)",
       {}, {0}, {0}, {1}, {0}, {1}},
      {"cornerMarkers", "OfxParamTypeBoolean", "Corner Markers",
       "write an opaque pure-red pixel at each of the four corners of the rectangle the render "
       "processed (the box around the pixels with content); off leaves them out, and those "
       "pixels keep the smoothing's result",
       {1}, {}},
      // clang-format on
  };
  OfxTestHost host(BundleBinary());
  ASSERT_EQ(host.Load(), kOfxStatOK);
  ASSERT_EQ(host.Describe(), kOfxStatOK);
  for (const char* context : {"OfxImageEffectContextFilter", "OfxImageEffectContextGeneral"}) {
    SCOPED_TRACE(context);
    ASSERT_EQ(host.DescribeInContext(context), kOfxStatOK);
    EXPECT_EQ(host.clipNames(context), (Strings{"Output", "Source"}));
    for (const char* clip : {"Source", "Output"}) {
      SCOPED_TRACE(clip);
      const PropertySet* c = host.clipDescriptor(context, clip);
      ASSERT_NE(c, nullptr);
      EXPECT_EQ(c->Strings("OfxImageEffectPropSupportedComponents"),
                (Strings{"OfxImageComponentRGBA", "OfxImageComponentRGB"}));
      EXPECT_EQ(IntsOf(*c, "OfxImageEffectPropSupportsTiles"), Ints{0});
      EXPECT_EQ(IntsOf(*c, "OfxImageEffectPropTemporalClipAccess"), Ints{0});
      EXPECT_EQ(IntsOf(*c, "OfxImageClipPropOptional"), Ints{0});
    }

    Strings names;
    for (const ExpectedParam& e : expected) names.push_back(e.name);
    EXPECT_EQ(host.paramNames(context), names);
    for (const ExpectedParam& e : expected) {
      SCOPED_TRACE(e.name);
      const PropertySet* p = host.paramDescriptor(context, e.name);
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(host.paramType(context, e.name), e.type);
      EXPECT_EQ(p->Strings("OfxPropLabel"), Strings{e.label});
      EXPECT_EQ(p->Strings("OfxParamPropHint"), Strings{e.hint});
      EXPECT_EQ(p->Strings("OfxParamPropScriptName"), Strings{e.name});
      if (std::string_view(e.type) == "OfxParamTypeBoolean") {
        EXPECT_EQ(IntsOf(*p, "OfxParamPropDefault"), e.boolDefault);
      } else {
        EXPECT_EQ(DoublesOf(*p, "OfxParamPropDefault"), e.defaultValue);
      }
      if (std::string_view(e.type) == "OfxParamTypeDouble") ExpectSlider(*p, e);
    }
  }
  EXPECT_EQ(host.DescribeInContext("OfxImageEffectContextGenerator"), kOfxStatErrUnsupported);
  EXPECT_TRUE(host.misuses().empty());
}

// The render works on straight colour and the colour key can make any pixel
// transparent: the Output is straight for a straight Source, else
// premultiplied, never opaque. A Source of no known state reads as straight.
TEST(OfxInstance, OutputIsPremultipliedUnlessTheSourceIsStraight) {
  const struct {
    const char* source;
    const char* output;
  } cases[] = {{"OfxImageAlphaPremultiplied", "OfxImageAlphaPremultiplied"},
               {"OfxImageAlphaUnPremultiplied", "OfxImageAlphaUnPremultiplied"},
               {"OfxImageOpaque", "OfxImageAlphaPremultiplied"},
               {"", "OfxImageAlphaUnPremultiplied"},
               {"OfxImageAlphaSomehow", "OfxImageAlphaUnPremultiplied"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    OfxTestHost host(BundleBinary());
    ClipSetup source;
    source.premultiplication = c.source;
    Prepare(host, source);
    std::string output;
    EXPECT_EQ(host.GetClipPreferences(&output), kOfxStatOK);
    EXPECT_EQ(output, c.output);
    EXPECT_TRUE(host.misuses().empty());
  }
}

TEST(OfxInstance, RegionOfInterestIsTheWholeSource) {
  OfxTestHost host(BundleBinary());
  ClipSetup source;
  source.rod = OfxRectD{-3, 5, 60, 40};
  Prepare(host, source);
  OfxRectD roi{};
  ASSERT_EQ(host.GetRegionsOfInterest(OfxRectD{10, 12, 20, 18}, &roi), kOfxStatOK);
  EXPECT_EQ(roi.x1, -3);
  EXPECT_EQ(roi.y1, 5);
  EXPECT_EQ(roi.x2, 60);
  EXPECT_EQ(roi.y2, 40);
}

// Hosts scan binaries (Load, Describe, Unload) and load them again to use
// them; several hosts may hold one binary. Actions the effect does not
// handle answer "default", never OK.
TEST(OfxInstance, SurvivesLoadCyclesAndDefaultsUnhandledActions) {
  {
    OfxTestHost scan(BundleBinary());
    ASSERT_EQ(scan.Load(), kOfxStatOK);
    ASSERT_EQ(scan.Describe(), kOfxStatOK);
    ASSERT_EQ(scan.Unload(), kOfxStatOK);
  }
  OfxTestHost first(BundleBinary()), second(BundleBinary());
  Prepare(first);
  ASSERT_EQ(first.Unload(), kOfxStatOK);
  Prepare(second);
  for (const char* action :
       {"OfxImageEffectActionIsIdentity", "OfxImageEffectActionBeginSequenceRender",
        "OfxImageEffectActionEndSequenceRender", "OfxImageEffectActionGetRegionOfDefinition",
        "OfxActionPurgeCaches", "OfxActionInstanceChanged", "NoSuchAction"})
    EXPECT_EQ(second.Action(action, second.instanceHandle(), nullptr, nullptr),
              kOfxStatReplyDefault)
        << action;

  // An instance left at its defaults renders with the table's defaults.
  const Picture picture = GeneratedPicture(9, 23, 17, 8);
  const RenderCheck check =
      RenderAndCompare(second, picture, DefaultRenderSettings(), "OfxBitDepthByte",
                       "OfxImageComponentRGBA", {}, nullptr, /*keepParams=*/true);
  EXPECT_EQ(check.difference, "");
  EXPECT_EQ(second.DestroyInstance(), kOfxStatReplyDefault);
  EXPECT_EQ(second.Unload(), kOfxStatOK);
  EXPECT_TRUE(second.misuses().empty());
}

}  // namespace
}  // namespace corvalin::ofxtest
