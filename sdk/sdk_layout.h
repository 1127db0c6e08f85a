// Offsets and sizes the host uses on Windows x64 for every record and field
// the module touches. Checked at compile time wherever this header is
// included (the module includes it, so a layout slip fails its build on every
// compiler).
#pragma once

#include <cstddef>

#include "sdk/AE_Effect.h"
#include "sdk/SPBasic.h"

// FIELD(record, member path, offset, size); RECORD(type, size)
#define CORVALIN_SDK_FIELDS(FIELD)                                 \
  FIELD(PF_InData, inter, 0, 176)                                  \
  FIELD(PF_InData, inter.add_param, 16, 8)                         \
  FIELD(PF_InData, utils, 176, 8)                                  \
  FIELD(PF_InData, effect_ref, 184, 8)                             \
  FIELD(PF_InData, quality, 192, 4)                                \
  FIELD(PF_InData, version, 196, 4)                                \
  FIELD(PF_InData, version.minor, 198, 2)                          \
  FIELD(PF_InData, num_params, 208, 4)                             \
  FIELD(PF_InData, width, 252, 4)                                  \
  FIELD(PF_InData, extent_hint, 260, 16)                           \
  FIELD(PF_InData, downsample_x, 284, 8)                           \
  FIELD(PF_InData, in_flags, 308, 4)                               \
  FIELD(PF_InData, global_data, 312, 8)                            \
  FIELD(PF_InData, frame_data, 328, 8)                             \
  FIELD(PF_InData, total_sampL, 344, 4)                            \
  FIELD(PF_InData, src_snd, 352, 32)                               \
  FIELD(PF_InData, pica_basicP, 384, 8)                            \
  FIELD(PF_InData, pre_effect_source_origin_x, 392, 4)             \
  FIELD(PF_InData, shutter_phase, 400, 4)                          \
  FIELD(PF_OutData, my_version, 0, 4)                              \
  FIELD(PF_OutData, name, 4, 32)                                   \
  FIELD(PF_OutData, global_data, 40, 8)                            \
  FIELD(PF_OutData, num_params, 48, 4)                             \
  FIELD(PF_OutData, sequence_data, 56, 8)                          \
  FIELD(PF_OutData, frame_data, 72, 8)                             \
  FIELD(PF_OutData, origin, 88, 8)                                 \
  FIELD(PF_OutData, out_flags, 96, 4)                              \
  FIELD(PF_OutData, return_msg, 100, 256)                          \
  FIELD(PF_OutData, start_sampL, 356, 4)                           \
  FIELD(PF_OutData, dest_snd, 368, 32)                             \
  FIELD(PF_OutData, out_flags2, 400, 4)                            \
  FIELD(PF_ParamDef, uu.id, 0, 4)                                  \
  FIELD(PF_ParamDef, ui_flags, 4, 4)                               \
  FIELD(PF_ParamDef, ui_width, 8, 2)                               \
  FIELD(PF_ParamDef, ui_height, 10, 2)                             \
  FIELD(PF_ParamDef, param_type, 12, 4)                            \
  FIELD(PF_ParamDef, name, 16, 32)                                 \
  FIELD(PF_ParamDef, flags, 48, 4)                                 \
  FIELD(PF_ParamDef, unused, 52, 4)                                \
  FIELD(PF_ParamDef, u, 56, 120)                                   \
  FIELD(PF_ParamDef, u.ld, 56, 120)                                \
  FIELD(PF_ParamDef, u.ld.rowbytes, 88, 4)                         \
  FIELD(PF_ParamDef, u.ld.width, 92, 4)                            \
  FIELD(PF_ParamDef, u.ld.height, 96, 4)                           \
  FIELD(PF_ParamDef, u.bd.value, 56, 4)                            \
  FIELD(PF_ParamDef, u.bd.dephault, 60, 1)                         \
  FIELD(PF_ParamDef, u.bd.u.nameptr, 64, 8)                        \
  FIELD(PF_ParamDef, u.cd.value, 56, 4)                            \
  FIELD(PF_ParamDef, u.cd.value.alpha, 56, 1)                      \
  FIELD(PF_ParamDef, u.cd.value.blue, 59, 1)                       \
  FIELD(PF_ParamDef, u.cd.dephault, 60, 4)                         \
  FIELD(PF_ParamDef, u.fs_d.value, 56, 8)                          \
  FIELD(PF_ParamDef, u.fs_d.phase, 64, 8)                          \
  FIELD(PF_ParamDef, u.fs_d.value_desc, 72, 32)                    \
  FIELD(PF_ParamDef, u.fs_d.valid_min, 104, 4)                     \
  FIELD(PF_ParamDef, u.fs_d.valid_max, 108, 4)                     \
  FIELD(PF_ParamDef, u.fs_d.slider_min, 112, 4)                    \
  FIELD(PF_ParamDef, u.fs_d.slider_max, 116, 4)                    \
  FIELD(PF_ParamDef, u.fs_d.dephault, 120, 4)                      \
  FIELD(PF_ParamDef, u.fs_d.precision, 124, 2)                     \
  FIELD(PF_ParamDef, u.fs_d.display_flags, 126, 2)                 \
  FIELD(PF_ParamDef, u.fs_d.fs_flags, 128, 4)                      \
  FIELD(PF_ParamDef, u.fs_d.curve_tolerance, 132, 4)               \
  FIELD(PF_ParamDef, u.fs_d.useExponent, 136, 1)                   \
  FIELD(PF_ParamDef, u.fs_d.exponent, 140, 4)                      \
  FIELD(PF_LayerDef, reserved0, 0, 8)                              \
  FIELD(PF_LayerDef, world_flags, 16, 4)                           \
  FIELD(PF_LayerDef, data, 24, 8)                                  \
  FIELD(PF_LayerDef, rowbytes, 32, 4)                              \
  FIELD(PF_LayerDef, width, 36, 4)                                 \
  FIELD(PF_LayerDef, height, 40, 4)                                \
  FIELD(PF_LayerDef, extent_hint, 44, 16)                          \
  FIELD(PF_LayerDef, extent_hint.bottom, 56, 4)                    \
  FIELD(PF_LayerDef, platform_ref, 64, 8)                          \
  FIELD(PF_LayerDef, reserved_long1, 72, 4)                        \
  FIELD(PF_LayerDef, reserved_long4, 80, 8)                        \
  FIELD(PF_LayerDef, pix_aspect_ratio, 88, 8)                      \
  FIELD(PF_LayerDef, reserved_long2, 96, 8)                        \
  FIELD(PF_LayerDef, origin_x, 104, 4)                             \
  FIELD(PF_LayerDef, origin_y, 108, 4)                             \
  FIELD(PF_LayerDef, reserved_long3, 112, 4)                       \
  FIELD(PF_LayerDef, dephault, 116, 4)                             \
  FIELD(PF_UtilCallbacks, copy, 64, 8)                             \
  FIELD(PF_UtilCallbacks, app, 200, 8)                             \
  FIELD(PF_UtilCallbacks, ansi, 208, 160)                          \
  FIELD(PF_UtilCallbacks, ansi.sprintf, 328, 8)                    \
  FIELD(PF_UtilCallbacks, ansi.strcpy, 336, 8)                     \
  FIELD(PF_UtilCallbacks, ansi.acos, 352, 8)                       \
  FIELD(PF_UtilCallbacks, ansi.ansi_procs, 360, 4)                 \
  FIELD(PF_UtilCallbacks, colorCB, 368, 64)                        \
  FIELD(PF_UtilCallbacks, colorCB.Saturation, 424, 8)              \
  FIELD(PF_UtilCallbacks, get_platform_data, 432, 8)               \
  FIELD(PF_UtilCallbacks, iterate_origin_non_clip_src16, 520, 8)   \
  FIELD(PF_UtilCallbacks, get_pixel_data8, 528, 8)                 \
  FIELD(PF_UtilCallbacks, get_pixel_data16, 536, 8)                \
  FIELD(PF_UtilCallbacks, reserved, 544, 4)                        \
  FIELD(PF_InteractCallbacks, checkout_param, 0, 8)                \
  FIELD(PF_InteractCallbacks, add_param, 16, 8)                    \
  FIELD(PF_InteractCallbacks, reserved_str, 72, 24)                \
  FIELD(PF_InteractCallbacks, reserved, 96, 80)                    \
  FIELD(SPBasicSuite, AcquireSuite, 0, 8)                          \
  FIELD(SPBasicSuite, ReleaseSuite, 8, 8)                          \
  FIELD(SPBasicSuite, IsEqual, 16, 8)                              \
  FIELD(SPBasicSuite, Undefined, 48, 8)                            \
  FIELD(PF_ANSICallbacksSuite1, sprintf, 120, 8)                   \
  FIELD(PF_ANSICallbacksSuite1, strcpy, 128, 8)                    \
  FIELD(PF_ANSICallbacksSuite1, acos, 144, 8)                      \
  FIELD(PF_Pixel8, alpha, 0, 1)                                    \
  FIELD(PF_Pixel8, red, 1, 1)                                      \
  FIELD(PF_Pixel8, green, 2, 1)                                    \
  FIELD(PF_Pixel8, blue, 3, 1)                                     \
  FIELD(PF_Pixel16, alpha, 0, 2)                                   \
  FIELD(PF_Pixel16, red, 2, 2)                                     \
  FIELD(PF_Pixel16, green, 4, 2)                                   \
  FIELD(PF_Pixel16, blue, 6, 2)                                    \
  FIELD(PF_SoundWorld, num_samples, 16, 4)                         \
  FIELD(PF_SoundWorld, dataP, 24, 8)                               \
  FIELD(PF_LRect, left, 0, 4)                                      \
  FIELD(PF_LRect, top, 4, 4)                                       \
  FIELD(PF_LRect, right, 8, 4)                                     \
  FIELD(PF_LRect, bottom, 12, 4)                                   \
  FIELD(PF_RationalScale, den, 4, 4)

#define CORVALIN_SDK_RECORDS(RECORD)  \
  RECORD(PF_InData, 408)              \
  RECORD(PF_OutData, 408)             \
  RECORD(PF_ParamDef, 176)            \
  RECORD(PF_ParamDefUnion, 120)       \
  RECORD(PF_LayerDef, 120)            \
  RECORD(PF_EffectWorld, 120)         \
  RECORD(PF_CheckBoxDef, 16)          \
  RECORD(PF_ColorDef, 8)              \
  RECORD(PF_FloatSliderDef, 88)       \
  RECORD(PF_InteractCallbacks, 176)   \
  RECORD(PF_UtilCallbacks, 552)       \
  RECORD(PF_ANSICallbacks, 160)       \
  RECORD(PF_ColorCallbacks, 64)       \
  RECORD(SPBasicSuite, 56)            \
  RECORD(PF_ANSICallbacksSuite1, 152) \
  RECORD(PF_Pixel8, 4)                \
  RECORD(PF_Pixel16, 8)               \
  RECORD(PF_PixelFloat, 16)           \
  RECORD(PF_SpecVersion, 4)           \
  RECORD(PF_Point, 8)                 \
  RECORD(PF_LRect, 16)                \
  RECORD(PF_RationalScale, 8)         \
  RECORD(PF_SoundFormatInfo, 16)      \
  RECORD(PF_SoundWorld, 32)           \
  RECORD(A_long, 4)                   \
  RECORD(A_u_long, 4)                 \
  RECORD(A_short, 2)                  \
  RECORD(A_char, 1)                   \
  RECORD(A_Boolean, 1)                \
  RECORD(PF_Boolean, 1)               \
  RECORD(PF_Err, 4)                   \
  RECORD(PF_Fixed, 4)                 \
  RECORD(PF_Cmd, 4)                   \
  RECORD(PF_FSliderFlags, 4)          \
  RECORD(PF_ValueDisplayFlags, 2)     \
  RECORD(PF_FpLong, 8)                \
  RECORD(PF_FpShort, 4)               \
  RECORD(PF_ProgPtr, 8)               \
  RECORD(PF_Handle, 8)                \
  RECORD(PF_PixelPtr, 8)              \
  RECORD(SPErr, 4)                    \
  RECORD(SPBoolean, 4)

namespace corvalin::sdklayout {

struct LayoutEntry {
  const char* name;
  size_t offset, expectedOffset, size, expectedSize;
  constexpr bool ok() const { return offset == expectedOffset && size == expectedSize; }
};

#define CORVALIN_LAYOUT_FIELD(T, M, OFF, SIZE) \
  {#T "." #M, offsetof(T, M), OFF, sizeof(static_cast<T*>(nullptr)->M), SIZE},
#define CORVALIN_LAYOUT_RECORD(T, SIZE) {"sizeof:" #T, 0, 0, sizeof(T), SIZE},

inline constexpr LayoutEntry kLayout[] = {
    CORVALIN_SDK_FIELDS(CORVALIN_LAYOUT_FIELD) CORVALIN_SDK_RECORDS(CORVALIN_LAYOUT_RECORD)};

#undef CORVALIN_LAYOUT_FIELD
#undef CORVALIN_LAYOUT_RECORD

constexpr bool AllLayoutsMatch() {
  for (const LayoutEntry& e : kLayout)
    if (!e.ok()) return false;
  return true;
}
static_assert(AllLayoutsMatch(), "a host record layout differs from the host's Windows x64 layout");

}  // namespace corvalin::sdklayout
