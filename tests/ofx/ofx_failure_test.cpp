// Bad input from a host: each action fails with the standard's status and
// tells the user why through the message suite, and a failed render leaves
// every byte of the output image as it was.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

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

// Renders each spoilt request through one instance: it returns the case's
// status, leaves both images as they were, and reports one error message
// through the host, with no misuse of its suites.
template <size_t N>
void ExpectEachFailsCleanly(const Picture& picture, const BadRender (&cases)[N]) {
  OfxTestHost host(BundleBinary());
  Prepare(host);
  for (const BadRender& c : cases) {
    SCOPED_TRACE(c.name);
    host.ClearRecords();
    HostImage source = SourceImage(picture, "OfxBitDepthByte", "OfxImageComponentRGBA", {});
    HostImage output("OfxBitDepthByte", "OfxImageComponentRGBA", source.bounds);
    RenderRequest request = WholeFrameRequest(source, output);
    c.spoil(request, source, output);
    const std::vector<unsigned char> sourceBefore = source.bytes(), before = output.bytes();
    EXPECT_EQ(host.Render(request), c.status);
    EXPECT_EQ(output.bytes(), before);
    EXPECT_EQ(source.bytes(), sourceBefore);
    const std::vector<Message> messages = host.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].type, "OfxMessageError");
    EXPECT_EQ(messages[0].text.rfind("Corvalin: ", 0), 0u) << messages[0].text;
    EXPECT_TRUE(host.misuses().empty()) << host.misuses()[0];
  }
}

TEST(OfxFailure, BadRenderInputFailsCleanly) {
  const Picture picture = GeneratedPicture(7, 12, 9, 8);
  const BadRender cases[] = {
      {"no Source image", kOfxStatFailed,
       [](RenderRequest& r, HostImage&, HostImage&) { r.source = nullptr; }},
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
      {"unknown premultiplication", kOfxStatErrUnsupported,
       [](RenderRequest&, HostImage& s, HostImage&) {
         s.premultiplication = "OfxImageAlphaSomehow";
       }},
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
  ExpectEachFailsCleanly(picture, cases);
}

// Geometry at the ends of the 32-bit range, and row bytes or data pointers
// that no real image has: every value is checked before use, so the render
// fails and neither image is touched (under AddressSanitizer, nothing is
// read either). The images are 12 x 9 byte RGBA at the origin until spoilt.
TEST(OfxFailure, ExtremeHostGeometryFailsCleanly) {
  constexpr int kMin = INT32_MIN, kMax = INT32_MAX;
  const Picture picture = GeneratedPicture(11, 12, 9, 8);
  const BadRender cases[] = {
      // The row loop once wrapped at INT_MIN and wrote past the frame.
      {"Source y1 = INT_MIN, nine rows", kOfxStatFailed,
       [](RenderRequest&, HostImage& s, HostImage&) {
         s.bounds = {0, kMin, 12, kMin + 9};
       }},
      {"Source y1 = INT_MIN, y2 as given", kOfxStatFailed,
       [](RenderRequest&, HostImage& s, HostImage&) { s.bounds.y1 = kMin; }},
      {"Source x1 = INT_MIN", kOfxStatFailed,
       [](RenderRequest&, HostImage& s, HostImage&) { s.bounds.x1 = kMin; }},
      {"Source x2 = INT_MAX", kOfxStatFailed,
       [](RenderRequest&, HostImage& s, HostImage&) { s.bounds.x2 = kMax; }},
      {"Source y2 = INT_MAX", kOfxStatFailed,
       [](RenderRequest&, HostImage& s, HostImage&) { s.bounds.y2 = kMax; }},
      {"Source bounds the whole plane", kOfxStatFailed,
       [](RenderRequest&, HostImage& s, HostImage&) {
         s.bounds = {kMin, kMin, kMax, kMax};
       }},
      {"Source bounds inverted end to end", kOfxStatFailed,
       [](RenderRequest&, HostImage& s, HostImage&) {
         s.bounds = {kMax, kMax, kMin, kMin};
       }},
      {"Output y1 = INT_MIN, nine rows", kOfxStatFailed,
       [](RenderRequest& r, HostImage&, HostImage& o) {
         o.bounds = {0, kMin, 12, kMin + 9};
         r.window = o.bounds;
       }},
      {"Output y2 = INT_MAX, window as before", kOfxStatFailed,
       [](RenderRequest&, HostImage&, HostImage& o) { o.bounds.y2 = kMax; }},
      {"Output and window the whole plane", kOfxStatFailed,
       [](RenderRequest& r, HostImage&, HostImage& o) {
         o.bounds = {kMin, kMin, kMax, kMax};
         r.window = o.bounds;
       }},
      {"window the whole plane", kOfxStatFailed,
       [](RenderRequest& r, HostImage&, HostImage&) {
         r.window = {kMin, kMin, kMax, kMax};
       }},
      {"window inverted end to end", kOfxStatFailed,
       [](RenderRequest& r, HostImage&, HostImage&) {
         r.window = {kMax, kMax, kMin, kMin};
       }},
      {"window x2 = INT_MAX", kOfxStatFailed,
       [](RenderRequest& r, HostImage&, HostImage&) { r.window.x2 = kMax; }},
      // 12 x 200,000,000 pixels: more than a 32-bit index reaches.
      {"Source rows beyond the index limit", kOfxStatFailed,
       [](RenderRequest&, HostImage& s, HostImage&) { s.bounds.y2 = 200'000'000; }},
      {"Output rows beyond the index limit", kOfxStatFailed,
       [](RenderRequest&, HostImage&, HostImage& o) { o.bounds.y2 = 200'000'000; }},
      // Nine rows of 2 GiB each are 4.8 billion pixels with the padding.
      {"Source row bytes INT_MAX", kOfxStatFailed,
       [](RenderRequest&, HostImage& s, HostImage&) { s.rowBytes = kMax; }},
      {"Source row bytes INT_MIN", kOfxStatFailed,
       [](RenderRequest&, HostImage& s, HostImage&) { s.rowBytes = kMin; }},
      {"Output row bytes INT_MIN", kOfxStatFailed,
       [](RenderRequest&, HostImage&, HostImage& o) { o.rowBytes = kMin; }},
      {"Source negative row bytes below address zero", kOfxStatFailed,
       [](RenderRequest&, HostImage& s, HostImage&) {
         s.rowBytes = -s.rowBytes;
         s.reportedAddress = 64;  // eight rows of 48 bytes down wrap
       }},
      {"Output negative row bytes below address zero", kOfxStatFailed,
       [](RenderRequest&, HostImage&, HostImage& o) {
         o.rowBytes = -o.rowBytes;
         o.reportedAddress = 64;  // eight rows of 48 bytes down wrap
       }},
      {"Source rows past the top of memory", kOfxStatFailed,
       [](RenderRequest&, HostImage& s, HostImage&) { s.reportedAddress = UINTPTR_MAX - 255; }},
      {"Output rows past the top of memory", kOfxStatFailed,
       [](RenderRequest&, HostImage&, HostImage& o) { o.reportedAddress = UINTPTR_MAX - 255; }},
  };
  ExpectEachFailsCleanly(picture, cases);
}

// The messages name the value that was refused and the limit.
TEST(OfxFailure, GeometryMessagesNameTheValue) {
  const Picture picture = GeneratedPicture(11, 12, 9, 8);
  const struct {
    const char* name;
    std::function<void(HostImage&)> spoil;
    const char* expected;
  } cases[] = {
      {"infinite",
       [](HostImage& s) {
         s.bounds = {0, INT32_MIN, 12, INT32_MIN + 9};
       },
       "Corvalin: the Source image: its bounds (0, -2147483648, 12, -2147483639) are infinite "
       "(INT_MIN or INT_MAX); an image has finite bounds"},
      {"index limit", [](HostImage& s) { s.rowBytes = INT32_MAX; },
       "Corvalin: the Source image: its 9 rows of 2147483647 bytes span 4831838208 pixels, more "
       "than the 2147483647 the effect addresses"},
      {"address", [](HostImage& s) { s.reportedAddress = UINTPTR_MAX - 255; },
       "Corvalin: the Source image: its pixels at address 18446744073709551360 with row bytes "
       "48 run past the ends of memory"},
  };
  OfxTestHost host(BundleBinary());
  Prepare(host);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    host.ClearRecords();
    HostImage source = SourceImage(picture, "OfxBitDepthByte", "OfxImageComponentRGBA", {});
    HostImage output("OfxBitDepthByte", "OfxImageComponentRGBA", source.bounds);
    c.spoil(source);
    RenderRequest request;
    request.source = &source;
    request.output = &output;
    request.window = output.bounds;
    EXPECT_EQ(host.Render(request), kOfxStatFailed);
    const std::vector<Message> messages = host.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, c.expected);
  }
}

// An RGB row of 3-byte pixels that the host can hold but the engine's 4-byte
// working row cannot: refused by the engine's check, in its words, before a
// working frame is made or a pixel read.
TEST(OfxFailure, SourceWiderThanTheEnginesRowsIsRefusedInItsWords) {
  OfxTestHost host(BundleBinary());
  Prepare(host);
  HostImage source("OfxBitDepthByte", "OfxImageComponentRGB", {0, 0, 4, 4});
  HostImage output("OfxBitDepthByte", "OfxImageComponentRGB", {0, 0, 4, 4});
  source.bounds = {0, 0, 600'000'000, 1};
  source.rowBytes = 1'800'000'000;
  RenderRequest request;
  request.source = &source;
  request.output = &output;
  request.window = output.bounds;
  const std::vector<unsigned char> before = output.bytes();
  EXPECT_EQ(host.Render(request), kOfxStatErrUnsupported);
  EXPECT_EQ(output.bytes(), before);
  const std::vector<Message> messages = host.messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text,
            "Corvalin: the Source image is too large for the effect: a frame of 600000000 x 1 "
            "pixels at 8 bits is too wide: a row must be at most 2147483647 bytes, width at "
            "most 536870911 at 8 bits");
  EXPECT_TRUE(host.misuses().empty());
}

// One step inside the limits the bounds are finite: such images render as
// the module renders the picture, with nothing outside the window touched.
TEST(OfxFailure, ImagesOneInsideTheCoordinateLimitsRender) {
  const Picture picture = GeneratedPicture(13, 12, 9, 8);
  OfxTestHost host(BundleBinary());
  Prepare(host);
  for (const Placement placement :
       {Placement{INT32_MIN + 1, INT32_MIN + 1, {}}, Placement{INT32_MAX - 13, INT32_MAX - 10, {}},
        Placement{INT32_MIN + 1, INT32_MAX - 10, {true, 8, 0x5A}}}) {
    SCOPED_TRACE(std::to_string(placement.x0) + ", " + std::to_string(placement.y0));
    for (const char* depth : kDepths) {
      SCOPED_TRACE(depth);
      const RenderCheck check = RenderAndCompare(host, picture, SettingsSet()[3], depth,
                                                 "OfxImageComponentRGBA", placement);
      EXPECT_EQ(check.status, kOfxStatOK);
      EXPECT_EQ(check.difference, "");
    }
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
