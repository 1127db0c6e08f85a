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

need=()
for pkg in cmake g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
if ((${#need[@]})); then
  echo "installing ${need[*]}"
  SUDO=""; [[ $(id -u) -eq 0 ]] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need[@]}" >/dev/null
fi

fail() { echo "test_windows: FAIL: $*" >&2; exit 1; }

# ---- native module and digest tool ---------------------------------------
NATIVE="${1:-}"
if [[ -z "$NATIVE" || ! -f "$NATIVE/host/Corvalin.so" || ! -x "$NATIVE/tests/host/corvalin_render_digest" ]]; then
  NATIVE="$ROOT/build-module"
  cmake -S "$ROOT" -B "$NATIVE" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$NATIVE" -j "$JOBS" --target corvalin_module corvalin_render_digest >/dev/null
fi

# ---- Windows build ---------------------------------------------------------
cmake -S "$ROOT" -B "$WIN_BUILD" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$WIN_BUILD" -j "$JOBS" --target corvalin_module corvalin_windows_test >/dev/null
AEX="$WIN_BUILD/host/Corvalin.aex"
TEST_EXE="$WIN_BUILD/tests/windows/corvalin_windows_test.exe"

# ---- PE headers, imports, exports -----------------------------------------
HEADERS="$(x86_64-w64-mingw32-objdump -p "$AEX")"
grep -q 'file format pei-x86-64' <<<"$HEADERS" || fail "Corvalin.aex is not a PE file for x86-64"
grep -Eq 'Magic[[:space:]]+020b[[:space:]]+\(PE32\+\)' <<<"$HEADERS" || fail "Corvalin.aex is not PE32+"
chars="$(awk '/^Characteristics/ {print $2; exit}' <<<"$HEADERS")"
(( (chars & 0x2000) != 0 )) || fail "Corvalin.aex is not a DLL (characteristics $chars)"
# Only Windows system DLLs: the C++ runtime and winpthread are linked in.
while read -r dll; do
  case "${dll,,}" in
    kernel32.dll|msvcrt.dll|user32.dll|advapi32.dll|ntdll.dll|ucrtbase.dll|api-ms-win-*) ;;
    *) fail "Corvalin.aex imports $dll, which is not a Windows system DLL" ;;
  esac
done < <(awk '/DLL Name:/ {print $3}' <<<"$HEADERS")
exports="$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$HEADERS" | awk '/\[/ && NR > 1 {print $NF}' | sort | tr '\n' ' ')"
[[ "$exports" == "EffectMain PluginDataEntryFunction " ]] || fail "Corvalin.aex exports '$exports'"
echo "test_windows: Corvalin.aex is a PE32+ x86-64 DLL importing only system DLLs, exporting $exports"

# ---- run under wine --------------------------------------------------------
export WINEPREFIX="$WIN_BUILD/wineprefix" WINEDEBUG=-all
mkdir -p "$WINEPREFIX"
WIN_DIGEST="$WIN_BUILD/windows_digest.txt"
NATIVE_DIGEST="$WIN_BUILD/native_digest.txt"
rm -f "$WIN_DIGEST"
timeout 600 wine "$TEST_EXE" "$AEX" "$WIN_DIGEST" || fail "the Windows test program failed under wine"
"$NATIVE/tests/host/corvalin_render_digest" "$NATIVE/host/Corvalin.so" > "$NATIVE_DIGEST"
[[ -s "$WIN_DIGEST" ]] || fail "no renders from the Windows module"
if ! diff <(tr -d '\r' < "$WIN_DIGEST") "$NATIVE_DIGEST" >/dev/null; then
  diff <(tr -d '\r' < "$WIN_DIGEST") "$NATIVE_DIGEST" | head -20 >&2
  fail "Windows and native renders differ"
fi
echo "test_windows: $(wc -l < "$NATIVE_DIGEST") renders of the Windows module equal the native ones bit for bit"
