// Command dispatch, GlobalSetup, About and the registration export, as a
// host observes them.
#include <string>

#include "effect/effect_properties.h"
#include "effect/string_table.h"
#include "tests/host/host_test_support.h"

namespace corvalin::test {
namespace {

using CommandTest = ModuleTest;

TEST_P(CommandTest, UnansweredSelectorsSucceedAndLeaveOutDataAlone) {
  MiniHost host = Host();
  for (PF_Cmd cmd : {2, 3, 5, 6, 7, 8, 9, 10, 12, 13, 23, 24, 33, 34, 1000, -1}) {
    PF_OutData out = FilledOutData();
    const PF_OutData before = out;
    EXPECT_EQ(host.Command(cmd, &out), PF_Err_NONE) << cmd;
    EXPECT_TRUE(SameBytes(out, before)) << cmd;
    EXPECT_TRUE(host.lastCalls().empty()) << cmd;
  }
}

TEST_P(CommandTest, GlobalSetupWritesExactlyVersionAndFlagWords) {
  PF_OutData out = FilledOutData();
  PF_OutData expected = out;
  expected.my_version = 0x00080001;
  expected.out_flags = 0x02000800;
  expected.out_flags2 = 0x08000000;
  ASSERT_EQ(Host().Command(PF_Cmd_GLOBAL_SETUP, &out), PF_Err_NONE);
  EXPECT_TRUE(SameBytes(out, expected));
}

TEST_P(CommandTest, AboutPrintsNameVersionAndDescriptionThroughTheAnsiSuite) {
  MiniHost host = Host();
  std::string text;
  ASSERT_EQ(host.About(&text), PF_Err_NONE);
  EXPECT_EQ(text, std::string("Corvalin v1.0\r") + GetString(StrID_Description));
  EXPECT_LE(text.size(), 255u);
  // Taken once, used once and given back with the same name and version.
  const auto calls = host.lastCalls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].service, Service::acquireSuite);
  EXPECT_EQ(calls[1].service, Service::sprintf);
  EXPECT_EQ(calls[1].text, "%s v%d.%d\r%s");
  EXPECT_EQ(calls[2].service, Service::releaseSuite);
  for (size_t i : {0u, 2u}) {
    EXPECT_EQ(calls[i].text, "PF ANSI Suite");
    EXPECT_EQ(calls[i].number, 1);
  }
}

TEST_P(CommandTest, AboutWithoutSuitesReturns516AndLeavesTheMessage) {
  HostBehaviour noBasic, failing, nullSuite;
  noBasic.offerBasicSuite = false;
  failing.acquireError = A_Err_MISSING_SUITE;
  nullSuite.acquireYieldsNull = true;
  for (const auto& [what, behaviour, acquisitions] :
       {std::tuple{"no basic suite", noBasic, 0}, std::tuple{"acquire fails", failing, 1},
        std::tuple{"acquire yields null", nullSuite, 1}}) {
    MiniHost host = Host(behaviour);
    PF_OutData out = FilledOutData();
    const PF_OutData before = out;
    EXPECT_EQ(host.Command(PF_Cmd_ABOUT, &out), 516) << what;
    EXPECT_TRUE(SameBytes(out, before)) << what;
    EXPECT_EQ(host.Count(Service::acquireSuite), acquisitions) << what;
    // Nothing was held, so nothing is released.
    EXPECT_EQ(host.Count(Service::releaseSuite), 0) << what;
    EXPECT_EQ(host.Count(Service::sprintf), 0) << what;
  }
}

TEST_P(CommandTest, RegistrationPassesItsArgumentsInOrderAndReturnsTheResult) {
  minihost::Registration r;
  ASSERT_EQ(Host().Register(&r), A_Err_NONE);
  EXPECT_EQ(r.calls, 1);
  EXPECT_NE(r.inPtr, nullptr);
  EXPECT_EQ(r.name, "Corvalin");
  EXPECT_EQ(r.matchName, "ADBE Corvalin");
  EXPECT_EQ(r.category, "Sample Plug-ins");
  EXPECT_EQ(r.entryPoint, "EffectMain");
  EXPECT_EQ(r.kind, 0x65464B54);
  EXPECT_EQ(r.apiVersionMajor, 13);
  EXPECT_EQ(r.apiVersionMinor, 27);
  EXPECT_EQ(r.reservedInfo, 8);

  for (A_Err err : {A_Err{A_Err_GENERIC}, A_Err{-7}}) {
    HostBehaviour b;
    b.registrationError = err;
    EXPECT_EQ(Host(b).Register(&r), err);
  }
  EXPECT_EQ(ModuleOf(GetParam()).pluginDataEntry(nullptr, nullptr, nullptr, nullptr, nullptr),
            PF_Err_BAD_CALLBACK_PARAM);
}

TEST_P(CommandTest, CommandsWithoutHostRecordsAreRefused) {
  PF_FilterProc effectMain = ModuleOf(GetParam()).effectMain;
  for (PF_Cmd cmd : {PF_Cmd_ABOUT, PF_Cmd_GLOBAL_SETUP, PF_Cmd_PARAMS_SETUP, PF_Cmd_RENDER}) {
    EXPECT_EQ(effectMain(cmd, nullptr, nullptr, nullptr, nullptr, nullptr),
              PF_Err_BAD_CALLBACK_PARAM)
        << cmd;
  }
}

INSTANTIATE_TEST_SUITE_P(Modules, CommandTest, ::testing::Values(Flavour::linked, Flavour::file),
                         FlavourName);

TEST(ModuleFileTest, AMissingFileNamesItsPath) {
  EXPECT_NE(minihost::LinkedEffectModule().effectMain, NativeModuleFile().entryPoints().effectMain);
  try {
    minihost::ModuleFile file("/nonexistent/Corvalin.so");
    FAIL() << "loaded a missing module";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent/Corvalin.so"), std::string::npos);
  }
}

}  // namespace
}  // namespace corvalin::test
