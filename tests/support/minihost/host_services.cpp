#include "tests/support/minihost/host_services.h"

#include <cstdarg>
#include <cstring>
#include <utility>

#include "host/module_host/module_services.h"

namespace corvalin::minihost {

namespace {

thread_local ServiceCall* currentCall = nullptr;
char effectRefToken;  // only its address is used

struct HostServices {
  static void Record(HostCall call) {
    if (currentCall != nullptr) currentCall->calls.push_back(std::move(call));
  }

  static PF_Err AddParam(PF_ProgPtr effectRef, PF_ParamIndex index, PF_ParamDef* def) {
    HostCall record{Service::addParam, def ? def->name : "", index};
    record.effectRef = effectRef;
    Record(record);
    ServiceCall* call = currentCall;
    if (call == nullptr || def == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    ++call->addParamCalls;
    const HostBehaviour& b = call->behaviour;
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
    const int n = modulehost::FormatReturnMessage(dst, format, args);
    va_end(args);
    return n;
  }

  static PF_Err Copy(PF_ProgPtr effectRef, PF_EffectWorld* src, PF_EffectWorld* dst,
                     PF_Rect* srcRect, PF_Rect* dstRect) {
    HostCall record{Service::copy, "", 0, src, dst};
    record.effectRef = effectRef;
    if (srcRect != nullptr || dstRect != nullptr) record.number = 1;  // partial copy asked
    Record(record);
    if (currentCall != nullptr && currentCall->behaviour.copyError != PF_Err_NONE) {
      return currentCall->behaviour.copyError;
    }
    return modulehost::CopyWholeWorld(src, dst);
  }

  static bool Withheld16(const PF_EffectWorld* world) {
    ServiceCall* call = currentCall;
    if (call == nullptr) return false;
    const HostBehaviour& b = call->behaviour;
    return (world == call->input && !b.offer16BitInput) ||
           (world == call->output && !b.offer16BitOutput);
  }

  static PF_Err PixelData8(PF_EffectWorld* world, PF_PixelPtr pixels, PF_Pixel8** out) {
    Record({Service::getPixelData8, "", 0, world});
    return modulehost::PixelData8(world, pixels, out);
  }

  static PF_Err PixelData16(PF_EffectWorld* world, PF_PixelPtr pixels, PF_Pixel16** out) {
    Record({Service::getPixelData16, "", 0, world});
    if (Withheld16(world)) {
      if (out == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
      *out = nullptr;
      return PF_Err_NONE;
    }
    return modulehost::PixelData16(world, pixels, out);
  }

  static SPErr AcquireSuite(const char* name, int32_t version, const void** suite) {
    Record({Service::acquireSuite, name ? name : "", version});
    ServiceCall* call = currentCall;
    if (suite == nullptr || call == nullptr) return A_Err_PARAMETER;
    *suite = nullptr;
    const HostBehaviour& b = call->behaviour;
    if (b.acquireError != kSPNoError) return b.acquireError;
    if (b.acquireYieldsNull) return kSPNoError;
    if (modulehost::IsAnsiSuite(name, version)) {
      *suite = &call->ansi;
      return kSPNoError;
    }
    return A_Err_MISSING_SUITE;
  }

  static SPErr ReleaseSuite(const char* name, int32_t version) {
    Record({Service::releaseSuite, name ? name : "", version});
    return kSPNoError;
  }

  static A_Err Registered(PF_PluginDataPtr inPtr, const A_u_char* name, const A_u_char* matchName,
                          const A_u_char* category, const A_u_char* entryPointName, A_long kind,
                          A_long apiVersionMajor, A_long apiVersionMinor, A_long reservedInfo) {
    ServiceCall* call = currentCall;
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
    return call->behaviour.registrationError;
  }
};

}  // namespace

void OfferServices(ServiceCall& call) {
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
  call.inData.effect_ref = HostEffectRef();
  call.inData.pica_basicP = call.behaviour.offerBasicSuite ? &call.basic : nullptr;
}

PF_ProgPtr HostEffectRef() { return reinterpret_cast<PF_ProgPtr>(&effectRefToken); }

PF_PluginDataCB RegistrationCallback() { return &HostServices::Registered; }

CurrentCall::CurrentCall(ServiceCall& call) : previous_(currentCall) { currentCall = &call; }

CurrentCall::~CurrentCall() { currentCall = previous_; }

}  // namespace corvalin::minihost
