// The services a host offers the effect module during one command: the
// utility callbacks it calls (the copy of a whole world, pixel access,
// sprintf and strcpy), add_param, and the basic suite that hands out the
// ANSI suite. They keep no state: add_param finds the command's parameter
// list through the effect_ref it is given, so renders on several threads
// share nothing.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <vector>

#include "effect/controls.h"
#include "sdk/AE_Effect.h"
#include "sdk/SPBasic.h"

namespace corvalin::modulehost {

// What the host says of itself in every command's in-data: the version of
// the interface it speaks, and the parameters it fills (the input layer and
// one per control of the table).
inline constexpr PF_SpecVersion kOfferedSpecVersion{13, 27};
inline constexpr A_long kOfferedParamCount = kEffectParamCount;

// The records of one command, with its in-data pointing at the services.
struct CommandRecords {
  PF_InData inData{};
  PF_UtilCallbacks utils{};
  SPBasicSuite basic{};
  std::vector<PF_ParamDef>* collected = nullptr;  // where add_param puts definitions; null refuses
};

// Points `records`' in-data at the services, and its effect_ref at `records`.
void OfferServices(CommandRecords& records);

// The services themselves, for a host that offers them with more around
// them (the tests' host records and refuses calls).
//
// Copies the width x height pixels of `src` into `dst`: worlds of one size
// and depth, any row bytes. PF_Err_BAD_CALLBACK_PARAM for anything else.
PF_Err CopyWholeWorld(const PF_EffectWorld* src, PF_EffectWorld* dst);
// The world's pixels (or `pixels`) where its depth is the one asked for,
// else null.
PF_Err PixelData8(PF_EffectWorld* world, PF_PixelPtr pixels, PF_Pixel8** out);
PF_Err PixelData16(PF_EffectWorld* world, PF_PixelPtr pixels, PF_Pixel16** out);
// sprintf into return_msg, the only destination the module formats into.
int FormatReturnMessage(A_char* dst, const A_char* format, va_list args);
// Whether AcquireSuite is asked for the ANSI suite this host offers.
bool IsAnsiSuite(const char* name, int32_t version);

}  // namespace corvalin::modulehost
