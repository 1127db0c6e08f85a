#!/usr/bin/env bash
# Builds the Win64 OpenFX plug-in (build-win/Corvalin.ofx.bundle) and the
# test host's digest program with mingw-w64, checks the binary's PE headers,
# imports and exports with objdump, runs the program under wine on the Win64
# bundle (it checks every render against the effect module linked into it)
# and compares its render digests with those of the native plug-in; both
# programs render with hosts without the multi-thread suite and at 1, 2 and
# 4 CPUs.
#
# Usage: scripts/test_ofx_windows.sh [NATIVE_BUILD_DIR]
#   NATIVE_BUILD_DIR  a native build that already holds Corvalin.ofx.bundle and
#                     tests/ofx/corvalin_ofx_digest; without it (or when they
#                     are missing) the script builds them in build-module.
# Installs mingw-w64, wine64 and cmake with apt-get when missing.
# Exits non-zero on any failure.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
WIN_BUILD="$ROOT/build-win"
JOBS="${JOBS:-2}"

# shellcheck source=scripts/windows_common.sh
source "$ROOT/scripts/windows_common.sh"
install_windows_tools

fail() { echo "test_ofx_windows: FAIL: $*" >&2; exit 1; }

# ---- native plug-in and digest program ------------------------------------
NATIVE="${1:-}"
if [[ -n "$NATIVE" ]]; then NATIVE="$(cd "$NATIVE" && pwd)"; fi
if [[ -z "$NATIVE" || ! -f "$NATIVE/Corvalin.ofx.bundle/Contents/Linux-x86-64/Corvalin.ofx" ||
      ! -x "$NATIVE/tests/ofx/corvalin_ofx_digest" ]]; then
  NATIVE="$ROOT/build-module"
  build_native_targets "$NATIVE" corvalin_ofx corvalin_ofx_digest
fi

# ---- Windows build ---------------------------------------------------------
build_windows_targets corvalin_ofx corvalin_ofx_digest
BUNDLE="$WIN_BUILD/Corvalin.ofx.bundle"
OFX="$BUNDLE/Contents/Win64/Corvalin.ofx"
TEST_EXE="$WIN_BUILD/tests/ofx/corvalin_ofx_digest.exe"
[[ -f "$OFX" ]] || fail "no $OFX"

# ---- PE headers, imports, exports -----------------------------------------
check_windows_dll test_ofx_windows "$OFX" "OfxGetNumberOfPlugins OfxGetPlugin "

# ---- run under wine --------------------------------------------------------
WIN_DIGEST="$WIN_BUILD/ofx_windows_digest.txt"
NATIVE_DIGEST="$WIN_BUILD/ofx_native_digest.txt"
rm -f "$WIN_DIGEST"
# Each program renders with hosts without the multi-thread suite and at 1, 2
# and 4 CPUs (they must agree); the tall frames' lines come on stderr.
timeout 600 wine "$TEST_EXE" "$BUNDLE" "$WIN_DIGEST" 2> "$WIN_BUILD/ofx_windows_banded.txt" ||
  { cat "$WIN_BUILD/ofx_windows_banded.txt" >&2; fail "the test program failed under wine with the Win64 bundle"; }
"$NATIVE/tests/ofx/corvalin_ofx_digest" "$NATIVE/Corvalin.ofx.bundle" "$NATIVE_DIGEST" \
  2> "$WIN_BUILD/ofx_native_banded.txt" ||
  { cat "$WIN_BUILD/ofx_native_banded.txt" >&2; fail "the test program failed with the native bundle"; }
banded_win="$(tr -d '\r' < "$WIN_BUILD/ofx_windows_banded.txt" | grep '^banded ' || true)"
banded_native="$(grep '^banded ' "$WIN_BUILD/ofx_native_banded.txt" || true)"
[[ -n "$banded_native" ]] || fail "no banded renders from the native plug-in"
[[ "$banded_win" == "$banded_native" ]] || fail "Win64 and native renders of the banded frames differ"
same_digests test_ofx_windows "$WIN_DIGEST" "$NATIVE_DIGEST" "Win64 plug-in"
echo "test_ofx_windows: $(wc -l < "$NATIVE_DIGEST") renders and $(wc -l <<<"$banded_native") banded ones of the Win64 plug-in, without the multi-thread suite and at 1, 2 and 4 CPUs, equal the native ones bit for bit"
