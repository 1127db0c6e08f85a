// What a host sees of the plug-in before and around rendering: the binary's
// record, the descriptor, both contexts' clips and parameters, clip
// preferences, regions of interest and the load cycles hosts run. Strings
// are spelled out here as hosts spell them.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/ofx/ofx_test_support.h"

namespace corvalin::ofxtest {
namespace {

using Strings = std::vector<std::string>;

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
  EXPECT_EQ(d.String("OfxPropLabel"), "Corvalin");
  EXPECT_EQ(d.String("OfxImageEffectPluginPropGrouping"), "Filter");
  EXPECT_FALSE(d.String("OfxPropPluginDescription").empty());
  EXPECT_EQ(d.Strings("OfxImageEffectPropSupportedContexts"),
            (Strings{"OfxImageEffectContextFilter", "OfxImageEffectContextGeneral"}));
  EXPECT_EQ(d.Strings("OfxImageEffectPropSupportedPixelDepths"),
            (Strings{"OfxBitDepthByte", "OfxBitDepthShort", "OfxBitDepthFloat"}));
  EXPECT_EQ(d.Int("OfxImageEffectPropSupportsTiles"), 0);
  EXPECT_EQ(d.Int("OfxImageEffectPropTemporalClipAccess"), 0);
  EXPECT_EQ(d.Int("OfxImageEffectPropMultipleClipDepths"), 0);
  EXPECT_EQ(d.Int("OfxImageEffectPluginPropHostFrameThreading"), 0);
  EXPECT_EQ(d.String("OfxImageEffectPluginRenderThreadSafety"), "OfxImageEffectRenderFullySafe");
  EXPECT_EQ(d.Int("OfxPropVersion", 0), 1);
  EXPECT_EQ(d.Int("OfxPropVersion", 1), 0);
  EXPECT_EQ(d.String("OfxPropVersionLabel"), "1.0");
  EXPECT_TRUE(host.misuses().empty());
}

TEST(OfxDescribe, EachContextHasSourceOutputTheFourControlsAndTheMarkers) {
  OfxTestHost host(BundleBinary());
  ASSERT_EQ(host.Load(), kOfxStatOK);
  ASSERT_EQ(host.Describe(), kOfxStatOK);
  for (const char* context : {"OfxImageEffectContextFilter", "OfxImageEffectContextGeneral"}) {
    SCOPED_TRACE(context);
    ASSERT_EQ(host.DescribeInContext(context), kOfxStatOK);
    EXPECT_EQ(host.clipNames(context), (Strings{"Output", "Source"}));
    for (const char* clip : {"Source", "Output"}) {
      const PropertySet* c = host.clipDescriptor(context, clip);
      ASSERT_NE(c, nullptr);
      EXPECT_EQ(c->Strings("OfxImageEffectPropSupportedComponents"),
                (Strings{"OfxImageComponentRGBA", "OfxImageComponentRGB"}));
      EXPECT_EQ(c->Int("OfxImageEffectPropSupportsTiles"), 0);
    }

    // In the control table's order, named by script name, then the markers.
    EXPECT_EQ(host.paramNames(context), (Strings{"useColorKey", "alphaKey", "smootherRange",
                                                 "lineWeight", "cornerMarkers"}));
    const PropertySet* key = host.paramDescriptor(context, "useColorKey");
    EXPECT_EQ(host.paramType(context, "useColorKey"), "OfxParamTypeBoolean");
    EXPECT_EQ(key->String("OfxPropLabel"), "Use Color Key");
    EXPECT_EQ(key->Int("OfxParamPropDefault"), 0);

    const PropertySet* colour = host.paramDescriptor(context, "alphaKey");
    EXPECT_EQ(host.paramType(context, "alphaKey"), "OfxParamTypeRGB");
    EXPECT_EQ(colour->String("OfxPropLabel"), "Alpha Key");
    EXPECT_EQ(colour->Find("OfxParamPropDefault")->doubles, (std::vector<double>{1, 1, 1}));

    const PropertySet* range = host.paramDescriptor(context, "smootherRange");
    EXPECT_EQ(host.paramType(context, "smootherRange"), "OfxParamTypeDouble");
    EXPECT_EQ(range->String("OfxPropLabel"), "Smoother Range");
    EXPECT_EQ(range->Double("OfxParamPropDefault"), 1.0);
    EXPECT_EQ(range->Double("OfxParamPropMin"), 0.0);
    EXPECT_EQ(range->Double("OfxParamPropMax"), 100.0);
    EXPECT_EQ(range->Double("OfxParamPropDisplayMax"), 100.0);

    const PropertySet* weight = host.paramDescriptor(context, "lineWeight");
    EXPECT_EQ(host.paramType(context, "lineWeight"), "OfxParamTypeDouble");
    EXPECT_EQ(weight->String("OfxPropLabel"), "Line Weight");
    EXPECT_EQ(weight->Double("OfxParamPropDefault"), 0.0);
    EXPECT_EQ(weight->Double("OfxParamPropMax"), 1.0);

    // On by default: an instance that never set it renders the markers.
    const PropertySet* markers = host.paramDescriptor(context, "cornerMarkers");
    EXPECT_EQ(host.paramType(context, "cornerMarkers"), "OfxParamTypeBoolean");
    EXPECT_EQ(markers->String("OfxPropLabel"), "Corner Markers");
    EXPECT_EQ(markers->Find("OfxParamPropDefault")->ints, (std::vector<int>{1}));

    std::vector<const ControlSpec*> described;
    for (const ControlSpec& control : kControls) described.push_back(&control);
    described.push_back(&kCornerMarkers);
    for (const ControlSpec* control : described) {
      const PropertySet* p = host.paramDescriptor(context, control->scriptName);
      EXPECT_EQ(p->String("OfxParamPropHint"), control->help);
      EXPECT_EQ(p->String("OfxParamPropScriptName"), control->scriptName);
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
  const RenderCheck check = RenderAndCompare(second, picture, DefaultRenderSettings(),
                                             "OfxBitDepthByte", "OfxImageComponentRGBA", {},
                                             nullptr, /*keepParams=*/true);
  EXPECT_EQ(check.difference, "");
  EXPECT_EQ(second.DestroyInstance(), kOfxStatReplyDefault);
  EXPECT_EQ(second.Unload(), kOfxStatOK);
  EXPECT_TRUE(second.misuses().empty());
}

}  // namespace
}  // namespace corvalin::ofxtest
