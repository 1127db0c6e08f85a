// The host's suites as the plug-in's actions use them, and small typed
// wrappers over the property suite.
#pragma once

#include <string>

#include "ofx/ofx_api.h"

namespace corvalin::ofx {

// Fetched in Load. The property, image-effect and parameter suites are
// needed; the message suite is optional (failures are then only reported
// by their status), and so is the multi-thread suite (frames then render
// on the thread of the Render action alone).
struct HostSuites {
  const OfxPropertySuiteV1* property = nullptr;
  const OfxImageEffectSuiteV1* imageEffect = nullptr;
  const OfxParameterSuiteV1* parameter = nullptr;
  const OfxMessageSuiteV1* message = nullptr;
  const OfxMultiThreadSuiteV1* multiThread = nullptr;

  bool Complete() const {
    return property != nullptr && imageEffect != nullptr && parameter != nullptr;
  }
};

// An action's failure: the status it returns and what the user is told.
struct Failure {
  OfxStatus status;
  std::string text;
};

// One property set through the property suite. Every call returns the
// suite's status; strings are copied at once, as the host's are only valid
// until its next call.
class Properties {
 public:
  Properties(const OfxPropertySuiteV1& suite, OfxPropertySetHandle set)
      : suite_(suite), set_(set) {}

  OfxStatus SetString(const char* name, const char* value, int index = 0) const {
    return suite_.propSetString(set_, name, index, value);
  }
  OfxStatus SetInt(const char* name, int value, int index = 0) const {
    return suite_.propSetInt(set_, name, index, value);
  }
  OfxStatus SetDouble(const char* name, double value, int index = 0) const {
    return suite_.propSetDouble(set_, name, index, value);
  }
  OfxStatus SetDoubles(const char* name, int count, const double* values) const {
    return suite_.propSetDoubleN(set_, name, count, values);
  }
  OfxStatus SetInts(const char* name, int count, const int* values) const {
    return suite_.propSetIntN(set_, name, count, values);
  }
  OfxStatus GetString(const char* name, std::string* value, int index = 0) const {
    char* text = nullptr;
    const OfxStatus status = suite_.propGetString(set_, name, index, &text);
    if (status == kOfxStatOK) *value = text != nullptr ? text : "";
    return status;
  }
  OfxStatus GetInt(const char* name, int* value, int index = 0) const {
    return suite_.propGetInt(set_, name, index, value);
  }
  OfxStatus GetInts(const char* name, int count, int* values) const {
    return suite_.propGetIntN(set_, name, count, values);
  }
  OfxStatus GetDouble(const char* name, double* value, int index = 0) const {
    return suite_.propGetDouble(set_, name, index, value);
  }
  OfxStatus GetPointer(const char* name, void** value, int index = 0) const {
    return suite_.propGetPointer(set_, name, index, value);
  }

 private:
  const OfxPropertySuiteV1& suite_;
  OfxPropertySetHandle set_;
};

}  // namespace corvalin::ofx
