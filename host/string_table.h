// The effect's constant display strings.
#pragma once

#include <cstdint>

namespace corvalin {

enum StringId : uint32_t {
  StrID_NONE = 0,
  StrID_Name = 1,
  StrID_Description = 2,
  StrID_UseColorKey = 3,
  StrID_AlphaKey = 4,
  StrID_SmootherRange = 5,
  StrID_LineWeight = 6,
  StrID_NUMTYPES = 7
};

struct TableString {
  uint32_t index;
  char text[256];
};

extern const TableString StringTable[StrID_NUMTYPES];

// No range check: callers pass the StringId constants above.
inline const char* GetString(uint32_t id) { return StringTable[id].text; }

}  // namespace corvalin
