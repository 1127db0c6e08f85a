// Bad input from a host: each action fails with the standard's status and
// tells the user why through the message suite, and a failed render leaves
// every byte of the output image as it was.
#include <gtest/gtest.h>

#include <functional>

#include "tests/ofx/ofx_test_support.h"

namespace corvalin::ofxtest {
namespace {

TEST(OfxFailure, HostWithoutANeededSuiteIsRefused) {
  for (const char* suite : {"OfxPropertySuite", "OfxImageEffectSuite", "OfxParameterSuite"}) {
    SCOPED_TRACE(suite);
    OfxTestHost host(BundleBinary(), HostOptions{{suite}, true});
    EXPECT_EQ(host.Load(), kOfxStatErrMissingHostFeature);
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].type, "OfxMessageError");
    EXPECT_NE(host.messages()[0].text.find(suite), std::string::npos);
    // Nothing else runs on a host that failed the load.
    EXPECT_EQ(host.Describe(), kOfxStatErrMissingHostFeature);
  }
}

// The message suite is optional: version 1 serves as well, and without any
// the effect renders and fails alike, only silently.
TEST(OfxFailure, MessageSuiteIsOptional) {
  const Picture picture = GeneratedPicture(5, 19, 13, 8);
  const struct {
    HostOptions options;
    size_t messages;
  } hosts[] = {{HostOptions{{}, false}, 1}, {HostOptions{{"OfxMessageSuite"}, true}, 0}};
  for (const auto& h : hosts) {
    OfxTestHost host(BundleBinary(), h.options);
    Prepare(host);
    EXPECT_EQ(RenderAndCompare(host, picture, SettingsSet()[1], "OfxBitDepthFloat",
                               "OfxImageComponentRGB")
                  .difference,
              "");
    HostImage output("OfxBitDepthByte", "OfxImageComponentRGBA", {0, 0, 4, 4});
    RenderRequest request;
    request.output = &output;
    request.window = output.bounds;
    EXPECT_EQ(host.Render(request), kOfxStatFailed);
    EXPECT_EQ(host.messages().size(), h.messages);
  }
}

struct BadRender {
  const char* name;
  OfxStatus status;
  // Spoils a well-formed request (byte RGBA, 12 x 9 at the origin).
  std::function<void(RenderRequest&, HostImage& source, HostImage& output)> spoil;
};

TEST(OfxFailure, BadRenderInputFailsCleanly) {
  const Picture picture = GeneratedPicture(7, 12, 9, 8);
  const BadRender cases[] = {
      {"no Source image", kOfxStatFailed, [](RenderRequest& r, HostImage&, HostImage&) {
         r.source = nullptr;
       }},
      {"image handle null", kOfxStatFailed,
       [](RenderRequest& r, HostImage&, HostImage&) { r.nullImageHandle = true; }},
      {"no render arguments", kOfxStatFailed,
       [](RenderRequest& r, HostImage&, HostImage&) { r.nullInArgs = true; }},
      {"no instance handle", kOfxStatFailed,
       [](RenderRequest& r, HostImage&, HostImage&) { r.nullHandle = true; }},
      {"Source half floats", kOfxStatErrUnsupported,
       [](RenderRequest&, HostImage& s, HostImage&) { s.depth = "OfxBitDepthHalf"; }},
      {"Output alpha only", kOfxStatErrUnsupported,
       [](RenderRequest&, HostImage&, HostImage& o) { o.components = "OfxImageComponentAlpha"; }},
      {"unknown depth", kOfxStatErrUnsupported,
       [](RenderRequest&, HostImage& s, HostImage&) { s.depth = "OfxBitDepthNone"; }},
      {"Source RGB, Output RGBA", kOfxStatErrUnsupported,
       [](RenderRequest&, HostImage& s, HostImage&) { s.components = "OfxImageComponentRGB"; }},
      {"Source short, Output byte", kOfxStatErrUnsupported,
       [](RenderRequest&, HostImage& s, HostImage&) { s.depth = "OfxBitDepthShort"; }},
      {"Source row bytes short of a row", kOfxStatFailed,
       [](RenderRequest&, HostImage& s, HostImage&) { s.rowBytes = 12 * 4 - 1; }},
      {"Source negative row bytes short of a row", kOfxStatFailed,
       [](RenderRequest&, HostImage& s, HostImage&) { s.rowBytes = -(12 * 4 - 4); }},
      {"Output bounds wider than its rows", kOfxStatFailed,
       [](RenderRequest&, HostImage&, HostImage& o) { o.bounds.x2 += 1; }},
      {"Source bounds inverted", kOfxStatFailed,
       [](RenderRequest&, HostImage& s, HostImage&) { s.bounds.x2 = s.bounds.x1 - 1; }},
      {"Source data null", kOfxStatFailed,
       [](RenderRequest&, HostImage& s, HostImage&) { s.nullData = true; }},
      {"Output data null", kOfxStatFailed,
       [](RenderRequest&, HostImage&, HostImage& o) { o.nullData = true; }},
      {"window beyond the Output", kOfxStatFailed,
       [](RenderRequest& r, HostImage&, HostImage&) { r.window.x2 += 1; }},
      {"window inverted", kOfxStatFailed,
       [](RenderRequest& r, HostImage&, HostImage&) { r.window.y1 = r.window.y2 + 1; }},
  };
  OfxTestHost host(BundleBinary());
  Prepare(host);
  for (const BadRender& c : cases) {
    SCOPED_TRACE(c.name);
    host.ClearRecords();
    HostImage source = SourceImage(picture, "OfxBitDepthByte", "OfxImageComponentRGBA", {});
    HostImage output("OfxBitDepthByte", "OfxImageComponentRGBA", source.bounds);
    RenderRequest request;
    request.source = &source;
    request.output = &output;
    request.window = source.bounds;
    c.spoil(request, source, output);
    const std::vector<unsigned char> before = output.bytes();
    EXPECT_EQ(host.Render(request), c.status);
    EXPECT_EQ(output.bytes(), before);
    const std::vector<Message> messages = host.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].type, "OfxMessageError");
    EXPECT_EQ(messages[0].text.rfind("Corvalin: ", 0), 0u) << messages[0].text;
    EXPECT_TRUE(host.misuses().empty()) << host.misuses()[0];
  }
}

TEST(OfxFailure, NullArgumentsOfOtherActions) {
  OfxTestHost host(BundleBinary());
  Prepare(host);
  OfxRectD roi{};
  EXPECT_EQ(host.GetRegionsOfInterest(OfxRectD{0, 0, 4, 4}, &roi, /*nullOutArgs=*/true),
            kOfxStatFailed);
  EXPECT_EQ(host.Action("OfxImageEffectActionGetClipPreferences", host.instanceHandle(), nullptr,
                        nullptr),
            kOfxStatFailed);
  EXPECT_EQ(host.Action("OfxImageEffectActionDescribeInContext", nullptr, nullptr, nullptr),
            kOfxStatFailed);
  EXPECT_EQ(host.Action("OfxActionDescribe", nullptr, nullptr, nullptr), kOfxStatFailed);
  EXPECT_EQ(host.Action(nullptr, nullptr, nullptr, nullptr), kOfxStatFailed);
  EXPECT_EQ(host.messages().size(), 4u);
  EXPECT_TRUE(host.misuses().empty());
}

}  // namespace
}  // namespace corvalin::ofxtest
