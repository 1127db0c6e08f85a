// Scoped suite access: acquisition on first use, one release per held suite,
// the thrown host error on a missing suite.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/suite_handler.h"

namespace corvalin::testing {
namespace {

struct FakeBasicSuite {
  static inline std::vector<std::string> log;
  static inline SPErr acquireResult = kSPNoError;
  static inline bool handOutNull = false;
  static inline PF_ANSICallbacksSuite1 ansi{};

  static SPErr Acquire(const char* name, int32_t version, const void** suite) {
    log.push_back("acquire " + std::string(name) + " " + std::to_string(version));
    *suite = handOutNull ? nullptr : &ansi;
    return acquireResult;
  }
  static SPErr Release(const char* name, int32_t version) {
    log.push_back("release " + std::string(name) + " " + std::to_string(version));
    return 99;  // ignored
  }

  SPBasicSuite suite{};
  FakeBasicSuite() {
    log.clear();
    acquireResult = kSPNoError;
    handOutNull = false;
    suite.AcquireSuite = &Acquire;
    suite.ReleaseSuite = &Release;
  }
};

TEST(SuiteHandlerTest, TwoUsesAcquireOnceAndReleaseOnce) {
  FakeBasicSuite basic;
  {
    SuiteHandler suites(&basic.suite);
    EXPECT_EQ(suites.ANSICallbacksSuite1(), &FakeBasicSuite::ansi);
    EXPECT_EQ(suites.ANSICallbacksSuite1(), &FakeBasicSuite::ansi);
    EXPECT_EQ(FakeBasicSuite::log, std::vector<std::string>{"acquire PF ANSI Suite 1"});
  }
  EXPECT_EQ(FakeBasicSuite::log,
            (std::vector<std::string>{"acquire PF ANSI Suite 1", "release PF ANSI Suite 1"}));
}

TEST(SuiteHandlerTest, UnusedHandlerReleasesNothing) {
  FakeBasicSuite basic;
  { SuiteHandler suites(&basic.suite); }
  EXPECT_TRUE(FakeBasicSuite::log.empty());
}

TEST(SuiteHandlerTest, NullBasicSuiteThrowsBadCallbackParam) {
  try {
    SuiteHandler suites(nullptr);
    FAIL();
  } catch (const A_long& err) {
    EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
  }
}

TEST(SuiteHandlerTest, FailedOrEmptyAcquisitionThrowsAndHoldsNothing) {
  for (bool nullSuite : {false, true}) {
    FakeBasicSuite basic;
    FakeBasicSuite::acquireResult = nullSuite ? SPErr{kSPNoError} : SPErr{A_Err_MISSING_SUITE};
    FakeBasicSuite::handOutNull = nullSuite;
    {
      SuiteHandler suites(&basic.suite);
      try {
        suites.ANSICallbacksSuite1();
        FAIL();
      } catch (const A_long& err) {
        EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
      }
    }
    // A failed acquisition leaves the slot empty: no release follows.
    EXPECT_EQ(FakeBasicSuite::log, std::vector<std::string>{"acquire PF ANSI Suite 1"});
  }
}

TEST(SuiteHandlerTest, UnwindingThroughTheScopeReleases) {
  FakeBasicSuite basic;
  try {
    SuiteHandler suites(&basic.suite);
    suites.ANSICallbacksSuite1();
    throw A_long{PF_Err_OUT_OF_MEMORY};
  } catch (const A_long&) {
  }
  EXPECT_EQ(FakeBasicSuite::log,
            (std::vector<std::string>{"acquire PF ANSI Suite 1", "release PF ANSI Suite 1"}));
}

}  // namespace
}  // namespace corvalin::testing
