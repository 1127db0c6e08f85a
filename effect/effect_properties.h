/* The effect's identity as hosts see it: version, global flag words, names
   and API level. GlobalSetup, the property resource (compiled by the resource
   compiler), the command's --version, the frei0r filter and CMake's project
   version all read this file, so they cannot disagree. Plain #defines only:
   the resource compiler understands nothing else. effect/identity.h checks
   at compile time that the derived words and lengths agree. */
#ifndef CORVALIN_EFFECT_PROPERTIES_H
#define CORVALIN_EFFECT_PROPERTIES_H

/* Version 1.0, develop stage, build 1, packed as the host packs versions
   (major, minor, bug fix, stage, build). */
#define CORVALIN_MAJOR_VERSION 1
#define CORVALIN_MINOR_VERSION 0
#define CORVALIN_BUGFIX_VERSION 0
#define CORVALIN_STAGE_VERSION 0
#define CORVALIN_BUILD_VERSION 1
#define CORVALIN_VERSION_WORD 0x00080001
#define CORVALIN_VERSION_TEXT "1.0"

/* DEEP_COLOR_AWARE (bit 25) | I_WRITE_INPUT_BUFFER (bit 11). */
#define CORVALIN_OUT_FLAGS 0x02000800
/* SUPPORTS_THREADED_RENDERING (bit 27). */
#define CORVALIN_OUT_FLAGS2 0x08000000

/* Effect API level the module is written against. */
#define CORVALIN_API_MAJOR 13
#define CORVALIN_API_MINOR 27

#define CORVALIN_VENDOR "Vantrell VFX"

/* Property resource: identity, list header and property values. Each string
   property is its data (length byte, characters, zero padding) and its data
   length, a multiple of four that counts the padding. */
#define CORVALIN_PIPL_ID 16000
#define CORVALIN_PIPL_NAME "Corvalin"
#define CORVALIN_PIPL_NAME_LENGTH "\010"
#define CORVALIN_PIPL_NAME_PADDING "\0\0\0"
#define CORVALIN_PIPL_NAME_BYTES 12
#define CORVALIN_PIPL_CATEGORY "Vantrell VFX"
#define CORVALIN_PIPL_CATEGORY_LENGTH "\014"
#define CORVALIN_PIPL_CATEGORY_PADDING "\0\0\0"
#define CORVALIN_PIPL_CATEGORY_BYTES 16
#define CORVALIN_PIPL_MATCH_NAME "Vantrell VFX Corvalin"
#define CORVALIN_PIPL_MATCH_NAME_LENGTH "\025"
#define CORVALIN_PIPL_MATCH_NAME_PADDING "\0\0"
#define CORVALIN_PIPL_MATCH_NAME_BYTES 24
/* A C string: the terminator is the first padding byte. */
#define CORVALIN_ENTRY_POINT "EffectMain"
#define CORVALIN_ENTRY_POINT_PADDING "\0\0"
#define CORVALIN_ENTRY_POINT_BYTES 12
#define CORVALIN_PIPL_VERSION_MAJOR 2
#define CORVALIN_PIPL_VERSION_MINOR 0
#define CORVALIN_PIPL_INFO_FLAGS 0
#define CORVALIN_PIPL_RESERVED_INFO 0

/* Registration record: differs from the resource on purpose in category,
   match name and reserved information. */
#define CORVALIN_REG_NAME "Corvalin"
#define CORVALIN_REG_MATCH_NAME "ADBE Corvalin"
#define CORVALIN_REG_CATEGORY "Sample Plug-ins"
#define CORVALIN_REG_RESERVED_INFO 8

#endif
