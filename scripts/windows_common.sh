# Shared by the scripts that build and check Windows binaries (source it):
# the tools they need and the check of a built DLL.

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
