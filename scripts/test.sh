#!/usr/bin/env bash
# Builds and runs every test: the native suite, the same suite under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the Windows module
# under wine. Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash scripts/install_deps.sh

echo "== Native build and tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== Sanitizer build and tests (address, undefined)"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVALIN_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -j"$jobs"

if [ -f scripts/test_windows.sh ]; then
  echo "== Windows module under wine"
  bash scripts/test_windows.sh build
fi
