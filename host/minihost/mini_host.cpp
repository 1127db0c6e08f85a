#include "host/minihost/mini_host.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <stdexcept>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "host/effect_main.h"

namespace corvalin::minihost {

EffectModule LinkedEffectModule() { return {&EffectMain, &PluginDataEntryFunction}; }

// ---- Module files ----------------------------------------------------------

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

// ---- Worlds ----------------------------------------------------------------

template <class Pixel>
HostWorld<Pixel>::HostWorld(int32_t width, int32_t height, int32_t rowPadding)
    : width_(width), height_(height), stride_(0) {
  Allocate(rowPadding, true);
}

template <class Pixel>
HostWorld<Pixel>::HostWorld(int32_t width, int32_t height, int32_t rowPadding, Uninitialised)
    : width_(width), height_(height), stride_(0) {
  Allocate(rowPadding, false);
}

template <class Pixel>
void HostWorld<Pixel>::Allocate(int32_t rowPadding, bool zero) {
  const int32_t width = width_, height = height_;
  constexpr int64_t kMaxIndex = std::numeric_limits<int32_t>::max();
  if (width < 0 || height < 0 || rowPadding < 0) {
    throw std::invalid_argument("image width, height and row padding must be 0 or more (got " +
                                std::to_string(width) + ", " + std::to_string(height) + ", " +
                                std::to_string(rowPadding) + ")");
  }
  const int64_t stride = int64_t{width} + rowPadding;
  if (stride * int64_t{sizeof(Pixel)} > kMaxIndex || stride * height > kMaxIndex) {
    throw std::invalid_argument("image of " + std::to_string(width) + " x " +
                                std::to_string(height) + " pixels with row padding " +
                                std::to_string(rowPadding) +
                                " is too large: (width + padding) x height must stay below 2^31"
                                " pixels and a row below 2^31 bytes");
  }
  stride_ = static_cast<int32_t>(stride);
  // At least one pixel, so that even an empty image has a pixel base.
  const size_t count = static_cast<size_t>(stride) * static_cast<size_t>(height);
  if (zero) {
    pixels_.assign(count > 0 ? count : 1, Pixel{});
  } else {
    pixels_.resize(count > 0 ? count : 1);
  }
  BindWorld();
}

template <class Pixel>
HostWorld<Pixel>::HostWorld(const HostWorld& other)
    : width_(other.width_), height_(other.height_), stride_(other.stride_),
      pixels_(other.pixels_) {
  BindWorld();
}

template <class Pixel>
HostWorld<Pixel>& HostWorld<Pixel>::operator=(const HostWorld& other) {
  width_ = other.width_;
  height_ = other.height_;
  stride_ = other.stride_;
  pixels_ = other.pixels_;
  BindWorld();
  return *this;
}

template <class Pixel>
void HostWorld<Pixel>::BindWorld() {
  world_ = PF_EffectWorld{};
  world_.data = pixels_.data();
  world_.rowbytes = stride_ * static_cast<int32_t>(sizeof(Pixel));
  world_.width = width_;
  world_.height = height_;
  world_.world_flags = PF_WorldFlag_WRITEABLE | (sizeof(Pixel) == 8 ? PF_WorldFlag_DEEP : 0);
  world_.extent_hint = PF_Rect{0, 0, width_, height_};
}

template class HostWorld<PF_Pixel8>;
template class HostWorld<PF_Pixel16>;

// ---- Parameters ------------------------------------------------------------

RenderParams::RenderParams(const RenderSettings& settings, const PF_EffectWorld& input) {
  defs[0].param_type = PF_Param_LAYER;
  defs[0].u.ld = input;
  for (const ControlSpec& control : kControls) {
    PF_ParamDef& def = defs[control.paramIndex];
    def.uu.id = control.id;
    switch (control.type) {
      case ControlType::checkbox:
        def.param_type = PF_Param_CHECKBOX;
        def.u.bd.value = settings.*control.flagField ? 1 : 0;
        break;
      case ControlType::colour:
        def.param_type = PF_Param_COLOR;
        def.u.cd.value = settings.*control.colourField;
        break;
      case ControlType::floatSlider:
        def.param_type = PF_Param_FLOAT_SLIDER;
        def.u.fs_d.value = settings.*control.numberField;
        break;
    }
  }
  for (int32_t i = 0; i < kEffectParamCount; ++i) array[i] = &defs[i];
}

// ---- The services ----------------------------------------------------------

// Everything one command sees. The callbacks reach it through a thread-local
// pointer because most of them get no context argument.
struct MiniHost::Call {
  explicit Call(const MiniHost* owner) : host(owner) {}
  const MiniHost* host;
  std::vector<PF_ParamDef>* collected = nullptr;  // add_param target; null: refuse all
  PF_InData inData{};
  PF_UtilCallbacks utils{};
  SPBasicSuite basic{};
  PF_ANSICallbacksSuite1 ansi{};
  std::vector<HostCall> calls;
  int32_t addParamCalls = 0;
  const PF_EffectWorld* input = nullptr;   // worlds of a render, for the 16-bit knobs
  const PF_EffectWorld* output = nullptr;
  Registration* registration = nullptr;
};

namespace {

thread_local MiniHost::Call* currentCall = nullptr;
char effectRefToken;  // only its address is used

size_t PixelSizeOf(const PF_EffectWorld& world) {
  return (world.world_flags & PF_WorldFlag_DEEP) ? sizeof(PF_Pixel16) : sizeof(PF_Pixel8);
}

}  // namespace

struct HostServices {
  static void Record(HostCall call) {
    if (currentCall != nullptr) currentCall->calls.push_back(std::move(call));
  }

  static PF_Err AddParam(PF_ProgPtr effectRef, PF_ParamIndex index, PF_ParamDef* def) {
    HostCall record{Service::addParam, def ? def->name : "", index};
    record.effectRef = effectRef;
    Record(record);
    MiniHost::Call* call = currentCall;
    if (call == nullptr || def == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    ++call->addParamCalls;
    const HostBehaviour& b = call->host->behaviour();
    if (b.refuseParamNumber == call->addParamCalls) return b.refuseParamError;
    if (call->collected != nullptr) call->collected->push_back(*def);
    return PF_Err_NONE;
  }

  static A_char* Strcpy(A_char* dst, const A_char* src) {
    Record({Service::strcpy, src ? src : ""});
    return std::strcpy(dst, src);
  }

  static int Sprintf(A_char* dst, const A_char* format, ...) {
    Record({Service::sprintf, format ? format : ""});
    va_list args;
    va_start(args, format);
    // The only destination the module formats into is return_msg.
    int n = std::vsnprintf(dst, PF_MAX_EFFECT_MSG_LEN + 1, format, args);
    va_end(args);
    return n;
  }

  static PF_Err Copy(PF_ProgPtr effectRef, PF_EffectWorld* src, PF_EffectWorld* dst,
                     PF_Rect* srcRect, PF_Rect* dstRect) {
    HostCall record{Service::copy, "", 0, src, dst};
    record.effectRef = effectRef;
    if (srcRect != nullptr || dstRect != nullptr) record.number = 1;  // partial copy asked
    Record(record);
    if (currentCall != nullptr && currentCall->host->behaviour().copyError != PF_Err_NONE) {
      return currentCall->host->behaviour().copyError;
    }
    if (src == nullptr || dst == nullptr || src->width != dst->width ||
        src->height != dst->height || PixelSizeOf(*src) != PixelSizeOf(*dst)) {
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    const size_t rowBytes = static_cast<size_t>(src->width) * PixelSizeOf(*src);
    for (int32_t y = 0; y < src->height; ++y) {
      std::memmove(static_cast<char*>(dst->data) + static_cast<ptrdiff_t>(y) * dst->rowbytes,
                   static_cast<const char*>(src->data) + static_cast<ptrdiff_t>(y) * src->rowbytes,
                   rowBytes);
    }
    return PF_Err_NONE;
  }

  static bool Withheld16(const PF_EffectWorld* world) {
    MiniHost::Call* call = currentCall;
    if (call == nullptr) return false;
    const HostBehaviour& b = call->host->behaviour();
    return (world == call->input && !b.offer16BitInput) ||
           (world == call->output && !b.offer16BitOutput);
  }

  static PF_Err PixelData8(PF_EffectWorld* world, PF_PixelPtr pixels, PF_Pixel8** out) {
    Record({Service::getPixelData8, "", 0, world});
    if (out == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    *out = nullptr;
    if (world == nullptr || (world->world_flags & PF_WorldFlag_DEEP)) return PF_Err_NONE;
    *out = static_cast<PF_Pixel8*>(pixels ? pixels : world->data);
    return PF_Err_NONE;
  }

  static PF_Err PixelData16(PF_EffectWorld* world, PF_PixelPtr pixels, PF_Pixel16** out) {
    Record({Service::getPixelData16, "", 0, world});
    if (out == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    *out = nullptr;
    if (world == nullptr || !(world->world_flags & PF_WorldFlag_DEEP) || Withheld16(world)) {
      return PF_Err_NONE;
    }
    *out = static_cast<PF_Pixel16*>(pixels ? pixels : world->data);
    return PF_Err_NONE;
  }

  static SPErr AcquireSuite(const char* name, int32_t version, const void** suite) {
    Record({Service::acquireSuite, name ? name : "", version});
    MiniHost::Call* call = currentCall;
    if (suite == nullptr || call == nullptr) return A_Err_PARAMETER;
    *suite = nullptr;
    const HostBehaviour& b = call->host->behaviour();
    if (b.acquireError != kSPNoError) return b.acquireError;
    if (b.acquireYieldsNull) return kSPNoError;
    if (name != nullptr && std::strcmp(name, kPFANSISuite) == 0 &&
        version == kPFANSISuiteVersion1) {
      *suite = &call->ansi;
      return kSPNoError;
    }
    return A_Err_MISSING_SUITE;
  }

  static SPErr ReleaseSuite(const char* name, int32_t version) {
    Record({Service::releaseSuite, name ? name : "", version});
    return kSPNoError;
  }

  static A_Err Registered(PF_PluginDataPtr inPtr, const A_u_char* name,
                          const A_u_char* matchName, const A_u_char* category,
                          const A_u_char* entryPointName, A_long kind, A_long apiVersionMajor,
                          A_long apiVersionMinor, A_long reservedInfo) {
    MiniHost::Call* call = currentCall;
    if (call == nullptr || call->registration == nullptr) return A_Err_GENERIC;
    auto text = [](const A_u_char* s) {
      return s ? std::string(reinterpret_cast<const char*>(s)) : std::string();
    };
    Registration& r = *call->registration;
    r.inPtr = inPtr;
    r.name = text(name);
    r.matchName = text(matchName);
    r.category = text(category);
    r.entryPoint = text(entryPointName);
    r.kind = kind;
    r.apiVersionMajor = apiVersionMajor;
    r.apiVersionMinor = apiVersionMinor;
    r.reservedInfo = reservedInfo;
    ++r.calls;
    return call->host->behaviour().registrationError;
  }
};

// ---- The host --------------------------------------------------------------

MiniHost::MiniHost(EffectModule module, HostBehaviour behaviour)
    : module_(module), behaviour_(behaviour) {}

PF_ProgPtr MiniHost::EffectRef() { return reinterpret_cast<PF_ProgPtr>(&effectRefToken); }

PF_Err MiniHost::Run(Call& call, PF_Cmd cmd, PF_OutData* outData, PF_ParamDef* params[],
                     PF_LayerDef* output) const {
  call.utils.copy = &HostServices::Copy;
  call.utils.get_pixel_data8 = &HostServices::PixelData8;
  call.utils.get_pixel_data16 = &HostServices::PixelData16;
  call.utils.ansi.strcpy = &HostServices::Strcpy;
  call.utils.ansi.sprintf = &HostServices::Sprintf;
  call.ansi.strcpy = &HostServices::Strcpy;
  call.ansi.sprintf = &HostServices::Sprintf;
  call.basic.AcquireSuite = &HostServices::AcquireSuite;
  call.basic.ReleaseSuite = &HostServices::ReleaseSuite;
  call.inData.inter.add_param = &HostServices::AddParam;
  call.inData.utils = &call.utils;
  call.inData.effect_ref = EffectRef();
  call.inData.pica_basicP = behaviour_.offerBasicSuite ? &call.basic : nullptr;
  call.inData.version = PF_SpecVersion{13, 27};
  call.inData.num_params = 5;

  if (module_.effectMain == nullptr) return PF_Err_INVALID_CALLBACK;
  Call* previous = currentCall;
  currentCall = &call;
  PF_Err err = module_.effectMain(cmd, &call.inData, outData, params, output, nullptr);
  currentCall = previous;
  std::lock_guard<std::mutex> lock(callsMutex_);
  lastCalls_ = std::move(call.calls);
  return err;
}

PF_Err MiniHost::Command(PF_Cmd cmd, PF_OutData* outData, PF_ParamDef* params[],
                         PF_LayerDef* output) const {
  Call call(this);
  if (params != nullptr && params[0] != nullptr) call.input = &params[0]->u.ld;
  call.output = output;
  return Run(call, cmd, outData, params, output);
}

PF_Err MiniHost::GlobalSetup() { return Command(PF_Cmd_GLOBAL_SETUP, &outData_); }

PF_Err MiniHost::ParamsSetup() {
  paramDefs_.clear();
  Call call(this);
  call.collected = &paramDefs_;
  return Run(call, PF_Cmd_PARAMS_SETUP, &outData_, nullptr, nullptr);
}

PF_Err MiniHost::About(std::string* text) {
  PF_Err err = Command(PF_Cmd_ABOUT, &outData_);
  if (text != nullptr) {
    text->assign(outData_.return_msg, strnlen(outData_.return_msg, sizeof outData_.return_msg));
  }
  return err;
}

PF_Err MiniHost::Render(const RenderSettings& settings, PF_EffectWorld& input,
                        PF_EffectWorld& output) const {
  RenderParams params(settings, input);
  PF_OutData outData{};
  Call call(this);
  call.input = &params.defs[0].u.ld;
  call.output = &output;
  return Run(call, PF_Cmd_RENDER, &outData, params.array, &output);
}

A_Err MiniHost::Register(Registration* registration) const {
  if (module_.pluginDataEntry == nullptr) return A_Err_GENERIC;
  Registration local;
  Call call(this);
  call.registration = registration ? registration : &local;
  Call* previous = currentCall;
  currentCall = &call;
  A_Err err = module_.pluginDataEntry(reinterpret_cast<PF_PluginDataPtr>(&call),
                                      &HostServices::Registered, &call.basic, "Corvalin mini host",
                                      "1.0");
  currentCall = previous;
  return err;
}

std::vector<HostCall> MiniHost::lastCalls() const {
  std::lock_guard<std::mutex> lock(callsMutex_);
  return lastCalls_;
}

int32_t MiniHost::Count(Service service) const {
  std::lock_guard<std::mutex> lock(callsMutex_);
  int32_t n = 0;
  for (const HostCall& c : lastCalls_) n += c.service == service;
  return n;
}

}  // namespace corvalin::minihost
