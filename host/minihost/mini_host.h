// A small in-process host for the effect module: it offers the services the
// module uses (utility callbacks, add_param, the basic suite with the ANSI
// suite, the registration callback), records what the module did with them
// and can be told to refuse or withhold services. Tests and the corvalin
// command drive the module through it, linked in or loaded from a file.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <utility>
#include <string>
#include <vector>

#include "effect/controls.h"
#include "sdk/AE_Effect.h"
#include "sdk/SPBasic.h"

namespace corvalin::minihost {

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

// Asks HostWorld to leave its pixels as allocated.
struct Uninitialised {};

// Leaves default-constructed elements uninitialised (pixels are plain data).
template <class T>
struct DefaultInitAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = DefaultInitAllocator<U>;
  };
  DefaultInitAllocator() = default;
  template <class U>
  DefaultInitAllocator(const DefaultInitAllocator<U>&) noexcept {}
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    if constexpr (sizeof...(Args) == 0) {
      ::new (static_cast<void*>(p)) U;
    } else {
      ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
  }
};

// Host-owned pixels; each row is followed by rowPadding all-zero pixels.
template <class Pixel>
class HostWorld {
 public:
  // All pixels zero. Throws std::invalid_argument for negative sizes or a
  // buffer beyond what a signed 32-bit pixel index reaches.
  HostWorld(int32_t width, int32_t height, int32_t rowPadding = 0);
  // The same, with the pixels (padding included) left as allocated, for a
  // caller that writes all of them: no page is touched before it is used.
  HostWorld(int32_t width, int32_t height, int32_t rowPadding, Uninitialised);
  HostWorld(const HostWorld& other);
  HostWorld& operator=(const HostWorld& other);

  Pixel& at(int32_t x, int32_t y) { return pixels_[Index(x, y)]; }
  const Pixel& at(int32_t x, int32_t y) const { return pixels_[Index(x, y)]; }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  int32_t stride() const { return stride_; }  // pixels per row, padding included
  Pixel* pixels() { return pixels_.data(); }
  const Pixel* pixels() const { return pixels_.data(); }
  PF_EffectWorld& world() { return world_; }

 private:
  size_t Index(int32_t x, int32_t y) const {
    return static_cast<size_t>(y) * static_cast<size_t>(stride_) + static_cast<size_t>(x);
  }
  void BindWorld();
  void Allocate(int32_t rowPadding, bool zero);

  int32_t width_, height_, stride_;
  std::vector<Pixel, DefaultInitAllocator<Pixel>> pixels_;
  PF_EffectWorld world_{};
};

// One service call made by the module.
enum class Service {
  addParam,
  strcpy,
  copy,
  getPixelData8,
  getPixelData16,
  acquireSuite,
  releaseSuite,
  sprintf,
};

struct HostCall {
  Service service;
  std::string text;            // suite name, strcpy source, sprintf format
  int32_t number = 0;          // suite version, add_param index
  const void* world = nullptr; // world passed to copy (source) / get_pixel_data
  const void* target = nullptr;  // copy destination; effect_ref for add_param
  PF_ProgPtr effectRef = nullptr;
};

// What the host offers; the defaults make a well-behaved host.
struct HostBehaviour {
  int32_t refuseParamNumber = 0;  // 1-based add_param call to refuse; 0 refuses none
  PF_Err refuseParamError = PF_Err_OUT_OF_MEMORY;
  bool offerBasicSuite = true;          // pica_basicP null when false
  SPErr acquireError = kSPNoError;      // AcquireSuite's result
  bool acquireYieldsNull = false;       // AcquireSuite succeeds but hands out null
  bool offer16BitInput = true;          // get_pixel_data16 yields null for the input when false
  bool offer16BitOutput = true;         // ... for the output
  PF_Err copyError = PF_Err_NONE;       // copy returns this (and copies nothing) when non-zero
  A_Err registrationError = A_Err_NONE; // the registration callback's result
};

// The arguments of the registration callback, in order.
struct Registration {
  const void* inPtr = nullptr;
  std::string name, matchName, category, entryPoint;
  A_long kind = 0, apiVersionMajor = 0, apiVersionMinor = 0, reservedInfo = 0;
  int32_t calls = 0;  // how often the callback ran
};

// The render's parameter array for `settings`, as a host fills it from the
// controls' values: index 0 the input layer, then one definition per control.
struct RenderParams {
  PF_ParamDef defs[kEffectParamCount]{};
  PF_ParamDef* array[kEffectParamCount]{};
  RenderParams(const RenderSettings& settings, const PF_EffectWorld& input);
  RenderParams(const RenderParams&) = delete;
  RenderParams& operator=(const RenderParams&) = delete;
};

class MiniHost {
 public:
  explicit MiniHost(EffectModule module, HostBehaviour behaviour = {});

  PF_Err GlobalSetup();              // PF_Cmd_GLOBAL_SETUP into outData()
  PF_Err ParamsSetup();              // PF_Cmd_PARAMS_SETUP; collects paramDefs()
  PF_Err About(std::string* text);   // PF_Cmd_ABOUT; text is return_msg
  // PF_Cmd_RENDER with the parameter array filled from `settings`; the host
  // copy copies width x height pixels. Several threads may render different
  // frames at once through one MiniHost.
  template <class Pixel>
  PF_Err Render(const RenderSettings& settings, HostWorld<Pixel>& input,
                HostWorld<Pixel>& output) const {
    return Render(settings, input.world(), output.world());
  }
  // The same over worlds that the caller owns (of one size and depth).
  PF_Err Render(const RenderSettings& settings, PF_EffectWorld& input,
                PF_EffectWorld& output) const;

  // Any command with the caller's records (a fresh PF_InData from this host).
  PF_Err Command(PF_Cmd cmd, PF_OutData* outData, PF_ParamDef* params[] = nullptr,
                 PF_LayerDef* output = nullptr) const;
  // Calls PluginDataEntryFunction with a recording callback.
  A_Err Register(Registration* registration) const;

  // Records of this host.
  const PF_OutData& outData() const { return outData_; }  // of the last setup/about command
  const std::vector<PF_ParamDef>& paramDefs() const { return paramDefs_; }
  std::vector<HostCall> lastCalls() const;  // services used by the last command
  int32_t Count(Service service) const;      // in lastCalls()
  HostBehaviour& behaviour() { return behaviour_; }
  const HostBehaviour& behaviour() const { return behaviour_; }
  static PF_ProgPtr EffectRef();  // what this host passes as effect_ref

  struct Call;  // one command's records and services (internal)

 private:
  PF_Err Run(Call& call, PF_Cmd cmd, PF_OutData* outData, PF_ParamDef* params[],
             PF_LayerDef* output) const;

  EffectModule module_;
  HostBehaviour behaviour_;
  PF_OutData outData_{};
  std::vector<PF_ParamDef> paramDefs_;
  mutable std::mutex callsMutex_;
  mutable std::vector<HostCall> lastCalls_;
};

extern template class HostWorld<PF_Pixel8>;
extern template class HostWorld<PF_Pixel16>;

}  // namespace corvalin::minihost
