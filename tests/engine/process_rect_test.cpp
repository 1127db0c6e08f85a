#include "engine/rect/process_rect.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "test_frame.h"

namespace corvalin {
namespace {

using test::TestFrame;

const PF_Pixel8 kWhiteKey{255, 255, 255, 255};

template <class Pixel>
ProcessRect Find(TestFrame<Pixel>& f, bool useKey, PF_Pixel8 key = kWhiteKey) {
  ProcessRect rect{-7, -7, -7, -7};
  FindProcessRect(f.input.data(), f.inWorld.rowbytes, f.height, rect, useKey, key);
  return rect;
}

void ExpectRect(const ProcessRect& r, int left, int top, int right, int bottom) {
  EXPECT_EQ(std::tuple(r.left, r.top, r.right, r.bottom), std::tuple(left, top, right, bottom));
}

TEST(ColourKey, KeyOffExcludesButKeepsKeyColourKeyOnClearsIt) {
  TestFrame<PF_Pixel8> f(8, 6, PF_Pixel8{255, 255, 255, 255});
  f.Fill(2, 1, 5, 4, PF_Pixel8{255, 10, 20, 30});
  ExpectRect(Find(f, false), 2, 1, 5, 4);
  EXPECT_EQ(f.in(0, 0), (PF_Pixel8{255, 255, 255, 255}));
  ExpectRect(Find(f, true), 2, 1, 5, 4);
  EXPECT_EQ(f.in(0, 0), (PF_Pixel8{0, 0, 0, 0}));
  EXPECT_EQ(f.in(7, 5), (PF_Pixel8{0, 0, 0, 0}));
  EXPECT_EQ(f.in(3, 2), (PF_Pixel8{255, 10, 20, 30}));

  // At 16 bits white is 32768 per channel, which is not the raw key colour.
  TestFrame<PF_Pixel16> g(8, 6, PF_Pixel16{32768, 32768, 32768, 32768});
  g.Fill(2, 1, 5, 4, PF_Pixel16{32768, 10, 20, 30});
  ExpectRect(Find(g, false), 0, 0, 8, 6);
  // Raw 255s are the key colour when the key is off.
  TestFrame<PF_Pixel16> h(4, 4, PF_Pixel16{32768, 255, 255, 255});
  h.in(2, 3) = PF_Pixel16{32768, 256, 255, 255};
  ExpectRect(Find(h, false), 2, 3, 3, 4);
}

TEST(ColourKey, SixteenBitKeyConvertsOnlyAboveEightBitRange) {
  const std::pair<PF_Pixel16, bool> cases[] = {
      {{32768, 32768, 32768, 32768}, true},   // 255 after conversion
      {{32768, 32704, 32704, 32704}, true},   // smallest value that gives 255
      {{32768, 32703, 32768, 32768}, false},  // 254: no match
      {{32768, 255, 255, 255}, true},         // raw comparison
      {{32768, 65535, 65535, 65535}, true},   // clamped to 255
      {{32768, 0, 0, 0}, false}};
  TestFrame<PF_Pixel16> f(6, 1, PF_Pixel16{});
  for (int32_t x = 0; x < 6; ++x) f.in(x, 0) = cases[x].first;
  Find(f, true);
  for (int32_t x = 0; x < 6; ++x)
    EXPECT_EQ(f.in(x, 0), cases[x].second ? PF_Pixel16{} : cases[x].first) << x;
}

TEST(ColourKey, IgnoresAlphaOnBothSides) {
  TestFrame<PF_Pixel8> f(3, 1, PF_Pixel8{0, 255, 255, 255});
  f.in(1, 0) = PF_Pixel8{255, 1, 2, 3};
  ExpectRect(Find(f, true, PF_Pixel8{0, 255, 255, 255}), 1, 0, 2, 1);
  EXPECT_EQ(f.in(0, 0), (PF_Pixel8{0, 0, 0, 0}));
}

TEST(ProcessRectangle, TransparentPixelsNeverCount) {
  TestFrame<PF_Pixel8> f(5, 4, PF_Pixel8{0, 200, 100, 50});
  ExpectRect(Find(f, false), 0, 0, 1, 1);
  f.in(0, 2) = PF_Pixel8{1, 0, 0, 0};
  ExpectRect(Find(f, false), 0, 2, 1, 3);
}

TEST(ProcessRectangle, RowPaddingIsVisited) {
  TestFrame<PF_Pixel8> f(4, 3, PF_Pixel8{0, 0, 0, 0}, 2);
  f.in(1, 1) = PF_Pixel8{255, 0, 0, 0};
  f.in(5, 1) = PF_Pixel8{255, 9, 9, 9};  // in the padding
  ExpectRect(Find(f, false), 1, 1, 6, 2);
  f.in(4, 2) = PF_Pixel8{255, 255, 255, 255};
  Find(f, true);
  EXPECT_EQ(f.in(4, 2), (PF_Pixel8{0, 0, 0, 0}));
}

}  // namespace
}  // namespace corvalin
