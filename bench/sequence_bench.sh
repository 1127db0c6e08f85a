#!/usr/bin/env bash
# Times the corvalin command on seeded cel frame sequences (flat regions, ink
# outlines, one-pixel lines; bench/make_cel_sequence.cpp) at 1080p and UHD,
# in the same run as ffmpeg reading and writing the same frames and oiiotool
# copying them, with hyperfine. Prints frames per second and the ratios.
#
#   bash bench/sequence_bench.sh               # 8 frames a size, 3 runs each
#   FRAMES=16 RUNS=5 bash bench/sequence_bench.sh
#   BASELINE=/path/to/older/corvalin bash bench/sequence_bench.sh   # adds it, with --jobs 2
#   MEMORY=1 bash bench/sequence_bench.sh      # also peak memory of 10, 100 and 1000 frames
#   COMPRESSION=1 bash bench/sequence_bench.sh # also every --compression on the UHD frames
#
# BUILD_DIR (default build-bench) is configured and the two programs it
# needs are built there.
set -euo pipefail
cd "$(dirname "$0")/.."
frames=${FRAMES:-8}
runs=${RUNS:-3}
build=${BUILD_DIR:-build-bench}
baseline=${BASELINE:-}

bash scripts/install_deps.sh cmake make g++ pkg-config libopenimageio-dev openimageio-tools \
  libcli11-dev libtbb-dev libspng-dev libpng-dev libgtest-dev libgmock-dev libbenchmark-dev ffmpeg hyperfine time
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target corvalin corvalin_make_cel_sequence >/dev/null
corvalin=$PWD/$build/cli/corvalin
make_frames=$PWD/$build/bench/corvalin_make_cel_sequence

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# frames/s of each command in a hyperfine JSON file, and the ratios to ffmpeg
# and oiiotool.
report() {
  python3 - "$1" "$2" "$3" <<'EOF'
import json, sys
path, label, frames = sys.argv[1], sys.argv[2], int(sys.argv[3])
results = {r["command"]: r for r in json.load(open(path))["results"]}
fps = {name: frames / r["mean"] for name, r in results.items()}
for name, r in results.items():
    line = f"{label} {name:10s} {r['mean']:7.3f} s ± {r['stddev']:.3f}  {fps[name]:6.2f} frames/s"
    if name == "corvalin":
        line += "".join(f"  {fps[name] / fps[o]:.2f}x {o}" for o in fps if o != name)
    print(line)
EOF
}

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')
echo "== $(nproc) cores of $cpu; $frames frames a size, $runs runs"
for size in 1920x1080 3840x2160; do
  w=${size%x*} h=${size#*x}
  dir=$work/$size
  mkdir -p "$dir/in" "$dir/corvalin" "$dir/ffmpeg" "$dir/oiiotool" "$dir/baseline"
  "$make_frames" "$dir/in/cel.%04d.png" "$w" "$h" 1 "$frames" 7
  commands=(
    -n corvalin "$corvalin render $dir/in/cel.####.png $dir/corvalin/c.####.png -q"
    -n ffmpeg "ffmpeg -loglevel error -y -i $dir/in/cel.%04d.png -vf format=rgba $dir/ffmpeg/f.%04d.png"
    -n oiiotool "oiiotool --frames 1-$frames $dir/in/cel.#.png -o $dir/oiiotool/o.#.png"
  )
  if [ -n "$baseline" ]; then
    commands+=(-n baseline "$baseline render $dir/in/cel.#.png $dir/baseline/b.#.png --frames 1-$frames --jobs 2 -q")
  fi
  hyperfine -N --warmup 1 --runs "$runs" --export-json "$dir/times.json" "${commands[@]}" >/dev/null
  report "$dir/times.json" "$size" "$frames"
  "$corvalin" render "$dir/in/cel.####.png" "$dir/corvalin/c.####.png" -q --timings 2>&1 | sed "s/^/$size /"
  echo "$size sizes: input $(du -sh "$dir/in" | cut -f1), corvalin $(du -sh "$dir/corvalin" | cut -f1), ffmpeg $(du -sh "$dir/ffmpeg" | cut -f1)"
done

if [ -n "${MEMORY:-}" ]; then
  # The same frame over and over (hard links), so that only the length of
  # the sequence changes.
  for size in 1920x1080 3840x2160; do
    w=${size%x*} h=${size#*x}
    count=1000
    dir=$work/mem$size
    mkdir -p "$dir/in" "$dir/out"
    "$make_frames" "$dir/in/cel.%04d.png" "$w" "$h" 1 1 7
    for f in $(seq 2 "$count"); do ln "$dir/in/cel.0001.png" "$(printf "%s/in/cel.%04d.png" "$dir" "$f")"; done
    for n in 10 100 "$count"; do
      rm -f "$dir"/out/*
      /usr/bin/time -f "$size $n frames: %e s, peak memory %M KiB" \
        "$corvalin" render "$dir/in/cel.####.png" "$dir/out/o.####.png" --frames "1-$n" -q
    done
  done
fi

if [ -n "${COMPRESSION:-}" ]; then
  dir=$work/3840x2160
  echo "== --compression on the UHD frames: time for $frames frames, output size"
  for setting in png:0 png:1 png:2 png:3 png:4 png:6 png:9 tif:none tif:lzw tif:deflate \
      exr:none exr:rle exr:zip exr:zips exr:piz; do
    ext=${setting%%:*} value=${setting#*:}
    rm -rf "$dir/c" && mkdir -p "$dir/c"
    hyperfine -N --runs "$runs" --export-json "$dir/c.json" \
      -n "$setting" "$corvalin render $dir/in/cel.####.png $dir/c/c.####.$ext --compression $value -q" >/dev/null
    python3 - "$dir/c.json" "$setting" "$frames" "$(du -sk "$dir/c" | cut -f1)" <<'EOF'
import json, sys
r = json.load(open(sys.argv[1]))["results"][0]
frames, kib = int(sys.argv[3]), int(sys.argv[4])
print(f"{sys.argv[2]:12s} {r['mean']:6.3f} s  {frames / r['mean']:6.2f} frames/s  {kib / frames:8.0f} KiB/frame")
EOF
  done
fi
