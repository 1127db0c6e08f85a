// Scoped access to the host's callback suites. A suite is acquired on first
// use and released when the handler goes out of scope, also when an error
// unwinds through it. A missing suite is thrown as the host error code
// PF_Err_BAD_CALLBACK_PARAM, which EffectMain hands back to the host.
#pragma once

#include "sdk/AE_Effect.h"
#include "sdk/SPBasic.h"

namespace corvalin {

class SuiteHandler {
 public:
  explicit SuiteHandler(const SPBasicSuite* basic);  // throws A_long on null
  ~SuiteHandler();
  SuiteHandler(const SuiteHandler&) = delete;
  SuiteHandler& operator=(const SuiteHandler&) = delete;

  const PF_ANSICallbacksSuite1* ANSICallbacksSuite1();

 private:
  const void* Acquire(const char* name, int32_t version);

  const SPBasicSuite* basic_;
  const PF_ANSICallbacksSuite1* ansiSuite1_ = nullptr;
};

}  // namespace corvalin
