// The effect's constant display strings: its name, its description and the
// name of every control, in the table layout hosts' string tables use (an
// index, then a 256-byte zero-terminated text). Built at compile time from
// the control table, so a new control brings its own entry.
#pragma once

#include <array>
#include <cstdint>

#include "effect/controls.h"

namespace corvalin {

enum StringId : uint32_t {
  StrID_NONE = 0,
  StrID_Name = 1,
  StrID_Description = 2,
  StrID_FirstControl = 3,  // then one entry per control, in table order
};

inline constexpr uint32_t kStringCount = StrID_FirstControl + static_cast<uint32_t>(kControlCount);

constexpr StringId ControlNameId(const ControlSpec& control) {
  return static_cast<StringId>(StrID_FirstControl + static_cast<uint32_t>(control.paramIndex - 1));
}

struct TableString {
  uint32_t index;
  char text[256];
};

inline constexpr const char* kEffectName = "Corvalin";
inline constexpr const char* kEffectDescription =
    "Smooths the stair-stepped edges of flat-colour images with graded coverage blends.";

namespace string_table_detail {

constexpr TableString Entry(uint32_t index, const char* text) {
  TableString entry{index, {}};
  for (size_t i = 0; text[i] != '\0' && i + 1 < sizeof entry.text; ++i) entry.text[i] = text[i];
  return entry;
}

constexpr std::array<TableString, kStringCount> Build() {
  std::array<TableString, kStringCount> table{};
  table[StrID_NONE] = Entry(StrID_NONE, "");
  table[StrID_Name] = Entry(StrID_Name, kEffectName);
  table[StrID_Description] = Entry(StrID_Description, kEffectDescription);
  for (const ControlSpec& control : kControls) {
    const StringId id = ControlNameId(control);
    table[id] = Entry(id, control.displayName);
  }
  return table;
}

}  // namespace string_table_detail

inline constexpr std::array<TableString, kStringCount> StringTable = string_table_detail::Build();

// No range check: callers pass the StringId constants above.
inline const char* GetString(uint32_t id) { return StringTable[id].text; }

}  // namespace corvalin
