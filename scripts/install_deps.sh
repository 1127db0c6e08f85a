#!/usr/bin/env bash
# Installs the Debian packages that building, testing and the demo need.
# Idempotent and quiet: apt-get runs only when a package is missing.
set -euo pipefail

packages=(
  cmake make g++ pkg-config ccache clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  libopenimageio-dev openimageio-tools libcli11-dev libtbb-dev libspng-dev libpng-dev
  frei0r-plugins-dev ffmpeg time
  pybind11-dev python3-dev python3-numpy python3-openimageio
  libgegl-dev gegl gir1.2-gegl-0.4 python3-gi libgimp2.0-dev gimp
  clang libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 wine
)
if [ "$#" -gt 0 ]; then packages=("$@"); fi

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}" >/dev/null
fi
