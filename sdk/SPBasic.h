// The host's basic suite and the ANSI suite, with the host SDK's names and
// Windows x64 layout (see AE_Effect.h for the layout contract).
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

typedef int32_t SPErr;
typedef int32_t SPBoolean;  // four bytes on Windows
enum { kSPNoError = 0 };

#define kSPBasicSuite "SP Basic Suite"
#define kSPBasicSuiteVersion 4

typedef struct SPBasicSuite {
  SPErr (*AcquireSuite)(const char *name, int32_t version, const void **suite);
  SPErr (*ReleaseSuite)(const char *name, int32_t version);
  SPBoolean (*IsEqual)(const char *token1, const char *token2);
  SPErr (*AllocateBlock)(size_t size, void **block);
  SPErr (*FreeBlock)(void *block);
  SPErr (*ReallocateBlock)(void *block, size_t newSize, void **newblock);
  SPErr (*Undefined)(void);
} SPBasicSuite;

#define kPFANSISuite "PF ANSI Suite"
#define kPFANSISuiteVersion1 1

typedef struct PF_ANSICallbacksSuite1 {
  void *atan, *atan2, *ceil, *cos, *exp, *fabs, *floor, *fmod, *hypot, *log, *log10, *pow,
      *sin, *sqrt, *tan;
  int (*sprintf)(char *dst, const char *format, ...);
  char *(*strcpy)(char *dst, const char *src);
  void *asin, *acos;
} PF_ANSICallbacksSuite1;

}  // extern "C"
