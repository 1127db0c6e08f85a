// A row of the effect's control table by script name, looked up at run time.
// Control() gives the same row at compile time, but GCC cannot evaluate it
// with -fsanitize=undefined (its null check on the row is then no constant
// expression), and the tests also build with that sanitizer.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "effect/controls.h"

namespace corvalin::testing {

// Throws std::invalid_argument for a name the table does not hold, which
// fails the test that asked.
inline const ControlSpec& TableControl(std::string_view scriptName) {
  const ControlSpec* control = FindControl(scriptName);
  if (control == nullptr) throw std::invalid_argument("no control " + std::string(scriptName));
  return *control;
}

}  // namespace corvalin::testing
