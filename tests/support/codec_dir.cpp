// Test programs run from elsewhere in the build tree than the command, so
// they name the build's folder of the image format module before main runs.
// An installed command finds it relative to itself instead.
#include <cstdlib>

namespace {

const bool codecDirNamed = [] {
  // An earlier setting (a test that moves the module) wins.
  setenv("CORVALIN_CODEC_DIR", CORVALIN_TEST_CODEC_DIR, 0);
  return true;
}();

}  // namespace
