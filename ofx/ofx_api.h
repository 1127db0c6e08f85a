// Our own declarations of the part of the OpenFX image-effect API that the
// plug-in and its test host use, with the standard's names. Only the strings,
// numbers and record layouts matter to a host; the layouts are checked at
// compile time below (the same on Linux x86-64 and Windows x64: no record
// holds a `long`).
#pragma once

#include <cstddef>

// ---- Scalars and handles ---------------------------------------------------

typedef int OfxStatus;
typedef double OfxTime;

typedef struct OfxPropertySetStruct* OfxPropertySetHandle;
typedef struct OfxImageEffectStruct* OfxImageEffectHandle;
typedef struct OfxImageClipStruct* OfxImageClipHandle;
typedef struct OfxImageMemoryStruct* OfxImageMemoryHandle;
typedef struct OfxParamStruct* OfxParamHandle;
typedef struct OfxParamSetStruct* OfxParamSetHandle;
typedef struct OfxMutex* OfxMutexHandle;

struct OfxRectI {
  int x1, y1, x2, y2;  // half open: x1 <= x < x2, y1 <= y < y2; y points up
};

struct OfxRectD {
  double x1, y1, x2, y2;
};

struct OfxRangeD {
  double min, max;
};

// ---- Host and plug-in records ----------------------------------------------

struct OfxHost {
  OfxPropertySetHandle host;
  const void* (*fetchSuite)(OfxPropertySetHandle host, const char* suiteName, int suiteVersion);
};

typedef OfxStatus (*OfxPluginEntryPoint)(const char* action, const void* handle,
                                         OfxPropertySetHandle inArgs, OfxPropertySetHandle outArgs);

struct OfxPlugin {
  const char* pluginApi;
  int apiVersion;
  const char* pluginIdentifier;
  unsigned int pluginVersionMajor;
  unsigned int pluginVersionMinor;
  void (*setHost)(OfxHost* host);
  OfxPluginEntryPoint mainEntry;
};

// The binary's exports.
typedef int (*OfxGetNumberOfPluginsFunc)();
typedef OfxPlugin* (*OfxGetPluginFunc)(int nth);

// ---- Status codes ----------------------------------------------------------

inline constexpr OfxStatus kOfxStatOK = 0;
inline constexpr OfxStatus kOfxStatFailed = 1;
inline constexpr OfxStatus kOfxStatErrFatal = 2;
inline constexpr OfxStatus kOfxStatErrUnknown = 3;
inline constexpr OfxStatus kOfxStatErrMissingHostFeature = 4;
inline constexpr OfxStatus kOfxStatErrUnsupported = 5;
inline constexpr OfxStatus kOfxStatErrExists = 6;
inline constexpr OfxStatus kOfxStatErrFormat = 7;
inline constexpr OfxStatus kOfxStatErrMemory = 8;
inline constexpr OfxStatus kOfxStatErrBadHandle = 9;
inline constexpr OfxStatus kOfxStatErrBadIndex = 10;
inline constexpr OfxStatus kOfxStatErrValue = 11;
inline constexpr OfxStatus kOfxStatReplyYes = 12;
inline constexpr OfxStatus kOfxStatReplyNo = 13;
inline constexpr OfxStatus kOfxStatReplyDefault = 14;
inline constexpr OfxStatus kOfxStatErrImageFormat = 1000;

// ---- Suites ----------------------------------------------------------------

inline constexpr const char* kOfxPropertySuite = "OfxPropertySuite";
inline constexpr const char* kOfxImageEffectSuite = "OfxImageEffectSuite";
inline constexpr const char* kOfxParameterSuite = "OfxParameterSuite";
inline constexpr const char* kOfxMessageSuite = "OfxMessageSuite";
inline constexpr const char* kOfxMultiThreadSuite = "OfxMultiThreadSuite";

struct OfxPropertySuiteV1 {
  OfxStatus (*propSetPointer)(OfxPropertySetHandle, const char*, int index, void* value);
  OfxStatus (*propSetString)(OfxPropertySetHandle, const char*, int index, const char* value);
  OfxStatus (*propSetDouble)(OfxPropertySetHandle, const char*, int index, double value);
  OfxStatus (*propSetInt)(OfxPropertySetHandle, const char*, int index, int value);
  OfxStatus (*propSetPointerN)(OfxPropertySetHandle, const char*, int count, void* const* values);
  OfxStatus (*propSetStringN)(OfxPropertySetHandle, const char*, int count,
                              const char* const* values);
  OfxStatus (*propSetDoubleN)(OfxPropertySetHandle, const char*, int count, const double* values);
  OfxStatus (*propSetIntN)(OfxPropertySetHandle, const char*, int count, const int* values);
  OfxStatus (*propGetPointer)(OfxPropertySetHandle, const char*, int index, void** value);
  OfxStatus (*propGetString)(OfxPropertySetHandle, const char*, int index, char** value);
  OfxStatus (*propGetDouble)(OfxPropertySetHandle, const char*, int index, double* value);
  OfxStatus (*propGetInt)(OfxPropertySetHandle, const char*, int index, int* value);
  OfxStatus (*propGetPointerN)(OfxPropertySetHandle, const char*, int count, void** values);
  OfxStatus (*propGetStringN)(OfxPropertySetHandle, const char*, int count, char** values);
  OfxStatus (*propGetDoubleN)(OfxPropertySetHandle, const char*, int count, double* values);
  OfxStatus (*propGetIntN)(OfxPropertySetHandle, const char*, int count, int* values);
  OfxStatus (*propReset)(OfxPropertySetHandle, const char*);
  OfxStatus (*propGetDimension)(OfxPropertySetHandle, const char*, int* count);
};

struct OfxImageEffectSuiteV1 {
  OfxStatus (*getPropertySet)(OfxImageEffectHandle, OfxPropertySetHandle* result);
  OfxStatus (*getParamSet)(OfxImageEffectHandle, OfxParamSetHandle* result);
  OfxStatus (*clipDefine)(OfxImageEffectHandle descriptor, const char* name,
                          OfxPropertySetHandle* props);
  OfxStatus (*clipGetHandle)(OfxImageEffectHandle instance, const char* name,
                             OfxImageClipHandle* clip, OfxPropertySetHandle* props);
  OfxStatus (*clipGetPropertySet)(OfxImageClipHandle, OfxPropertySetHandle* result);
  OfxStatus (*clipGetImage)(OfxImageClipHandle, OfxTime time, const OfxRectD* region,
                            OfxPropertySetHandle* image);
  OfxStatus (*clipReleaseImage)(OfxPropertySetHandle image);
  OfxStatus (*clipGetRegionOfDefinition)(OfxImageClipHandle, OfxTime time, OfxRectD* rod);
  int (*abort)(OfxImageEffectHandle instance);
  OfxStatus (*imageMemoryAlloc)(OfxImageEffectHandle instance, size_t bytes,
                                OfxImageMemoryHandle* result);
  OfxStatus (*imageMemoryFree)(OfxImageMemoryHandle);
  OfxStatus (*imageMemoryLock)(OfxImageMemoryHandle, void** pointer);
  OfxStatus (*imageMemoryUnlock)(OfxImageMemoryHandle);
};

struct OfxParameterSuiteV1 {
  OfxStatus (*paramDefine)(OfxParamSetHandle, const char* paramType, const char* name,
                           OfxPropertySetHandle* props);
  OfxStatus (*paramGetHandle)(OfxParamSetHandle, const char* name, OfxParamHandle* param,
                              OfxPropertySetHandle* props);
  OfxStatus (*paramSetGetPropertySet)(OfxParamSetHandle, OfxPropertySetHandle* result);
  OfxStatus (*paramGetPropertySet)(OfxParamHandle, OfxPropertySetHandle* result);
  OfxStatus (*paramGetValue)(OfxParamHandle, ...);
  OfxStatus (*paramGetValueAtTime)(OfxParamHandle, OfxTime time, ...);
  OfxStatus (*paramGetDerivative)(OfxParamHandle, OfxTime time, ...);
  OfxStatus (*paramGetIntegral)(OfxParamHandle, OfxTime from, OfxTime to, ...);
  OfxStatus (*paramSetValue)(OfxParamHandle, ...);
  OfxStatus (*paramSetValueAtTime)(OfxParamHandle, OfxTime time, ...);
  OfxStatus (*paramGetNumKeys)(OfxParamHandle, unsigned int* count);
  OfxStatus (*paramGetKeyTime)(OfxParamHandle, unsigned int nth, OfxTime* time);
  OfxStatus (*paramGetKeyIndex)(OfxParamHandle, OfxTime time, int direction, int* index);
  OfxStatus (*paramDeleteKey)(OfxParamHandle, OfxTime time);
  OfxStatus (*paramDeleteAllKeys)(OfxParamHandle);
  OfxStatus (*paramCopy)(OfxParamHandle to, OfxParamHandle from, OfxTime offset,
                         const OfxRangeD* range);
  OfxStatus (*paramEditBegin)(OfxParamSetHandle, const char* undoLabel);
  OfxStatus (*paramEditEnd)(OfxParamSetHandle);
};

// What multiThread calls nThreads times, once with each index below
// threadMax, on the host's threads.
typedef void(OfxThreadFunctionV1)(unsigned int threadIndex, unsigned int threadMax,
                                  void* customArg);

struct OfxMultiThreadSuiteV1 {
  OfxStatus (*multiThread)(OfxThreadFunctionV1 func, unsigned int nThreads, void* customArg);
  OfxStatus (*multiThreadNumCPUs)(unsigned int* nCPUs);
  OfxStatus (*multiThreadIndex)(unsigned int* threadIndex);
  int (*multiThreadIsSpawnedThread)();
  OfxStatus (*mutexCreate)(OfxMutexHandle* mutex, int lockCount);
  OfxStatus (*mutexDestroy)(OfxMutexHandle mutex);
  OfxStatus (*mutexLock)(OfxMutexHandle mutex);
  OfxStatus (*mutexUnLock)(OfxMutexHandle mutex);
  OfxStatus (*mutexTryLock)(OfxMutexHandle mutex);
};

// Version 2 starts with the same function, so the plug-in reads either
// version through the first record.
struct OfxMessageSuiteV1 {
  OfxStatus (*message)(void* handle, const char* messageType, const char* messageId,
                       const char* format, ...);
};

struct OfxMessageSuiteV2 {
  OfxStatus (*message)(void* handle, const char* messageType, const char* messageId,
                       const char* format, ...);
  OfxStatus (*setPersistentMessage)(void* handle, const char* messageType, const char* messageId,
                                    const char* format, ...);
  OfxStatus (*clearPersistentMessage)(void* handle);
};

// ---- Strings: API, actions, types, contexts --------------------------------

inline constexpr const char* kOfxImageEffectPluginApi = "OfxImageEffectPluginAPI";
inline constexpr int kOfxImageEffectPluginApiVersion = 1;

inline constexpr const char* kOfxActionLoad = "OfxActionLoad";
inline constexpr const char* kOfxActionUnload = "OfxActionUnload";
inline constexpr const char* kOfxActionDescribe = "OfxActionDescribe";
inline constexpr const char* kOfxActionCreateInstance = "OfxActionCreateInstance";
inline constexpr const char* kOfxActionDestroyInstance = "OfxActionDestroyInstance";
inline constexpr const char* kOfxImageEffectActionDescribeInContext =
    "OfxImageEffectActionDescribeInContext";
inline constexpr const char* kOfxImageEffectActionGetClipPreferences =
    "OfxImageEffectActionGetClipPreferences";
inline constexpr const char* kOfxImageEffectActionGetRegionOfDefinition =
    "OfxImageEffectActionGetRegionOfDefinition";
inline constexpr const char* kOfxImageEffectActionGetRegionsOfInterest =
    "OfxImageEffectActionGetRegionsOfInterest";
inline constexpr const char* kOfxImageEffectActionIsIdentity = "OfxImageEffectActionIsIdentity";
inline constexpr const char* kOfxImageEffectActionBeginSequenceRender =
    "OfxImageEffectActionBeginSequenceRender";
inline constexpr const char* kOfxImageEffectActionEndSequenceRender =
    "OfxImageEffectActionEndSequenceRender";
inline constexpr const char* kOfxImageEffectActionRender = "OfxImageEffectActionRender";

inline constexpr const char* kOfxTypeImageEffectHost = "OfxTypeImageEffectHost";
inline constexpr const char* kOfxTypeImageEffect = "OfxTypeImageEffect";
inline constexpr const char* kOfxTypeImageEffectInstance = "OfxTypeImageEffectInstance";
inline constexpr const char* kOfxTypeClip = "OfxTypeClip";
inline constexpr const char* kOfxTypeImage = "OfxTypeImage";
inline constexpr const char* kOfxTypeParameter = "OfxTypeParameter";
inline constexpr const char* kOfxTypeParameterInstance = "OfxTypeParameterInstance";

inline constexpr const char* kOfxImageEffectContextFilter = "OfxImageEffectContextFilter";
inline constexpr const char* kOfxImageEffectContextGeneral = "OfxImageEffectContextGeneral";

inline constexpr const char* kOfxImageEffectSimpleSourceClipName = "Source";
inline constexpr const char* kOfxImageEffectOutputClipName = "Output";

// ---- Strings: properties ---------------------------------------------------

inline constexpr const char* kOfxPropType = "OfxPropType";
inline constexpr const char* kOfxPropName = "OfxPropName";
inline constexpr const char* kOfxPropLabel = "OfxPropLabel";
inline constexpr const char* kOfxPropVersion = "OfxPropVersion";
inline constexpr const char* kOfxPropVersionLabel = "OfxPropVersionLabel";
inline constexpr const char* kOfxPropAPIVersion = "OfxPropAPIVersion";
inline constexpr const char* kOfxPropPluginDescription = "OfxPropPluginDescription";
inline constexpr const char* kOfxPropTime = "OfxPropTime";
inline constexpr const char* kOfxPropIsInteractive = "OfxPropIsInteractive";
inline constexpr const char* kOfxPropInstanceData = "OfxPropInstanceData";

inline constexpr const char* kOfxImageEffectPluginPropGrouping = "OfxImageEffectPluginPropGrouping";
inline constexpr const char* kOfxImageEffectPropSupportedContexts =
    "OfxImageEffectPropSupportedContexts";
inline constexpr const char* kOfxImageEffectPropSupportedPixelDepths =
    "OfxImageEffectPropSupportedPixelDepths";
inline constexpr const char* kOfxImageEffectPropSupportedComponents =
    "OfxImageEffectPropSupportedComponents";
inline constexpr const char* kOfxImageEffectPropSupportsTiles = "OfxImageEffectPropSupportsTiles";
inline constexpr const char* kOfxImageEffectPropSupportsMultiResolution =
    "OfxImageEffectPropSupportsMultiResolution";
inline constexpr const char* kOfxImageEffectPropSupportsMultipleClipDepths =
    "OfxImageEffectPropMultipleClipDepths";
inline constexpr const char* kOfxImageEffectPropSupportsMultipleClipPARs =
    "OfxImageEffectPropSupportsMultipleClipPARs";
inline constexpr const char* kOfxImageEffectPropTemporalClipAccess =
    "OfxImageEffectPropTemporalClipAccess";
inline constexpr const char* kOfxImageEffectPluginRenderThreadSafety =
    "OfxImageEffectPluginRenderThreadSafety";
inline constexpr const char* kOfxImageEffectRenderUnsafe = "OfxImageEffectRenderUnsafe";
inline constexpr const char* kOfxImageEffectRenderInstanceSafe = "OfxImageEffectRenderInstanceSafe";
inline constexpr const char* kOfxImageEffectRenderFullySafe = "OfxImageEffectRenderFullySafe";
inline constexpr const char* kOfxImageEffectPluginPropHostFrameThreading =
    "OfxImageEffectPluginPropHostFrameThreading";
inline constexpr const char* kOfxImageEffectPluginPropSingleInstance =
    "OfxImageEffectPluginPropSingleInstance";
inline constexpr const char* kOfxImageEffectPluginPropFieldRenderTwiceAlways =
    "OfxImageEffectPluginPropFieldRenderTwiceAlways";
inline constexpr const char* kOfxImageEffectInstancePropSequentialRender =
    "OfxImageEffectInstancePropSequentialRender";
inline constexpr const char* kOfxImageEffectPropContext = "OfxImageEffectPropContext";

inline constexpr const char* kOfxImageClipPropOptional = "OfxImageClipPropOptional";
inline constexpr const char* kOfxImageClipPropIsMask = "OfxImageClipPropIsMask";
inline constexpr const char* kOfxImageClipPropConnected = "OfxImageClipPropConnected";
inline constexpr const char* kOfxImageClipPropUnmappedPixelDepth =
    "OfxImageClipPropUnmappedPixelDepth";
inline constexpr const char* kOfxImageClipPropUnmappedComponents =
    "OfxImageClipPropUnmappedComponents";

inline constexpr const char* kOfxImageEffectPropPixelDepth = "OfxImageEffectPropPixelDepth";
inline constexpr const char* kOfxImageEffectPropComponents = "OfxImageEffectPropComponents";
inline constexpr const char* kOfxImageEffectPropPreMultiplication =
    "OfxImageEffectPropPreMultiplication";
inline constexpr const char* kOfxImageEffectPropRenderScale = "OfxImageEffectPropRenderScale";
inline constexpr const char* kOfxImageEffectPropRenderWindow = "OfxImageEffectPropRenderWindow";
inline constexpr const char* kOfxImageEffectPropFieldToRender = "OfxImageEffectPropFieldToRender";
inline constexpr const char* kOfxImageEffectPropRegionOfInterest =
    "OfxImageEffectPropRegionOfInterest";
inline constexpr const char* kOfxImageEffectPropRegionOfDefinition =
    "OfxImageEffectPropRegionOfDefinition";
inline constexpr const char* kOfxImageEffectPropFrameRange = "OfxImageEffectPropFrameRange";
inline constexpr const char* kOfxImageEffectPropFrameStep = "OfxImageEffectPropFrameStep";
inline constexpr const char* kOfxImageEffectPropSequentialRenderStatus =
    "OfxImageEffectPropSequentialRenderStatus";
inline constexpr const char* kOfxImageEffectPropInteractiveRenderStatus =
    "OfxImageEffectPropInteractiveRenderStatus";

inline constexpr const char* kOfxImagePropData = "OfxImagePropData";
inline constexpr const char* kOfxImagePropBounds = "OfxImagePropBounds";
inline constexpr const char* kOfxImagePropRegionOfDefinition = "OfxImagePropRegionOfDefinition";
inline constexpr const char* kOfxImagePropRowBytes = "OfxImagePropRowBytes";
inline constexpr const char* kOfxImagePropPixelAspectRatio = "OfxImagePropPixelAspectRatio";
inline constexpr const char* kOfxImagePropField = "OfxImagePropField";
inline constexpr const char* kOfxImagePropUniqueIdentifier = "OfxImagePropUniqueIdentifier";

// GetClipPreferences and GetRegionsOfInterest name one property per clip:
// this prefix and the clip's name.
inline constexpr const char* kOfxImageClipPropRoI_ = "OfxImageClipPropRoI_";
inline constexpr const char* kOfxImageClipPropComponents_ = "OfxImageClipPropComponents_";
inline constexpr const char* kOfxImageClipPropDepth_ = "OfxImageClipPropDepth_";

inline constexpr const char* kOfxBitDepthByte = "OfxBitDepthByte";
inline constexpr const char* kOfxBitDepthShort = "OfxBitDepthShort";
inline constexpr const char* kOfxBitDepthHalf = "OfxBitDepthHalf";
inline constexpr const char* kOfxBitDepthFloat = "OfxBitDepthFloat";
inline constexpr const char* kOfxImageComponentRGBA = "OfxImageComponentRGBA";
inline constexpr const char* kOfxImageComponentRGB = "OfxImageComponentRGB";
inline constexpr const char* kOfxImageComponentAlpha = "OfxImageComponentAlpha";
inline constexpr const char* kOfxImageOpaque = "OfxImageOpaque";
inline constexpr const char* kOfxImagePreMultiplied = "OfxImageAlphaPremultiplied";
inline constexpr const char* kOfxImageUnPreMultiplied = "OfxImageAlphaUnPremultiplied";
inline constexpr const char* kOfxImageFieldNone = "OfxFieldNone";

// ---- Strings: parameters and messages --------------------------------------

inline constexpr const char* kOfxParamTypeDouble = "OfxParamTypeDouble";
inline constexpr const char* kOfxParamTypeBoolean = "OfxParamTypeBoolean";
inline constexpr const char* kOfxParamTypeRGB = "OfxParamTypeRGB";

inline constexpr const char* kOfxParamPropType = "OfxParamPropType";
inline constexpr const char* kOfxParamPropDefault = "OfxParamPropDefault";
inline constexpr const char* kOfxParamPropMin = "OfxParamPropMin";
inline constexpr const char* kOfxParamPropMax = "OfxParamPropMax";
inline constexpr const char* kOfxParamPropDisplayMin = "OfxParamPropDisplayMin";
inline constexpr const char* kOfxParamPropDisplayMax = "OfxParamPropDisplayMax";
inline constexpr const char* kOfxParamPropDigits = "OfxParamPropDigits";
inline constexpr const char* kOfxParamPropIncrement = "OfxParamPropIncrement";
inline constexpr const char* kOfxParamPropDoubleType = "OfxParamPropDoubleType";
inline constexpr const char* kOfxParamDoubleTypePlain = "OfxParamDoubleTypePlain";
inline constexpr const char* kOfxParamPropAnimates = "OfxParamPropAnimates";
inline constexpr const char* kOfxParamPropHint = "OfxParamPropHint";
inline constexpr const char* kOfxParamPropScriptName = "OfxParamPropScriptName";
inline constexpr const char* kOfxParamPropEvaluateOnChange = "OfxParamPropEvaluateOnChange";
inline constexpr const char* kOfxParamPropPersistant = "OfxParamPropPersistant";

inline constexpr const char* kOfxMessageError = "OfxMessageError";
inline constexpr const char* kOfxMessageFatal = "OfxMessageFatal";
inline constexpr const char* kOfxMessageWarning = "OfxMessageWarning";

// ---- Layout checks ---------------------------------------------------------

static_assert(sizeof(OfxStatus) == 4 && sizeof(OfxTime) == 8 && sizeof(OfxPropertySetHandle) == 8);
static_assert(sizeof(OfxRectI) == 16 && offsetof(OfxRectI, y1) == 4 &&
              offsetof(OfxRectI, x2) == 8 && offsetof(OfxRectI, y2) == 12);
static_assert(sizeof(OfxRectD) == 32 && offsetof(OfxRectD, y1) == 8 &&
              offsetof(OfxRectD, x2) == 16 && offsetof(OfxRectD, y2) == 24);
static_assert(sizeof(OfxRangeD) == 16);
static_assert(sizeof(OfxHost) == 16 && offsetof(OfxHost, fetchSuite) == 8);
static_assert(sizeof(OfxPlugin) == 48 && offsetof(OfxPlugin, apiVersion) == 8 &&
              offsetof(OfxPlugin, pluginIdentifier) == 16 &&
              offsetof(OfxPlugin, pluginVersionMajor) == 24 &&
              offsetof(OfxPlugin, pluginVersionMinor) == 28 && offsetof(OfxPlugin, setHost) == 32 &&
              offsetof(OfxPlugin, mainEntry) == 40);
static_assert(sizeof(OfxPropertySuiteV1) == 144 &&
              offsetof(OfxPropertySuiteV1, propGetPointer) == 64 &&
              offsetof(OfxPropertySuiteV1, propGetString) == 72 &&
              offsetof(OfxPropertySuiteV1, propGetIntN) == 120 &&
              offsetof(OfxPropertySuiteV1, propGetDimension) == 136);
static_assert(sizeof(OfxImageEffectSuiteV1) == 104 &&
              offsetof(OfxImageEffectSuiteV1, clipDefine) == 16 &&
              offsetof(OfxImageEffectSuiteV1, clipGetImage) == 40 &&
              offsetof(OfxImageEffectSuiteV1, clipReleaseImage) == 48 &&
              offsetof(OfxImageEffectSuiteV1, clipGetRegionOfDefinition) == 56 &&
              offsetof(OfxImageEffectSuiteV1, abort) == 64 &&
              offsetof(OfxImageEffectSuiteV1, imageMemoryUnlock) == 96);
static_assert(sizeof(OfxParameterSuiteV1) == 144 &&
              offsetof(OfxParameterSuiteV1, paramGetValueAtTime) == 40 &&
              offsetof(OfxParameterSuiteV1, paramSetValue) == 64 &&
              offsetof(OfxParameterSuiteV1, paramCopy) == 120 &&
              offsetof(OfxParameterSuiteV1, paramEditEnd) == 136);
static_assert(sizeof(OfxMessageSuiteV1) == 8 && sizeof(OfxMessageSuiteV2) == 24 &&
              offsetof(OfxMessageSuiteV2, clearPersistentMessage) == 16);
static_assert(sizeof(OfxMultiThreadSuiteV1) == 72 &&
              offsetof(OfxMultiThreadSuiteV1, multiThreadNumCPUs) == 8 &&
              offsetof(OfxMultiThreadSuiteV1, multiThreadIndex) == 16 &&
              offsetof(OfxMultiThreadSuiteV1, multiThreadIsSpawnedThread) == 24 &&
              offsetof(OfxMultiThreadSuiteV1, mutexCreate) == 32 &&
              offsetof(OfxMultiThreadSuiteV1, mutexDestroy) == 40 &&
              offsetof(OfxMultiThreadSuiteV1, mutexLock) == 48 &&
              offsetof(OfxMultiThreadSuiteV1, mutexUnLock) == 56 &&
              offsetof(OfxMultiThreadSuiteV1, mutexTryLock) == 64);
