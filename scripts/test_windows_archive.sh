#!/usr/bin/env bash
# The Windows archive: cpack -G ZIP in the cross build (build-win/, made and
# tested under wine by test_windows.sh and test_ofx_windows.sh) must hold
# Corvalin.aex and the Win64 OpenFX bundle, byte for byte the binaries the
# wine stages tested, with the license and the install text, and no file in
# it may hold the build folder's path.
set -euo pipefail
cd "$(dirname "$0")/.."
win_build=$(realpath -- "${1:-build-win}")
aex=$win_build/host/Corvalin.aex
ofx=$win_build/Corvalin.ofx.bundle/Contents/Win64/Corvalin.ofx
for tested in "$aex" "$ofx"; do
  [ -f "$tested" ] || { echo "FAIL: $tested is missing: run the wine stages first" >&2; exit 1; }
done

(cd "$win_build" && cpack -G ZIP >/dev/null)
archive=$win_build/Corvalin-$(sed -n 's/^#define CORVALIN_VERSION_TEXT "\(.*\)"/\1/p' effect/effect_properties.h)-win64.zip
[ -f "$archive" ] || { echo "FAIL: cpack made no $archive" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && cmake -E tar xf "$archive")
top=$work/$(basename "$archive" .zip)

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
expected="Corvalin.aex
Corvalin.ofx.bundle/Contents/Resources/org.corvalin.Corvalin.png
Corvalin.ofx.bundle/Contents/Win64/Corvalin.ofx
INSTALL.txt
LICENSE.txt"
listed=$(cd "$top" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[ "$listed" = "$expected" ] || fail "the archive holds:"$'\n'"$listed"
cmp -s "$top/Corvalin.aex" "$aex" || fail "the archive's Corvalin.aex is not the one the wine stage tested"
cmp -s "$top/Corvalin.ofx.bundle/Contents/Win64/Corvalin.ofx" "$ofx" ||
  fail "the archive's Corvalin.ofx is not the one the wine stage tested"
grep -q 'Common Files\\OFX\\Plugins' "$top/INSTALL.txt" || fail "INSTALL.txt names no OpenFX folder"
grep -q 'MediaCore' "$top/INSTALL.txt" || fail "INSTALL.txt names no After Effects plug-ins folder"
if grep -rlaF -- "$win_build" "$top"; then fail "archived files hold the build folder's path"; fi

[ "$failures" -eq 0 ] || exit 1
echo "The Windows archive $(basename "$archive") holds the tested binaries."
