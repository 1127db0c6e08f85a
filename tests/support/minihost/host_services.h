// Recording services for the mini host: the callbacks and suites a host
// offers the module (utility callbacks, add_param, the basic suite with the
// ANSI suite, the registration callback), each recording its use and each
// refusable as a HostBehaviour says.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sdk/AE_Effect.h"
#include "sdk/SPBasic.h"

namespace corvalin::minihost {

// One service call made by the module.
enum class Service {
  addParam,
  strcpy,
  copy,
  getPixelData8,
  getPixelData16,
  acquireSuite,
  releaseSuite,
  sprintf,
};

struct HostCall {
  Service service;
  std::string text;              // suite name, strcpy source, sprintf format
  int32_t number = 0;            // suite version, add_param index
  const void* world = nullptr;   // world passed to copy (source) / get_pixel_data
  const void* target = nullptr;  // copy destination; effect_ref for add_param
  PF_ProgPtr effectRef = nullptr;
};

// What the host offers; the defaults make a well-behaved host.
struct HostBehaviour {
  int32_t refuseParamNumber = 0;  // 1-based add_param call to refuse; 0 refuses none
  PF_Err refuseParamError = PF_Err_OUT_OF_MEMORY;
  bool offerBasicSuite = true;           // pica_basicP null when false
  SPErr acquireError = kSPNoError;       // AcquireSuite's result
  bool acquireYieldsNull = false;        // AcquireSuite succeeds but hands out null
  bool offer16BitInput = true;           // get_pixel_data16 yields null for the input when false
  bool offer16BitOutput = true;          // ... for the output
  PF_Err copyError = PF_Err_NONE;        // copy returns this (and copies nothing) when non-zero
  A_Err registrationError = A_Err_NONE;  // the registration callback's result
};

// The arguments of the registration callback, in order.
struct Registration {
  const void* inPtr = nullptr;
  std::string name, matchName, category, entryPoint;
  A_long kind = 0, apiVersionMajor = 0, apiVersionMinor = 0, reservedInfo = 0;
  int32_t calls = 0;  // how often the callback ran
};

// Everything one command sees, and what the module did with it. The
// callbacks reach it through a thread-local pointer, since most of them get
// no context argument.
struct ServiceCall {
  explicit ServiceCall(const HostBehaviour& hostBehaviour) : behaviour(hostBehaviour) {}
  const HostBehaviour& behaviour;
  std::vector<PF_ParamDef>* collected = nullptr;  // add_param target; null: refuse all
  PF_InData inData{};
  PF_UtilCallbacks utils{};
  SPBasicSuite basic{};
  PF_ANSICallbacksSuite1 ansi{};
  std::vector<HostCall> calls;
  int32_t addParamCalls = 0;
  const PF_EffectWorld* input = nullptr;  // worlds of a render, for the 16-bit knobs
  const PF_EffectWorld* output = nullptr;
  Registration* registration = nullptr;
};

// Points the call's callbacks and suites at the recording services, and its
// in-data at them, as the behaviour offers them.
void OfferServices(ServiceCall& call);

// What the host passes as effect_ref.
PF_ProgPtr HostEffectRef();

// The registration callback handed to PluginDataEntryFunction.
PF_PluginDataCB RegistrationCallback();

// Makes `call` the one the services record into on this thread while it
// lives, and the previous one again after.
class CurrentCall {
 public:
  explicit CurrentCall(ServiceCall& call);
  ~CurrentCall();
  CurrentCall(const CurrentCall&) = delete;
  CurrentCall& operator=(const CurrentCall&) = delete;

 private:
  ServiceCall* previous_;
};

}  // namespace corvalin::minihost
