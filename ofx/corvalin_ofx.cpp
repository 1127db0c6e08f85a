// The OpenFX plug-in Corvalin.ofx: one image effect, its record and entry
// point, and the two functions a host looks up in the binary. Nothing else
// leaves the binary.
#include <cstring>
#include <exception>
#include <new>

#include "effect/effect_properties.h"
#include "ofx/ofx_actions.h"
#include "ofx/ofx_api.h"
#include "ofx/ofx_suites.h"

#if defined(_WIN32)
#define CORVALIN_OFX_EXPORT __declspec(dllexport)
#else
#define CORVALIN_OFX_EXPORT __attribute__((visibility("default")))
#endif

namespace corvalin::ofx {

namespace {

// The host and its suites: written by setHost, Load and Unload only, which a
// host never runs beside any other action of the binary; renders only read
// them. Nothing of a render is kept here.
OfxHost* gHost = nullptr;
HostSuites gSuites;

void SetHost(OfxHost* host) { gHost = host; }

const void* Fetch(const char* name, int version) {
  return gHost->fetchSuite(gHost->host, name, version);
}

void Tell(const void* handle, const char* type, const char* text) {
  if (gSuites.message != nullptr && gSuites.message->message != nullptr)
    gSuites.message->message(const_cast<void*>(handle), type, nullptr, "%s: %s", "Corvalin", text);
}

OfxStatus Load() {
  gSuites = HostSuites{};
  if (gHost == nullptr || gHost->fetchSuite == nullptr) return kOfxStatErrMissingHostFeature;
  // Either message suite starts with the same function.
  gSuites.message = static_cast<const OfxMessageSuiteV1*>(Fetch(kOfxMessageSuite, 2));
  if (gSuites.message == nullptr)
    gSuites.message = static_cast<const OfxMessageSuiteV1*>(Fetch(kOfxMessageSuite, 1));
  gSuites.property = static_cast<const OfxPropertySuiteV1*>(Fetch(kOfxPropertySuite, 1));
  gSuites.imageEffect = static_cast<const OfxImageEffectSuiteV1*>(Fetch(kOfxImageEffectSuite, 1));
  gSuites.parameter = static_cast<const OfxParameterSuiteV1*>(Fetch(kOfxParameterSuite, 1));
  gSuites.multiThread = static_cast<const OfxMultiThreadSuiteV1*>(Fetch(kOfxMultiThreadSuite, 1));
  if (!gSuites.Complete()) {
    const char* missing = gSuites.property == nullptr      ? kOfxPropertySuite
                          : gSuites.imageEffect == nullptr ? kOfxImageEffectSuite
                                                           : kOfxParameterSuite;
    if (gSuites.message != nullptr && gSuites.message->message != nullptr)
      gSuites.message->message(nullptr, kOfxMessageError, nullptr,
                               "Corvalin: the host offers no %s version 1", missing);
    return kOfxStatErrMissingHostFeature;
  }
  return kOfxStatOK;
}

OfxStatus Report(const void* handle, const Failure& failure) {
  if (failure.status != kOfxStatOK && failure.status != kOfxStatReplyDefault)
    Tell(handle, kOfxMessageError, failure.text.c_str());
  return failure.status;
}

OfxStatus Dispatch(const char* action, const void* handle, OfxPropertySetHandle inArgs,
                   OfxPropertySetHandle outArgs) {
  if (std::strcmp(action, kOfxActionLoad) == 0) return Load();
  if (std::strcmp(action, kOfxActionUnload) == 0) {
    gSuites = HostSuites{};
    return kOfxStatOK;
  }
  if (!gSuites.Complete()) return kOfxStatErrMissingHostFeature;

  auto effect = static_cast<OfxImageEffectHandle>(const_cast<void*>(handle));
  if (std::strcmp(action, kOfxImageEffectActionRender) == 0)
    return Report(handle, Render(gSuites, effect, inArgs));
  if (std::strcmp(action, kOfxImageEffectActionGetRegionsOfInterest) == 0)
    return Report(handle, GetRegionsOfInterest(gSuites, effect, inArgs, outArgs));
  if (std::strcmp(action, kOfxImageEffectActionGetClipPreferences) == 0)
    return Report(handle, GetClipPreferences(gSuites, effect, outArgs));
  if (std::strcmp(action, kOfxActionDescribe) == 0)
    return Report(handle, Describe(gSuites, effect));
  if (std::strcmp(action, kOfxImageEffectActionDescribeInContext) == 0)
    return Report(handle, DescribeInContext(gSuites, effect, inArgs));
  return kOfxStatReplyDefault;
}

// No exception may cross into the host.
OfxStatus MainEntry(const char* action, const void* handle, OfxPropertySetHandle inArgs,
                    OfxPropertySetHandle outArgs) {
  if (action == nullptr) return kOfxStatFailed;
  try {
    return Dispatch(action, handle, inArgs, outArgs);
  } catch (const std::bad_alloc&) {
    Tell(handle, kOfxMessageError, "out of memory");
    return kOfxStatErrMemory;
  } catch (...) {
    Tell(handle, kOfxMessageError, "unexpected failure");
    return kOfxStatErrUnknown;
  }
}

OfxPlugin gPlugin = {kOfxImageEffectPluginApi,
                     kOfxImageEffectPluginApiVersion,
                     kPluginIdentifier,
                     CORVALIN_MAJOR_VERSION,
                     CORVALIN_MINOR_VERSION,
                     &SetHost,
                     &MainEntry};

}  // namespace

}  // namespace corvalin::ofx

extern "C" {

CORVALIN_OFX_EXPORT int OfxGetNumberOfPlugins() { return 1; }

CORVALIN_OFX_EXPORT OfxPlugin* OfxGetPlugin(int nth) {
  return nth == 0 ? &corvalin::ofx::gPlugin : nullptr;
}

}  // extern "C"
