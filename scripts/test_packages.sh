#!/usr/bin/env bash
# The installed packages, as a user gets them. From a configured and built
# BUILD folder (default build/):
#   - cpack -G DEB makes the packages, and lintian reports no error in them;
#   - no packaged file holds the build folder's path;
#   - apt-get installs them; then, with the build folder moved away and no
#     FREI0R_PATH, OFX_PLUGIN_PATH, PYTHONPATH or CORVALIN_CODEC_DIR set:
#       the installed command renders a PNG and a TIFF frame equal to the
#       build's command, and a copy of it alone fails naming where it looked;
#       ffmpeg, melt and gst-launch-1.0 each render a frame with the filter
#       equal to the command's 8-bit render;
#       the OpenFX test host finds the bundle in the standard folder and
#       renders its frames equal to the effect module (and to the build's
#       bundle);
#       python3 imports the module, renders a frame equal to the command's,
#       and reads the version from the package metadata;
#       the gegl command finds the GEGL operation in GEGL's own folder and
#       renders an 8-bit and a 16-bit frame equal to the command, and GIMP
#       2.10 in batch mode does through the plug-in;
#       man finds the page, bash completes the options, corvalin-submit finds
#       its batch script;
#   - apt-get purge removes every installed file (the file lists of /usr,
#     /etc and /opt before the install and after the purge are equal).
# The packages are purged and the build folder put back on exit, whatever
# happens. Needs root (apt-get).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=$(realpath -- "${1:-build}")
packages=(corvalin corvalin-frei0r corvalin-ofx python3-corvalin corvalin-gegl corvalin-gimp)

bash scripts/install_deps.sh lintian ffmpeg melt gstreamer1.0-tools gstreamer1.0-plugins-base \
  gstreamer1.0-plugins-good gstreamer1.0-plugins-bad man-db openimageio-tools python3-numpy \
  gegl gimp

work=$(mktemp -d /tmp/corvalin-packages.XXXXXX)
hidden=$build.hidden-by-package-test
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
purge() {
  local installed=()
  for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 && installed+=("$p")
  done
  if [ "${#installed[@]}" -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "${installed[@]}" >/dev/null
  fi
}
cleanup() {
  purge || true
  [ -d "$hidden" ] && [ ! -e "$build" ] && mv "$hidden" "$build"
  rm -rf "$work"
}
trap cleanup EXIT
purge

echo "-- packages"
rm -f "$build"/*.deb "$build"/*.deb.sha256
(cd "$build" && cpack -G DEB >/dev/null)
debs=()
for p in "${packages[@]}"; do
  deb=$(ls "$build/${p}_"*.deb)
  cp "$deb" "$work/"
  debs+=("$work/$(basename "$deb")")
done
lintian --fail-on error "${debs[@]}" >"$work/lintian.log" 2>&1 || fail "lintian reports errors"
grep -v 'root privileges' "$work/lintian.log" || true
for deb in "${debs[@]}"; do
  dpkg-deb -x "$deb" "$work/contents"
done
if grep -rlaF -- "$build" "$work/contents"; then fail "packaged files hold the build folder's path"; fi

echo "-- references from the build tree"
picture=$root/examples/cel_frame.png
oiiotool "$picture" -o "$work/frame.tif"
"$build/cli/corvalin" render "$picture" "$work/ref.png" -q
"$build/cli/corvalin" render "$work/frame.tif" "$work/ref.tif" -q
"$build/cli/corvalin" render "$picture" "$work/ref8.png" --depth 8 -q
"$build/cli/corvalin" render "$picture" "$work/ref8b.png" --depth 8 --smoother-range 5 \
  --line-weight 0.5 -q
oiiotool "$picture" -d uint16 -o "$work/frame16.png"
"$build/cli/corvalin" render "$work/frame16.png" "$work/ref16.png" -q
raw() { ffmpeg -v error -y -i "$1" -pix_fmt rgba -f rawvideo "$2"; }
raw16() { ffmpeg -v error -y -i "$1" -pix_fmt rgba64le -f rawvideo "$2"; }
raw "$work/ref8.png" "$work/ref8.raw"
raw "$work/ref8b.png" "$work/ref8b.raw"
raw "$picture" "$work/frame.raw"
raw16 "$work/ref16.png" "$work/ref16.raw"
cp "$build/tests/ofx/corvalin_ofx_digest" "$work/"
"$work/corvalin_ofx_digest" "$build/Corvalin.ofx.bundle" "$work/digest-build.txt" 2>/dev/null

find /usr /etc /opt -xdev 2>/dev/null | sort >"$work/files-before.txt"

echo "-- install"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${debs[@]}" >/dev/null 2>&1 ||
  { fail "apt-get install"; exit 1; }
mv "$build" "$hidden"
cd "$work"
unset FREI0R_PATH OFX_PLUGIN_PATH PYTHONPATH CORVALIN_CODEC_DIR MLT_REPOSITORY GEGL_PATH \
  GIMP2_DIRECTORY

echo "-- the command"
[ "$(command -v corvalin)" = /usr/bin/corvalin ] || fail "corvalin is not /usr/bin/corvalin"
corvalin render "$picture" png-out.png -q && cmp -s png-out.png ref.png ||
  fail "the installed command's PNG render differs from the build's"
# A TIFF carries the time it was written: its pixels must be equal.
corvalin render frame.tif tif-out.tif -q && idiff -q -fail 0 -failpercent 0 tif-out.tif ref.tif ||
  fail "the installed command's TIFF render differs from the build's"
mkdir alone
cp /usr/bin/corvalin alone/
if alone/corvalin render frame.tif alone.tif -q 2>alone.err; then
  fail "a copy of the command without its module rendered a TIFF"
fi
grep -q "looked for $work/alone/corvalin_oiio_codec.so" alone.err ||
  fail "the copied command's error names no place it looked: $(cat alone.err)"
[ ! -e alone.tif ] || fail "the copied command wrote an output"

echo "-- frei0r hosts"
ffmpeg -v error -y -i "$picture" -vf 'format=rgba,frei0r=corvalin' -pix_fmt rgba -f rawvideo ffmpeg.raw
cmp -s ffmpeg.raw ref8.raw || fail "ffmpeg's frei0r=corvalin differs from the command"
cat >profile <<'EOF'
description=192x144
frame_rate_num=25
frame_rate_den=1
width=192
height=144
progressive=1
sample_aspect_num=1
sample_aspect_den=1
display_aspect_num=4
display_aspect_den=3
colorspace=709
EOF
melt -quiet -profile profile "$picture" out=0 -attach frei0r.corvalin "Smoother Range=0.05" \
  "Line Weight=0.5" -consumer avformat:melt.png vcodec=png pix_fmt=rgba update=1 >/dev/null 2>&1 ||
  fail "melt"
raw melt.png melt.raw
cmp -s melt.raw ref8b.raw || fail "melt's frei0r.corvalin differs from the command"
gst-launch-1.0 -q filesrc location="$picture" ! pngdec ! videoconvert ! video/x-raw,format=RGBA ! \
  frei0r-filter-corvalin smoother-range=0.05 line-weight=0.5 ! filesink location=gst.raw ||
  fail "gst-launch-1.0"
cmp -s gst.raw ref8b.raw || fail "GStreamer's frei0r-filter-corvalin differs from the command"

echo "-- OpenFX"
./corvalin_ofx_digest --installed digest-installed.txt || fail "the OpenFX plug-in in /usr/OFX/Plugins"
cmp -s digest-installed.txt digest-build.txt ||
  fail "the installed OpenFX plug-in renders other frames than the build's"

echo "-- Python"
/usr/bin/python3 - <<'EOF' || fail "the Python module"
import importlib.metadata, sys
import numpy as np
import corvalin
assert corvalin.__file__.startswith("/usr/lib/python3/dist-packages/"), corvalin.__file__
assert importlib.metadata.version("corvalin") == corvalin.__version__, corvalin.__version__
frame = np.fromfile("frame.raw", dtype=np.uint8).reshape(144, 192, 4)
want = np.fromfile("ref8.raw", dtype=np.uint8).reshape(144, 192, 4)
got = corvalin.render(frame)
if not np.array_equal(got, want):
    sys.exit("corvalin.render differs from the command in %d samples" % np.count_nonzero(got != want))
EOF

echo "-- GEGL and GIMP"
gegl --exists corvalin:smooth-edges || fail "gegl does not find corvalin:smooth-edges"
gegl_render() { # IN OUT BITS PROPERTY=VALUE...
  local in=$1 out=$2 bits=$3
  shift 3
  gegl -i "$in" -- corvalin:smooth-edges "$@" gegl:png-save path="$out" bitdepth="$bits" \
    2>/dev/null || fail "gegl with corvalin:smooth-edges $*"
}
gegl_render "$picture" gegl8.png 8
{ raw gegl8.png gegl8.raw && cmp -s gegl8.raw ref8.raw; } ||
  fail "gegl's 8-bit render differs from the command"
gegl_render "$picture" gegl8b.png 8 smoother-range=5 line-weight=0.5
{ raw gegl8b.png gegl8b.raw && cmp -s gegl8b.raw ref8b.raw; } ||
  fail "gegl's render with settings differs from the command"
gegl_render frame16.png gegl16.png 16
{ raw16 gegl16.png gegl16.raw && cmp -s gegl16.raw ref16.raw; } ||
  fail "gegl's 16-bit render differs from the command"
# GIMP's settings in a folder of their own; the plug-in and the operation
# come from GIMP's and GEGL's folders.
mkdir -p gimp-config/gradients
gimp_render() { # IN OUT SMOOTHER-RANGE LINE-WEIGHT
  GIMP2_DIRECTORY=$work/gimp-config gimp -i -d -f -b "(let* ((image (car (gimp-file-load
    RUN-NONINTERACTIVE \"$1\" \"$1\"))) (drawable (car (gimp-image-get-active-drawable image))))
    (plug-in-corvalin-smooth-edges RUN-NONINTERACTIVE image drawable FALSE '(255 255 255) $3 $4
    TRUE) (file-png-save2 RUN-NONINTERACTIVE image drawable \"$2\" \"$2\" 0 9 0 0 0 0 0 0 1))" \
    -b '(gimp-quit 0)' >gimp.log 2>&1 || fail "gimp: $(tail -n 5 gimp.log)"
}
gimp_render "$picture" gimp8.png 5.0 0.5
{ raw gimp8.png gimp8.raw && cmp -s gimp8.raw ref8b.raw; } ||
  fail "GIMP's plug-in-corvalin-smooth-edges differs from the command"
gimp_render frame16.png gimp16.png 1.0 0.0
{ raw16 gimp16.png gimp16.raw && cmp -s gimp16.raw ref16.raw; } ||
  fail "GIMP's 16-bit render differs from the command"

echo "-- manual, completion, farm"
[ "$(man -w corvalin)" = /usr/share/man/man1/corvalin.1.gz ] || fail "man -w corvalin"
completed=$(bash -c 'source /usr/share/bash-completion/completions/corvalin
  COMP_WORDS=(corvalin render --smoo); COMP_CWORD=2; _corvalin; echo "${COMPREPLY[*]}"')
[ "$completed" = --smoother-range ] || fail "bash completion of --smoo gave '$completed'"
submitted=$(corvalin-submit 'in.####.png' 'out.####.png' --frames 1-20 --dry-run) ||
  fail "corvalin-submit --dry-run"
[[ $submitted == */usr/share/corvalin/corvalin-render.sbatch* ]] ||
  fail "corvalin-submit does not run the installed batch script: $submitted"

echo "-- purge"
cd "$root"
mv "$hidden" "$build"
purge
find /usr /etc /opt -xdev 2>/dev/null | sort >"$work/files-after.txt"
if ! diff "$work/files-before.txt" "$work/files-after.txt" >"$work/files.diff"; then
  head -n 20 "$work/files.diff"
  fail "apt-get purge left files behind or removed others"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures package checks failed."
  exit 1
fi
echo "The installed packages passed."
