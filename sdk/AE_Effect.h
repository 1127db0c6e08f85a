// Our own stand-in for the host effect SDK's records, with the SDK's names.
//
// Contract: every field the module touches sits at the byte offset that the
// host uses on Windows x64, and every record has the host's size. Fields the
// module never touches are kept as opaque slots of the same size, so the
// records stay layout-compatible. Only fixed-width integer types are used
// (never `long`), so the same layout holds on 64-bit Linux, where the fast
// tests and the command-line tool run. sdk_layout.h checks every offset and
// size at compile time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "SPBasic.h"

extern "C" {

// ---- Scalar types --------------------------------------------------------
typedef int32_t A_long;
typedef uint32_t A_u_long;
typedef int16_t A_short;
typedef uint16_t A_u_short;
typedef char A_char;
typedef unsigned char A_u_char;
typedef unsigned char A_Boolean;
typedef double A_FpLong;
typedef float A_FpShort;
typedef A_long A_Err;

typedef double PF_FpLong;
typedef float PF_FpShort;
typedef A_long PF_Err;
typedef A_long PF_Fixed;
typedef A_u_long PF_UFixed;
typedef char PF_Boolean;  // the host's Windows definition: one signed byte
typedef A_long PF_Cmd;
typedef A_long PF_ParamIndex;
typedef A_long PF_ParamValue;
typedef A_long PF_ParamType;
typedef A_long PF_ParamFlags;
typedef A_long PF_ParamUIFlags;
typedef A_long PF_ChangeFlags;
typedef A_long PF_OutFlags;
typedef A_long PF_OutFlags2;
typedef A_long PF_InFlags;
typedef A_long PF_Quality;
typedef A_long PF_Field;
typedef A_long PF_WorldFlags;
typedef A_long PF_Stage;
typedef A_u_long PF_FSliderFlags;
typedef A_short PF_ValueDisplayFlags;

typedef struct _PF_ProgressInfo *PF_ProgPtr;
typedef void **PF_Handle;
typedef void *PF_PixelPtr;
typedef struct PF_PluginData *PF_PluginDataPtr;

// ---- Constants -----------------------------------------------------------
enum {
  PF_Cmd_ABOUT = 0,
  PF_Cmd_GLOBAL_SETUP = 1,
  PF_Cmd_UNUSED_0 = 2,
  PF_Cmd_GLOBAL_SETDOWN = 3,
  PF_Cmd_PARAMS_SETUP = 4,
  PF_Cmd_SEQUENCE_SETUP = 5,
  PF_Cmd_SEQUENCE_RESETUP = 6,
  PF_Cmd_SEQUENCE_FLATTEN = 7,
  PF_Cmd_SEQUENCE_SETDOWN = 8,
  PF_Cmd_DO_DIALOG = 9,
  PF_Cmd_FRAME_SETUP = 10,
  PF_Cmd_RENDER = 11,
  PF_Cmd_FRAME_SETDOWN = 12,
  PF_Cmd_NUM_CMDS = 34
};

enum {
  PF_Err_NONE = 0,
  PF_Err_OUT_OF_MEMORY = 4,
  PF_Err_INTERNAL_STRUCT_DAMAGED = 512,
  PF_Err_INVALID_INDEX = 513,
  PF_Err_UNRECOGNIZED_PARAM_TYPE = 514,
  PF_Err_INVALID_CALLBACK = 515,
  PF_Err_BAD_CALLBACK_PARAM = 516,
  PF_Interrupt_CANCEL = 517,
  PF_Err_CANNOT_PARSE_KEYFRAME_TEXT = 518
};

enum {
  A_Err_NONE = 0,
  A_Err_GENERIC = 1,
  A_Err_STRUCT = 2,
  A_Err_PARAMETER = 3,
  A_Err_ALLOC = 4,
  A_Err_MISSING_SUITE = 13
};

enum {
  PF_Param_RESERVED = -1,
  PF_Param_LAYER = 0,
  PF_Param_SLIDER = 1,
  PF_Param_FIX_SLIDER = 2,
  PF_Param_ANGLE = 3,
  PF_Param_CHECKBOX = 4,
  PF_Param_COLOR = 5,
  PF_Param_POINT = 6,
  PF_Param_POPUP = 7,
  PF_Param_CUSTOM = 8,
  PF_Param_NO_DATA = 9,
  PF_Param_FLOAT_SLIDER = 10
};

enum {
  PF_ParamFlag_CANNOT_TIME_VARY = 0x2,
  PF_ParamFlag_CANNOT_INTERP = 0x4,
  PF_ParamFlag_COLLAPSE_TWIRLY = 0x20,
  PF_ParamFlag_START_COLLAPSED = 0x20
};

enum {
  PF_OutFlag_NONE = 0,
  PF_OutFlag_I_WRITE_INPUT_BUFFER = 1 << 11,
  PF_OutFlag_DEEP_COLOR_AWARE = 1 << 25
};

enum {
  PF_OutFlag2_NONE = 0,
  PF_OutFlag2_FLOAT_COLOR_AWARE = 1 << 12,
  PF_OutFlag2_SUPPORTS_THREADED_RENDERING = 1 << 27
};

enum { PF_Stage_DEVELOP = 0, PF_Stage_ALPHA = 1, PF_Stage_BETA = 2, PF_Stage_RELEASE = 3 };

enum {
  PF_ValueDisplayFlag_NONE = 0,
  PF_ValueDisplayFlag_PERCENT = 1,
  PF_ValueDisplayFlag_PIXEL = 2
};
enum { PF_FSliderFlag_NONE = 0, PF_FSliderFlag_WANT_PHASE = 1 };
enum { PF_Precision_INTEGER = 0, PF_Precision_TENTHS = 1, PF_Precision_HUNDREDTHS = 2 };
enum { PF_WorldFlag_DEEP = 1, PF_WorldFlag_WRITEABLE = 2 };

enum {
  PF_MAX_EFFECT_NAME_LEN = 31,
  PF_MAX_EFFECT_PARAM_NAME_LEN = 31,
  PF_MAX_EFFECT_MSG_LEN = 255
};

#define PF_MAX_CHAN8 255
#define PF_HALF_CHAN8 128
#define PF_MAX_CHAN16 32768
#define PF_HALF_CHAN16 16384

#define PF_VERSION(vers, subvers, bugvers, stage, build)                                   \
  ((A_u_long)((((A_u_long)(vers) >> 3) & 0xF) << 26) | (((A_u_long)(vers) & 0x7) << 19) | \
   (((A_u_long)(subvers) & 0xF) << 15) | (((A_u_long)(bugvers) & 0xF) << 11) |            \
   (((A_u_long)(stage) & 0x3) << 9) | ((A_u_long)(build) & 0x1FF))

#define PF_Kind_EFFECT 0x65464B54  // 'eFKT'

// ---- Small records -------------------------------------------------------
typedef struct {
  A_short major;
  A_short minor;
} PF_SpecVersion;

typedef struct {
  A_long h, v;
} PF_Point;

typedef struct {
  A_long left, top, right, bottom;
} PF_LRect;
typedef PF_LRect PF_Rect;
typedef PF_LRect PF_UnionableRect;

typedef struct {
  A_long num;
  A_u_long den;
} PF_RationalScale;

typedef struct {
  A_u_char alpha, red, green, blue;
} PF_Pixel;
typedef PF_Pixel PF_Pixel8;

typedef struct {
  A_u_short alpha, red, green, blue;
} PF_Pixel16;

typedef struct {
  PF_FpShort alpha, red, green, blue;
} PF_PixelFloat, PF_Pixel32;

typedef struct {
  PF_FpLong rateF;
  A_short num_channels;
  A_short format;
  A_short sample_size;
} PF_SoundFormatInfo;

typedef struct {
  PF_SoundFormatInfo fi;
  A_long num_samples;
  void *dataP;
} PF_SoundWorld;

// ---- Worlds --------------------------------------------------------------
typedef struct PF_LayerDef {
  void *reserved0;
  void *reserved1;
  PF_WorldFlags world_flags;
  PF_PixelPtr data;
  A_long rowbytes;
  A_long width;
  A_long height;
  PF_UnionableRect extent_hint;
  void *platform_ref;
  A_long reserved_long1;
  void *reserved_long4;
  PF_RationalScale pix_aspect_ratio;
  void *reserved_long2;
  A_long origin_x;
  A_long origin_y;
  A_long reserved_long3;
  A_long dephault;
} PF_LayerDef;
typedef PF_LayerDef PF_EffectWorld;

// ---- Parameter records ---------------------------------------------------
typedef struct {
  PF_ParamValue value;
  PF_Boolean dephault;
  A_char reserved;
  A_short reserved1;
  union {
    const A_char *nameptr;
  } u;
} PF_CheckBoxDef;

typedef struct {
  PF_Pixel value;
  PF_Pixel dephault;
} PF_ColorDef;

typedef struct {
  PF_FpLong value;
  PF_FpLong phase;
  A_char value_desc[32];
  PF_FpShort valid_min;
  PF_FpShort valid_max;
  PF_FpShort slider_min;
  PF_FpShort slider_max;
  PF_FpShort dephault;
  A_short precision;
  PF_ValueDisplayFlags display_flags;
  PF_FSliderFlags fs_flags;
  PF_FpShort curve_tolerance;
  PF_Boolean useExponent;
  PF_FpShort exponent;
} PF_FloatSliderDef;

// The other parameter kinds are smaller than the layer and never touched, so
// the union keeps only the members the module uses; `ld` fixes its size.
typedef union {
  PF_LayerDef ld;
  PF_CheckBoxDef bd;
  PF_ColorDef cd;
  PF_FloatSliderDef fs_d;
} PF_ParamDefUnion;

typedef struct PF_ParamDef {
  union {
    A_long id;
    PF_ChangeFlags change_flags;
  } uu;
  PF_ParamUIFlags ui_flags;
  A_short ui_width;
  A_short ui_height;
  PF_ParamType param_type;
  A_char name[32];
  PF_ParamFlags flags;
  A_long unused;
  PF_ParamDefUnion u;
} PF_ParamDef;

typedef PF_ParamDef **PF_ParamList;

// ---- Callbacks -----------------------------------------------------------
typedef struct {
  PF_Err (*checkout_param)(PF_ProgPtr, PF_ParamIndex, A_long, A_long, A_u_long, PF_ParamDef *);
  PF_Err (*checkin_param)(PF_ProgPtr, PF_ParamDef *);
  PF_Err (*add_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDef *def);
  void *abort;
  void *progress;
  void *register_ui;
  void *checkout_layer_audio;
  void *checkin_layer_audio;
  void *get_audio_data;
  void *reserved_str[3];
  void *reserved[10];
} PF_InteractCallbacks;

typedef struct {
  void *atan, *atan2, *ceil, *cos, *exp, *fabs, *floor, *fmod, *hypot, *log, *log10, *pow,
      *sin, *sqrt, *tan;
  int (*sprintf)(A_char *dst, const A_char *format, ...);
  A_char *(*strcpy)(A_char *dst, const A_char *src);
  void *asin, *acos;
  A_long ansi_procs[1];
} PF_ANSICallbacks;

typedef struct {
  void *RGBtoHLS, *HLStoRGB, *RGBtoYIQ, *YIQtoRGB, *Luminance, *Hue, *Lightness, *Saturation;
} PF_ColorCallbacks;

typedef struct {
  void *begin_sampling, *subpixel_sample, *area_sample, *get_batch_func_is_deprecated,
      *end_sampling, *composite_rect, *blend, *convolve;
  PF_Err (*copy)(PF_ProgPtr effect_ref, PF_EffectWorld *src, PF_EffectWorld *dst,
                 PF_Rect *src_rect, PF_Rect *dst_rect);
  void *fill, *gaussian_kernel, *iterate, *premultiply, *premultiply_color, *new_world,
      *dispose_world, *iterate_origin, *iterate_lut, *transfer_rect, *transform_world,
      *host_new_handle, *host_lock_handle, *host_unlock_handle, *host_dispose_handle,
      *get_callback_addr, *app;
  PF_ANSICallbacks ansi;
  PF_ColorCallbacks colorCB;
  void *get_platform_data, *host_get_handle_size, *iterate_origin_non_clip_src,
      *iterate_generic, *host_resize_handle, *subpixel_sample16, *area_sample16, *fill16,
      *premultiply_color16, *iterate16, *iterate_origin16, *iterate_origin_non_clip_src16;
  PF_Err (*get_pixel_data8)(PF_EffectWorld *world, PF_PixelPtr pixels, PF_Pixel8 **out);
  PF_Err (*get_pixel_data16)(PF_EffectWorld *world, PF_PixelPtr pixels, PF_Pixel16 **out);
  A_long reserved[1];
} PF_UtilCallbacks;

// ---- Command records -----------------------------------------------------
typedef struct PF_InData {
  PF_InteractCallbacks inter;
  PF_UtilCallbacks *utils;
  PF_ProgPtr effect_ref;
  PF_Quality quality;
  PF_SpecVersion version;
  A_long serial_num;
  A_long appl_id;
  A_long num_params;
  A_long reserved;
  A_long what_cpu;
  A_long what_fpu;
  A_long current_time;
  A_long time_step;
  A_long total_time;
  A_long local_time_step;
  A_u_long time_scale;
  PF_Field field;
  PF_Fixed shutter_angle;
  A_long width;
  A_long height;
  PF_Rect extent_hint;
  A_long output_origin_x;
  A_long output_origin_y;
  PF_RationalScale downsample_x;
  PF_RationalScale downsample_y;
  PF_RationalScale pixel_aspect_ratio;
  PF_InFlags in_flags;
  PF_Handle global_data;
  PF_Handle sequence_data;
  PF_Handle frame_data;
  A_long start_sampL;
  A_long dur_sampL;
  A_long total_sampL;
  PF_SoundWorld src_snd;
  SPBasicSuite *pica_basicP;
  A_long pre_effect_source_origin_x;
  A_long pre_effect_source_origin_y;
  PF_Fixed shutter_phase;
} PF_InData;

typedef struct PF_OutData {
  A_u_long my_version;
  A_char name[32];
  PF_Handle global_data;
  A_long num_params;
  PF_Handle sequence_data;
  A_long flat_sdata_size;
  PF_Handle frame_data;
  A_long width;
  A_long height;
  PF_Point origin;
  PF_OutFlags out_flags;
  A_char return_msg[256];
  A_long start_sampL;
  A_long dur_sampL;
  PF_SoundWorld dest_snd;
  PF_OutFlags2 out_flags2;
} PF_OutData;

// ---- Entry points --------------------------------------------------------
typedef PF_Err (*PF_FilterProc)(PF_Cmd cmd, PF_InData *in_data, PF_OutData *out_data,
                                PF_ParamDef *params[], PF_LayerDef *output, void *extra);

typedef A_Err (*PF_PluginDataCB)(PF_PluginDataPtr inPtr, const A_u_char *name,
                                 const A_u_char *matchName, const A_u_char *category,
                                 const A_u_char *entryPointName, A_long kind,
                                 A_long apiVersionMajor, A_long apiVersionMinor,
                                 A_long reservedInfo);

typedef A_Err (*PluginDataEntryFunctionPtr)(PF_PluginDataPtr inPtr, PF_PluginDataCB callback,
                                            struct SPBasicSuite *basic, const char *hostName,
                                            const char *hostVersion);

}  // extern "C"
