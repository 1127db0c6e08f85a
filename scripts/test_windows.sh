#!/usr/bin/env bash
# Builds Corvalin.aex and its Windows test program with mingw-w64 (in
# build-win), checks the module's PE headers, imports and exports with
# objdump, runs the test program under wine and compares its renders bit for
# bit with those of the native module.
#
# Usage: scripts/test_windows.sh [NATIVE_BUILD_DIR]
#   NATIVE_BUILD_DIR  a native build that already holds host/Corvalin.so and
#                     tests/host/corvalin_render_digest; without it (or when
#                     they are missing) the script builds them in build-module.
# Installs mingw-w64, wine64 and cmake with apt-get when missing.
# Exits non-zero on any failure.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
WIN_BUILD="$ROOT/build-win"
JOBS="${JOBS:-2}"

# shellcheck source=scripts/windows_common.sh
source "$ROOT/scripts/windows_common.sh"
install_windows_tools

fail() { echo "test_windows: FAIL: $*" >&2; exit 1; }

# ---- native module and digest tool ---------------------------------------
NATIVE="${1:-}"
if [[ -z "$NATIVE" || ! -f "$NATIVE/host/Corvalin.so" || ! -x "$NATIVE/tests/host/corvalin_render_digest" ]]; then
  NATIVE="$ROOT/build-module"
  build_native_targets "$NATIVE" corvalin_module corvalin_render_digest
fi

# ---- Windows build ---------------------------------------------------------
build_windows_targets corvalin_module corvalin_windows_test
AEX="$WIN_BUILD/host/Corvalin.aex"
TEST_EXE="$WIN_BUILD/tests/windows/corvalin_windows_test.exe"

# ---- PE headers, imports, exports -----------------------------------------
check_windows_dll test_windows "$AEX" "EffectMain PluginDataEntryFunction "

# ---- run under wine --------------------------------------------------------
WIN_DIGEST="$WIN_BUILD/windows_digest.txt"
NATIVE_DIGEST="$WIN_BUILD/native_digest.txt"
rm -f "$WIN_DIGEST"
timeout 600 wine "$TEST_EXE" "$AEX" "$WIN_DIGEST" || fail "the Windows test program failed under wine"
"$NATIVE/tests/host/corvalin_render_digest" "$NATIVE/host/Corvalin.so" > "$NATIVE_DIGEST"
same_digests test_windows "$WIN_DIGEST" "$NATIVE_DIGEST" "Windows module"
echo "test_windows: $(wc -l < "$NATIVE_DIGEST") renders of the Windows module equal the native ones bit for bit"
