// Module loading: the effect compiled into this program, or a module file
// opened at run time.
#pragma once

#include <string>

#include "sdk/AE_Effect.h"

namespace corvalin::modulehost {

struct EffectModule {
  PF_FilterProc effectMain = nullptr;
  PluginDataEntryFunctionPtr pluginDataEntry = nullptr;
};

// The module compiled into this program.
EffectModule LinkedEffectModule();

// A module file opened with dlopen (Linux) or LoadLibrary (Windows).
class ModuleFile {
 public:
  explicit ModuleFile(const std::string& path);  // throws std::runtime_error naming path and reason
  ~ModuleFile();
  ModuleFile(const ModuleFile&) = delete;
  ModuleFile& operator=(const ModuleFile&) = delete;
  EffectModule entryPoints() const;

 private:
  std::string path_;
  void* handle_ = nullptr;
  EffectModule entryPoints_;
};

}  // namespace corvalin::modulehost
