// Scoped suite access: acquisition on first use, one release per held suite,
// the thrown host error on a missing suite.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/suite_handler.h"

namespace corvalin::test {
namespace {

// A basic suite that logs each call; AcquireSuite's result and suite are set per test.
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
  FakeBasicSuite(SPErr result = kSPNoError, bool null = false) {
    log.clear();
    acquireResult = result;
    handOutNull = null;
    suite.AcquireSuite = &Acquire;
    suite.ReleaseSuite = &Release;
  }
};

const std::vector<std::string> kAcquired = {"acquire PF ANSI Suite 1"};
const std::vector<std::string> kAcquiredAndReleased = {"acquire PF ANSI Suite 1",
                                                       "release PF ANSI Suite 1"};

// The host error a call throws; 0 when it returns.
template <class F>
A_long Thrown(F f) {
  try {
    f();
  } catch (const A_long& err) {
    return err;
  }
  return 0;
}

TEST(SuiteHandlerTest, AcquiresOnFirstUseAndReleasesOnceOnAnyExit) {
  {
    FakeBasicSuite basic;
    { SuiteHandler suites(&basic.suite); }
    EXPECT_TRUE(FakeBasicSuite::log.empty()) << "unused handler";
  }
  FakeBasicSuite basic;
  {
    SuiteHandler suites(&basic.suite);
    EXPECT_EQ(suites.ANSICallbacksSuite1(), &FakeBasicSuite::ansi);
    EXPECT_EQ(suites.ANSICallbacksSuite1(), &FakeBasicSuite::ansi);
    EXPECT_EQ(FakeBasicSuite::log, kAcquired);
  }
  EXPECT_EQ(FakeBasicSuite::log, kAcquiredAndReleased);
  FakeBasicSuite unwound;
  EXPECT_EQ(Thrown([&] {
              SuiteHandler suites(&unwound.suite);
              suites.ANSICallbacksSuite1();
              throw A_long{PF_Err_OUT_OF_MEMORY};
            }),
            PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(FakeBasicSuite::log, kAcquiredAndReleased);
}

// No basic suite, a failed acquisition or a null suite throw 516; an empty
// slot is never released.
TEST(SuiteHandlerTest, MissingSuitesThrowBadCallbackParamAndHoldNothing) {
  EXPECT_EQ(Thrown([] { SuiteHandler suites(nullptr); }), 516);
  for (bool nullSuite : {false, true}) {
    FakeBasicSuite basic(nullSuite ? SPErr{kSPNoError} : SPErr{A_Err_MISSING_SUITE}, nullSuite);
    EXPECT_EQ(Thrown([&] {
                SuiteHandler suites(&basic.suite);
                suites.ANSICallbacksSuite1();
              }),
              516);
    EXPECT_EQ(FakeBasicSuite::log, kAcquired);
  }
}

}  // namespace
}  // namespace corvalin::test
