#include "host/minihost/host_services.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>

namespace corvalin::minihost {

namespace {

thread_local ServiceCall* currentCall = nullptr;
char effectRefToken;  // only its address is used

size_t PixelSizeOf(const PF_EffectWorld& world) {
  return (world.world_flags & PF_WorldFlag_DEEP) ? sizeof(PF_Pixel16) : sizeof(PF_Pixel8);
}

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
    if (currentCall != nullptr && currentCall->behaviour.copyError != PF_Err_NONE) {
      return currentCall->behaviour.copyError;
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
    ServiceCall* call = currentCall;
    if (call == nullptr) return false;
    const HostBehaviour& b = call->behaviour;
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
    ServiceCall* call = currentCall;
    if (suite == nullptr || call == nullptr) return A_Err_PARAMETER;
    *suite = nullptr;
    const HostBehaviour& b = call->behaviour;
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
