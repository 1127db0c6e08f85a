// The effect's identity for C++ code, with compile-time checks that the
// words and lengths written out for the resource compiler agree with what
// they are derived from.
#pragma once

#include <cstddef>
#include <cstdint>

#include "effect/effect_properties.h"

namespace corvalin {

inline constexpr const char* kVersionText = CORVALIN_VERSION_TEXT;
inline constexpr const char* kVendor = CORVALIN_VENDOR;

// The host's version word: build in bits 0-8, stage 9-10, bug fix 11-14,
// minor 15-18, the low three bits of major 19-21 and the rest of major 26-29.
constexpr uint32_t PackVersion(uint32_t major, uint32_t minor, uint32_t bugfix, uint32_t stage,
                               uint32_t build) {
  return ((major >> 3 & 0xF) << 26) | ((major & 7) << 19) | ((minor & 0xF) << 15) |
         ((bugfix & 0xF) << 11) | ((stage & 3) << 9) | (build & 0x1FF);
}

static_assert(CORVALIN_VERSION_WORD == PackVersion(CORVALIN_MAJOR_VERSION, CORVALIN_MINOR_VERSION,
                                                   CORVALIN_BUGFIX_VERSION, CORVALIN_STAGE_VERSION,
                                                   CORVALIN_BUILD_VERSION),
              "the version word must pack the version numbers");

namespace identity_detail {

template <size_t N>
constexpr size_t Length(const char (&)[N]) {
  return N - 1;
}

constexpr bool DecimalText(const char* text, int value) {
  char digits[12] = {};
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0);
  for (int i = 0; i < n; ++i)
    if (text[i] != digits[n - 1 - i]) return false;
  return text[n] == '\0' || text[n] == '.';
}

// A Pascal string property: its length byte counts the characters, the
// padding is zeros, and the data length is a multiple of four that counts
// length byte, characters and padding.
template <size_t L, size_t T, size_t P>
constexpr bool PascalPropertyAgrees(const char (&lengthByte)[L], const char (&)[T],
                                    const char (&padding)[P], size_t bytes) {
  for (size_t i = 0; i + 1 < P; ++i)
    if (padding[i] != '\0') return false;
  return L == 2 && static_cast<unsigned char>(lengthByte[0]) == T - 1 &&
         1 + (T - 1) + (P - 1) == bytes && bytes % 4 == 0 && (P - 1) < 4;
}

}  // namespace identity_detail

static_assert(identity_detail::DecimalText(CORVALIN_VERSION_TEXT, CORVALIN_MAJOR_VERSION) &&
                  identity_detail::DecimalText(
                      &CORVALIN_VERSION_TEXT[identity_detail::Length(CORVALIN_VERSION_TEXT) - 1],
                      CORVALIN_MINOR_VERSION),
              "the version text must read major.minor");
static_assert(identity_detail::PascalPropertyAgrees(CORVALIN_PIPL_NAME_LENGTH, CORVALIN_PIPL_NAME,
                                                    CORVALIN_PIPL_NAME_PADDING,
                                                    CORVALIN_PIPL_NAME_BYTES),
              "name property: length byte, padding or data length is wrong");
static_assert(identity_detail::PascalPropertyAgrees(CORVALIN_PIPL_CATEGORY_LENGTH,
                                                    CORVALIN_PIPL_CATEGORY,
                                                    CORVALIN_PIPL_CATEGORY_PADDING,
                                                    CORVALIN_PIPL_CATEGORY_BYTES),
              "category property: length byte, padding or data length is wrong");
static_assert(identity_detail::PascalPropertyAgrees(CORVALIN_PIPL_MATCH_NAME_LENGTH,
                                                    CORVALIN_PIPL_MATCH_NAME,
                                                    CORVALIN_PIPL_MATCH_NAME_PADDING,
                                                    CORVALIN_PIPL_MATCH_NAME_BYTES),
              "match name property: length byte, padding or data length is wrong");
static_assert(identity_detail::Length(CORVALIN_ENTRY_POINT) +
                          identity_detail::Length(CORVALIN_ENTRY_POINT_PADDING) ==
                      CORVALIN_ENTRY_POINT_BYTES &&
                  CORVALIN_ENTRY_POINT_BYTES % 4 == 0 &&
                  identity_detail::Length(CORVALIN_ENTRY_POINT_PADDING) >= 1,
              "entry point property: a terminated C string padded to four bytes");

}  // namespace corvalin
