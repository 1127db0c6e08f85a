// Where the command finds its image format module: relative to its own
// folder, or where CORVALIN_CODEC_DIR says, and never at a path of the build.
#include <fstream>
#include <iterator>
#include <string>

#include "tests/cli/cli_test_support.h"

namespace corvalin::clitest {
namespace {

class CodecModuleSearch : public ScratchTest {
 protected:
  // A copy of the built command at `bin`/corvalin, as a user would copy or
  // install it, and a TIFF frame for it to read.
  void SetUp() override {
    ScratchTest::SetUp();
    bin_ = dir_ / CORVALIN_TEST_INSTALL_BINDIR;
    fs::create_directories(bin_);
    fs::copy_file(CORVALIN_CLI_PATH, bin_ / "corvalin");
    cli::WriteImage(Path("in.tif"), FlatImage(4, 3, 8, 10, 200, 30, 255));
  }
  // Runs the copy on the TIFF; `environment` is put before it in the shell.
  CommandResult RenderWithCopy(const std::string& environment) {
    const std::string log = Path("log.txt");
    const std::string command = "env -u CORVALIN_CODEC_DIR " + environment + " '" +
                                (bin_ / "corvalin").string() + "' render '" + Path("in.tif") +
                                "' '" + Path("out.tif") + "' -q >'" + log + "' 2>&1";
    const int raw = std::system(command.c_str());
    std::ifstream in(log);
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1,
            std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())};
  }
  fs::path bin_;
};

TEST_F(CodecModuleSearch, CopyAloneFailsNamingEveryPlaceItLooked) {
  const CommandResult result = RenderWithCopy("");
  EXPECT_EQ(result.status, 1) << result.output;
  const fs::path installed =
      (bin_ / CORVALIN_TEST_CODEC_FROM_BINDIR / "corvalin_oiio_codec.so").lexically_normal();
  EXPECT_NE(result.output.find("looked for " + (bin_ / "corvalin_oiio_codec.so").string() + ", " +
                               installed.string()),
            std::string::npos)
      << result.output;
  EXPECT_FALSE(fs::exists(Path("out.tif")));
}

TEST_F(CodecModuleSearch, ModuleInTheInstalledPlaceRelativeToTheCommandIsFound) {
  const fs::path installed = (bin_ / CORVALIN_TEST_CODEC_FROM_BINDIR).lexically_normal();
  fs::create_directories(installed);
  fs::copy_file(fs::path(CORVALIN_TEST_CODEC_DIR) / "corvalin_oiio_codec.so",
                installed / "corvalin_oiio_codec.so");
  const CommandResult result = RenderWithCopy("");
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_TRUE(fs::exists(Path("out.tif")));
}

TEST_F(CodecModuleSearch, CodecDirIsLookedInFirst) {
  // Not a module at all: the error shows that this file, not the build's
  // module beside the original command, was the one opened.
  fs::create_directories(Path("elsewhere"));
  std::ofstream(Path("elsewhere/corvalin_oiio_codec.so")) << "not a shared object";
  const CommandResult result = RenderWithCopy("CORVALIN_CODEC_DIR='" + Path("elsewhere") + "'");
  EXPECT_EQ(result.status, 1) << result.output;
  EXPECT_NE(result.output.find("cannot load " + Path("elsewhere/corvalin_oiio_codec.so")),
            std::string::npos)
      << result.output;
  EXPECT_FALSE(fs::exists(Path("out.tif")));
}

TEST(CommandBinary, HoldsNoPathOfTheBuildFolder) {
#ifdef CORVALIN_TEST_SANITIZED
  // The sanitizers record the files of their checks unmapped; such a build
  // is never installed.
  GTEST_SKIP() << "a sanitizer build";
#endif
  for (const char* file : {CORVALIN_CLI_PATH, CORVALIN_TEST_CODEC_DIR "/corvalin_oiio_codec.so"}) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_FALSE(bytes.empty()) << file;
    EXPECT_EQ(bytes.find(CORVALIN_TEST_BUILD_DIR), std::string::npos) << file;
  }
}

}  // namespace
}  // namespace corvalin::clitest
