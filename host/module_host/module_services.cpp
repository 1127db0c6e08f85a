#include "host/module_host/module_services.h"

#include <cstdio>
#include <cstring>

namespace corvalin::modulehost {

namespace {

size_t PixelSizeOf(const PF_EffectWorld& world) {
  return (world.world_flags & PF_WorldFlag_DEEP) ? sizeof(PF_Pixel16) : sizeof(PF_Pixel8);
}

PF_Err AddParam(PF_ProgPtr effectRef, PF_ParamIndex, PF_ParamDef* def) {
  auto* records = reinterpret_cast<CommandRecords*>(effectRef);
  if (records == nullptr || records->collected == nullptr || def == nullptr)
    return PF_Err_BAD_CALLBACK_PARAM;
  records->collected->push_back(*def);
  return PF_Err_NONE;
}

PF_Err Copy(PF_ProgPtr, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect*, PF_Rect*) {
  return CopyWholeWorld(src, dst);
}

int Sprintf(A_char* dst, const A_char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = FormatReturnMessage(dst, format, args);
  va_end(args);
  return n;
}

A_char* Strcpy(A_char* dst, const A_char* src) { return std::strcpy(dst, src); }

const PF_ANSICallbacksSuite1 kAnsiSuite = [] {
  PF_ANSICallbacksSuite1 suite{};
  suite.sprintf = &Sprintf;
  suite.strcpy = &Strcpy;
  return suite;
}();

SPErr AcquireSuite(const char* name, int32_t version, const void** suite) {
  if (suite == nullptr) return A_Err_PARAMETER;
  *suite = nullptr;
  if (!IsAnsiSuite(name, version)) return A_Err_MISSING_SUITE;
  *suite = &kAnsiSuite;
  return kSPNoError;
}

SPErr ReleaseSuite(const char*, int32_t) { return kSPNoError; }

}  // namespace

void OfferServices(CommandRecords& records) {
  records.utils.copy = &Copy;
  records.utils.get_pixel_data8 = &PixelData8;
  records.utils.get_pixel_data16 = &PixelData16;
  records.utils.ansi.sprintf = &Sprintf;
  records.utils.ansi.strcpy = &Strcpy;
  records.basic.AcquireSuite = &AcquireSuite;
  records.basic.ReleaseSuite = &ReleaseSuite;
  PF_InData& in = records.inData;
  in.inter.add_param = &AddParam;
  in.utils = &records.utils;
  in.effect_ref = reinterpret_cast<PF_ProgPtr>(&records);
  in.pica_basicP = &records.basic;
  in.version = kOfferedSpecVersion;
  in.num_params = kOfferedParamCount;
}

PF_Err CopyWholeWorld(const PF_EffectWorld* src, PF_EffectWorld* dst) {
  if (src == nullptr || dst == nullptr || src->width != dst->width || src->height != dst->height ||
      PixelSizeOf(*src) != PixelSizeOf(*dst)) {
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

PF_Err PixelData8(PF_EffectWorld* world, PF_PixelPtr pixels, PF_Pixel8** out) {
  if (out == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  *out = nullptr;
  if (world == nullptr || (world->world_flags & PF_WorldFlag_DEEP)) return PF_Err_NONE;
  *out = static_cast<PF_Pixel8*>(pixels ? pixels : world->data);
  return PF_Err_NONE;
}

PF_Err PixelData16(PF_EffectWorld* world, PF_PixelPtr pixels, PF_Pixel16** out) {
  if (out == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  *out = nullptr;
  if (world == nullptr || !(world->world_flags & PF_WorldFlag_DEEP)) return PF_Err_NONE;
  *out = static_cast<PF_Pixel16*>(pixels ? pixels : world->data);
  return PF_Err_NONE;
}

int FormatReturnMessage(A_char* dst, const A_char* format, va_list args) {
  return std::vsnprintf(dst, PF_MAX_EFFECT_MSG_LEN + 1, format, args);
}

bool IsAnsiSuite(const char* name, int32_t version) {
  return name != nullptr && std::strcmp(name, kPFANSISuite) == 0 && version == kPFANSISuiteVersion1;
}

}  // namespace corvalin::modulehost
