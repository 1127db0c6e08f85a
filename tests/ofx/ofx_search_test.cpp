// Where the test host finds a bundle when it is given no path, as hosts do.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

#include "tests/ofx/ofx_test_host.h"

namespace {

namespace fs = std::filesystem;
using corvalin::ofxtest::OfxTestHost;

class PluginPathSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("corvalin_ofx_search_" +
             std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
    const char* saved = std::getenv("OFX_PLUGIN_PATH");
    if (saved != nullptr) saved_ = saved;
  }
  void TearDown() override {
    if (saved_) {
      setenv("OFX_PLUGIN_PATH", saved_->c_str(), 1);
    } else {
      unsetenv("OFX_PLUGIN_PATH");
    }
    fs::remove_all(root_);
  }
  // A copy of the built bundle at `folder`/Corvalin.ofx.bundle.
  fs::path PlaceBundle(const fs::path& folder) {
    fs::create_directories(folder);
    fs::copy(CORVALIN_OFX_BUNDLE, folder / "Corvalin.ofx.bundle", fs::copy_options::recursive);
    return folder / "Corvalin.ofx.bundle";
  }
  fs::path root_;
  std::optional<std::string> saved_;
};

TEST_F(PluginPathSearch, FolderListIsSearchedInOrderAndRecursively) {
  const fs::path first = root_ / "empty";
  fs::create_directories(first);
  const fs::path nested = PlaceBundle(root_ / "second" / "vendor" / "effects");
  const fs::path later = PlaceBundle(root_ / "third");
  setenv("OFX_PLUGIN_PATH",
         (first.string() + ":" + (root_ / "second").string() + ":" + (root_ / "third").string())
             .c_str(),
         1);
  EXPECT_EQ(OfxTestHost::FindInstalledBundle("Corvalin.ofx.bundle"), nested.string());
  (void)later;
}

TEST_F(PluginPathSearch, EntriesStartingWithAtAreSkipped) {
  PlaceBundle(root_ / "a" / "@disabled");
  const fs::path used = PlaceBundle(root_ / "b");
  setenv("OFX_PLUGIN_PATH", ((root_ / "a").string() + ":" + (root_ / "b").string()).c_str(), 1);
  EXPECT_EQ(OfxTestHost::FindInstalledBundle("Corvalin.ofx.bundle"), used.string());
}

TEST_F(PluginPathSearch, BundleWithoutThisSystemsBinaryIsPassedOver) {
  fs::create_directories(root_ / "a" / "Corvalin.ofx.bundle" / "Contents" / "Win64");
  const fs::path used = PlaceBundle(root_ / "b");
  setenv("OFX_PLUGIN_PATH", ((root_ / "a").string() + ":" + (root_ / "b").string()).c_str(), 1);
  EXPECT_EQ(OfxTestHost::FindInstalledBundle("Corvalin.ofx.bundle"), used.string());
}

TEST_F(PluginPathSearch, NothingFoundNamesEveryFolderSearched) {
  setenv("OFX_PLUGIN_PATH", (root_ / "nowhere").string().c_str(), 1);
  try {
    OfxTestHost::FindInstalledBundle("Absent.ofx.bundle");
    FAIL() << "found a bundle that does not exist";
  } catch (const std::runtime_error& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find((root_ / "nowhere").string()), std::string::npos) << message;
    EXPECT_NE(message.find("/usr/OFX/Plugins"), std::string::npos) << message;
  }
}

}  // namespace
