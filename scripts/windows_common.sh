# Shared by the scripts that build and check Windows binaries (source it
# after setting ROOT, WIN_BUILD and JOBS): the tools they need, the builds,
# the check of a built DLL and the comparison of digests.

# Installs mingw-w64, wine64 and cmake with apt-get when missing.
install_windows_tools() {
  local need=() pkg
  for pkg in cmake g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64; do
    dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
  done
  if ((${#need[@]})); then
    echo "installing ${need[*]}"
    local sudo=""
    [[ $(id -u) -eq 0 ]] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${need[@]}" >/dev/null
  fi
}

# check_windows_dll TAG FILE "EXPORT1 EXPORT2 ": FILE must be a PE32+ x86-64
# DLL that imports only Windows system DLLs (the C++ runtime and winpthread
# are linked in) and exports exactly the given names, sorted, each followed
# by a space. Prints one line naming what was checked; exits 1 otherwise.
check_windows_dll() {
  local tag=$1 file=$2 expected=$3 name headers chars dll exports
  name=$(basename "$file")
  headers="$(x86_64-w64-mingw32-objdump -p "$file")"
  grep -q 'file format pei-x86-64' <<<"$headers" ||
    { echo "$tag: FAIL: $name is not a PE file for x86-64" >&2; exit 1; }
  grep -Eq 'Magic[[:space:]]+020b[[:space:]]+\(PE32\+\)' <<<"$headers" ||
    { echo "$tag: FAIL: $name is not PE32+" >&2; exit 1; }
  chars="$(awk '/^Characteristics/ {print $2; exit}' <<<"$headers")"
  (( (chars & 0x2000) != 0 )) ||
    { echo "$tag: FAIL: $name is not a DLL (characteristics $chars)" >&2; exit 1; }
  while read -r dll; do
    case "${dll,,}" in
      kernel32.dll|msvcrt.dll|user32.dll|advapi32.dll|ntdll.dll|ucrtbase.dll|api-ms-win-*) ;;
      *) echo "$tag: FAIL: $name imports $dll, which is not a Windows system DLL" >&2; exit 1 ;;
    esac
  done < <(awk '/DLL Name:/ {print $3}' <<<"$headers")
  exports="$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" |
    awk '/\[/ && NR > 1 {print $NF}' | sort | tr '\n' ' ')"
  [[ "$exports" == "$expected" ]] || { echo "$tag: FAIL: $name exports '$exports'" >&2; exit 1; }
  echo "$tag: $name is a PE32+ x86-64 DLL importing only system DLLs, exporting $exports"
}

# build_native_targets DIR TARGET...: a native build of the targets in DIR
# (for a script given no native build, or one that lacks them).
build_native_targets() {
  local dir=$1
  shift
  cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$dir" -j "$JOBS" --target "$@" >/dev/null
}

# build_windows_targets TARGET...: the targets built with mingw-w64 in
# WIN_BUILD, and a wine prefix of their own beside them.
build_windows_targets() {
  cmake -S "$ROOT" -B "$WIN_BUILD" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$WIN_BUILD" -j "$JOBS" --target "$@" >/dev/null
  export WINEPREFIX="$WIN_BUILD/wineprefix" WINEDEBUG=-all
  mkdir -p "$WINEPREFIX"
}

# same_digests TAG WINDOWS_FILE NATIVE_FILE WHAT: the Windows digests (CRLF
# lines) equal the native ones, else the first differences and exit 1.
same_digests() {
  local tag=$1 windows=$2 native=$3 what=$4
  [[ -s "$windows" ]] || { echo "$tag: FAIL: no renders from the $what" >&2; exit 1; }
  if ! diff <(tr -d '\r' < "$windows") "$native" >/dev/null; then
    diff <(tr -d '\r' < "$windows") "$native" | head -20 >&2
    echo "$tag: FAIL: renders of the $what and the native ones differ" >&2
    exit 1
  fi
}
