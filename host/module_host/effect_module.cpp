#include "host/module_host/effect_module.h"

#include <stdexcept>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "host/effect_main.h"

namespace corvalin::modulehost {

EffectModule LinkedEffectModule() { return {&EffectMain, &PluginDataEntryFunction}; }

namespace {

#if defined(_WIN32)
std::string LastErrorText() {
  char buffer[256] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 GetLastError(), 0, buffer, sizeof buffer, nullptr);
  return buffer[0] ? buffer : "unknown error";
}
#endif

}  // namespace

ModuleFile::ModuleFile(const std::string& path) : path_(path) {
#if defined(_WIN32)
  HMODULE module = LoadLibraryA(path.c_str());
  if (module == nullptr) {
    throw std::runtime_error("cannot load effect module '" + path + "': " + LastErrorText());
  }
  handle_ = module;
  auto find = [&](const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(module, name));
  };
#else
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* reason = dlerror();
    throw std::runtime_error("cannot load effect module '" + path +
                             "': " + (reason ? reason : "unknown error"));
  }
  auto find = [&](const char* name) { return dlsym(handle_, name); };
#endif
  void* effectMain = find("EffectMain");
  void* pluginDataEntry = find("PluginDataEntryFunction");
  if (effectMain == nullptr || pluginDataEntry == nullptr) {
    const char* missing = effectMain == nullptr ? "EffectMain" : "PluginDataEntryFunction";
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(handle_));
#else
    dlclose(handle_);
#endif
    throw std::runtime_error("effect module '" + path + "' does not export " + missing);
  }
  entryPoints_.effectMain = reinterpret_cast<PF_FilterProc>(effectMain);
  entryPoints_.pluginDataEntry = reinterpret_cast<PluginDataEntryFunctionPtr>(pluginDataEntry);
}

ModuleFile::~ModuleFile() {
#if defined(_WIN32)
  FreeLibrary(static_cast<HMODULE>(handle_));
#else
  dlclose(handle_);
#endif
}

EffectModule ModuleFile::entryPoints() const { return entryPoints_; }

}  // namespace corvalin::modulehost
