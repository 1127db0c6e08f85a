#!/usr/bin/env bash
# Renders the bundled example frame at a few settings into out/ and writes
# out/comparison.png: the input and two renders side by side, enlarged 3x
# with nearest neighbour so the smoothed edge pixels are visible; and
# out/corner-markers.png (docs/corner-markers.png): a small frame, its render
# and its render without the corner markers, enlarged 10x.
# Installs missing Debian packages and builds the command first if needed.
set -euo pipefail
cd "$(dirname "$0")/.."

build="${CORVALIN_BUILD_DIR:-build}"
jobs="${CORVALIN_JOBS:-$(nproc)}"

# The command alone: no test or benchmark libraries.
bash scripts/install_deps.sh cmake make g++ pkg-config libopenimageio-dev libcli11-dev libtbb-dev libspng-dev

if [ ! -f "$build/CMakeCache.txt" ]; then
  echo "Configuring $build/"
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVALIN_BUILD_TESTS=OFF \
    -DCORVALIN_BUILD_BENCHMARKS=OFF >/dev/null
fi
echo "Building corvalin"
cmake --build "$build" --target corvalin corvalin_compare corvalin_make_example -j"$jobs" >/dev/null

corvalin="$build/cli/corvalin"
input=examples/cel_frame.png
mkdir -p out

echo "Rendering $input"
"$corvalin" render "$input" out/default.png --quiet
"$corvalin" render "$input" out/line_weight_1.png --line-weight 1 --quiet
"$corvalin" render "$input" out/smoother_range_20.png --smoother-range 20 --quiet
"$corvalin" render "$input" out/color_key_sky.png --use-color-key --alpha-key 9CD0EC --quiet
"$corvalin" render "$input" out/default_16bit.png --depth 16 --quiet

"$build/tools/corvalin_compare" out/comparison.png 3 "$input" out/default.png out/line_weight_1.png

"$build/tools/corvalin_make_example" --small out/small_frame.png
"$corvalin" render out/small_frame.png out/small_default.png --quiet
"$corvalin" render out/small_frame.png out/small_no_markers.png --no-corner-markers --quiet
"$build/tools/corvalin_compare" out/corner-markers.png 10 out/small_frame.png out/small_default.png \
  out/small_no_markers.png

cat <<'TEXT'
Wrote out/:
  default.png            the effect's defaults (Smoother Range 1.0, Line Weight 0.0)
  line_weight_1.png      --line-weight 1: ramps reach along the whole edge step
  smoother_range_20.png  --smoother-range 20: only strong colour changes count as edges
  color_key_sky.png      --use-color-key --alpha-key 9CD0EC: the sky becomes transparent
  default_16bit.png      --depth 16: the same render at 16 bits per channel
  comparison.png         input | default | line weight 1, enlarged 3x (nearest neighbour)
  small_*.png            a 24x16 frame, its render, its render with --no-corner-markers
  corner-markers.png     those three, enlarged 10x
The red dots at the corners mark the rectangle the effect processed; every
render writes them, and --no-corner-markers leaves them out.
TEXT
