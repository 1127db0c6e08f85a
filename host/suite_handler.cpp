#include "host/suite_handler.h"

namespace corvalin {

namespace {
[[noreturn]] void ThrowMissingSuite() { throw A_long{PF_Err_BAD_CALLBACK_PARAM}; }
}  // namespace

SuiteHandler::SuiteHandler(const SPBasicSuite* basic) : basic_(basic) {
  if (basic_ == nullptr) ThrowMissingSuite();
}

SuiteHandler::~SuiteHandler() {
  // Release only what was acquired, with the same name and version.
  if (ansiSuite1_ != nullptr && basic_->ReleaseSuite != nullptr) {
    basic_->ReleaseSuite(kPFANSISuite, kPFANSISuiteVersion1);
  }
}

const void* SuiteHandler::Acquire(const char* name, int32_t version) {
  if (basic_->AcquireSuite == nullptr) ThrowMissingSuite();
  const void* suite = nullptr;
  if (basic_->AcquireSuite(name, version, &suite) != kSPNoError || suite == nullptr) {
    ThrowMissingSuite();
  }
  return suite;
}

const PF_ANSICallbacksSuite1* SuiteHandler::ANSICallbacksSuite1() {
  if (ansiSuite1_ == nullptr) {
    ansiSuite1_ =
        static_cast<const PF_ANSICallbacksSuite1*>(Acquire(kPFANSISuite, kPFANSISuiteVersion1));
  }
  return ansiSuite1_;
}

}  // namespace corvalin
