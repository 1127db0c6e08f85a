#!/usr/bin/env bash
# Builds and runs the tests, in named stages:
#
#   scripts/test.sh [STAGE...]      (no stage: all, what CI runs)
#
#   quick     the formatting check (.clang-format), the native build (build/)
#             and its CTest suite: engine steps, whole frames, golden digests,
#             the module, the command, frei0r against ffmpeg, the parallel
#             scan, Python, the OpenFX plug-in through its test host; the
#             edit-test loop
#   native    quick, then the render farm's Slurm job on a one-node cluster
#             started here (farm/slurm/test_cluster.sh)
#   packages  the Debian packages built from build/, installed and used by
#             real clients (scripts/test_packages.sh)
#   asan      the native suite under AddressSanitizer and
#             UndefinedBehaviorSanitizer (build-asan/)
#   tsan      the tests labelled "tsan" (concurrent renders, the parallel
#             scan) under ThreadSanitizer (build-tsan/)
#   fuzz      the four fuzzers, each for a bounded time (build-fuzz/, clang);
#             corpora, findings and the runs' logs stay in build-fuzz/
#   windows   the Windows module and its test program, the Win64 OpenFX
#             plug-in under wine (build-win/), and the Windows archive
#   all       native, packages, asan, tsan, fuzz and windows, in that order
#
# Each stage prints its time; the run exits non-zero on the first failure.
# Warnings are errors in every build made here.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
# Seconds each fuzzer runs; CORVALIN_FUZZ_SECONDS=3600 makes a long run.
fuzz_seconds=${CORVALIN_FUZZ_SECONDS:-45}

readonly all_stages=(native packages asan tsan fuzz windows)
stages=("$@")
[ "${#stages[@]}" -eq 0 ] && stages=(all)
for stage in "${stages[@]}"; do
  case "$stage" in
    quick | native | packages | asan | tsan | fuzz | windows | all) ;;
    *)
      echo "test.sh: no stage '$stage'; the stages are quick, native, packages, asan, tsan," \
        "fuzz, windows and all (the default)" >&2
      exit 2
      ;;
  esac
done

bash scripts/install_deps.sh

# Every build here treats warnings as errors (a user's build from source
# does not), and goes through ccache where it is installed.
export CORVALIN_WARNINGS_AS_ERRORS=ON
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
configure() {
  cmake "$@" -DCORVALIN_WARNINGS_AS_ERRORS=ON "${launcher[@]}" >/dev/null
}

# The house style (.clang-format) of every C++ file of ours; clang-format
# prints each line it would change.
check_format() {
  echo "-- Formatting: clang-format $(clang-format --version | grep -o '[0-9][0-9.]*' | head -1)"
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z '*.cpp' '*.h'
  else
    find . -path './build*' -prune -o \( -name '*.cpp' -o -name '*.h' \) -print0
  fi | xargs -0 clang-format --dry-run -Werror
}

stage_quick() {
  check_format
  configure -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVALIN_BUILD_TESTS=ON \
    -DCORVALIN_BUILD_BENCHMARKS=ON
  cmake --build build -j"$jobs"
  ctest --test-dir build --output-on-failure -j"$jobs"
}

stage_native() {
  stage_quick
  echo "-- Render farm: the Slurm job on a one-node cluster"
  bash farm/slurm/test_cluster.sh build/cli/corvalin
}

stage_packages() {
  # The packages are made from the native build.
  [ -x build/cli/corvalin ] || stage_quick
  bash scripts/test_packages.sh build
}

stage_asan() {
  configure -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVALIN_SANITIZE=address \
    -DCORVALIN_BUILD_BENCHMARKS=OFF
  cmake --build build-asan -j"$jobs"
  ctest --test-dir build-asan --output-on-failure -j"$jobs"
}

stage_tsan() {
  configure -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVALIN_SANITIZE=thread \
    -DCORVALIN_BUILD_BENCHMARKS=OFF
  cmake --build build-tsan -j"$jobs" --target tsan_tests
  ctest --test-dir build-tsan --output-on-failure -j"$jobs" -L tsan
}

# Each fuzzer's corpus grows in the build folder; a finding is written beside
# it, and the log is kept either way.
run_fuzzer() {
  local name=$1
  shift
  mkdir -p "build-fuzz/$name-corpus" build-fuzz/findings
  local log=build-fuzz/$name.log status=0
  echo "-- $name"
  for try in 1 2; do
    status=0
    "./build-fuzz/fuzz/$name" -max_total_time="$fuzz_seconds" -print_final_stats=1 \
      -artifact_prefix="build-fuzz/findings/$name-" "build-fuzz/$name-corpus" "$@" >"$log" 2>&1 ||
      status=$?
    # LeakSanitizer's own tracer can crash while it stops the threads of a
    # busy machine; that is no finding of ours, so the run is made again
    # (once) and its unit, written as a crash, is dropped.
    if [ "$status" -ne 0 ] && [ "$try" = 1 ] &&
      grep -q 'LeakSanitizer has encountered a fatal error' "$log"; then
      echo "LeakSanitizer's tracer failed (log kept as $log.tracer); running $name again"
      mv "$log" "$log.tracer"
      sed -n 's/.*Test unit written to //p' "$log.tracer" | xargs -r rm -f
      continue
    fi
    break
  done
  grep -E '^(stat::number_of_executed_units|stat::new_units_added|Done)|ERROR|SUMMARY|wrote outside|differ' \
    "$log" || true
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$log"
    echo "The fuzzer's log is $log; its finding is in build-fuzz/findings/."
    exit "$status"
  fi
}

stage_fuzz() {
  echo "-- ${fuzz_seconds} s each"
  CXX=clang++ configure -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVALIN_FUZZ=ON
  cmake --build build-fuzz -j"$jobs" --target render_fuzzer differential_fuzzer decode_fuzzer \
    cli_fuzzer
  run_fuzzer render_fuzzer fuzz/seeds
  # The entropic schedule's bookkeeping of this corpus's many features takes
  # most of the time: with it the run does not finish replaying the corpus
  # in 45 s, and never mutates a frame.
  run_fuzzer differential_fuzzer -entropic=0 fuzz/differential-corpus
  # The frame reader loads the OpenImageIO module from this folder.
  CORVALIN_CODEC_DIR="$PWD/build-fuzz/cli" run_fuzzer decode_fuzzer fuzz/decode-seeds fuzz/decode-corpus
  run_fuzzer cli_fuzzer fuzz/cli-seeds fuzz/cli-corpus
}

stage_windows() {
  # The renders under wine are compared with the native build's.
  [ -x build/tests/host/corvalin_render_digest ] || stage_quick
  echo "-- Windows module under wine"
  bash scripts/test_windows.sh build
  echo "-- Windows OpenFX plug-in under wine"
  bash scripts/test_ofx_windows.sh build
  echo "-- Windows archive"
  bash scripts/test_windows_archive.sh build-win
}

timings=()
run_stage() {
  local name=$1 start=$SECONDS
  echo "== Stage $name"
  "stage_$name"
  local took=$((SECONDS - start))
  timings+=("$(printf '%-9s %4d:%02d' "$name" $((took / 60)) $((took % 60)))")
  echo "== Stage $name passed in $((took / 60)) min $((took % 60)) s"
}

total_start=$SECONDS
for stage in "${stages[@]}"; do
  if [ "$stage" = all ]; then
    for each in "${all_stages[@]}"; do run_stage "$each"; done
  else
    run_stage "$stage"
  fi
done
total=$((SECONDS - total_start))
echo "== Stage times (min:s)"
printf '  %s\n' "${timings[@]}"
echo "All test stages passed in $((total / 60)) min $((total % 60)) s: ${stages[*]}."
