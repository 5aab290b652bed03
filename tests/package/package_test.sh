#!/usr/bin/env bash
# The release archive: built twice with identical bytes, every file in its
# checksum list, the plug-in also under x32dbg's name, libpng.dll importing
# only system DLLs and msvcrt.dll, and, unpacked into a host installation,
# PNG captures with the shipped libpng beside the host and BMP captures
# without it. The 64-bit archive likewise in an x64dbg installation, where a
# 32-bit libpng.dll gives BMP captures, and neither word size's host loads
# the other's plug-in.
#
#   package_test.sh BUILD_DIR HOST_SIMULATOR_EXE OBJDUMP [win32 | win64 BUILD_DIR_32]
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
simulator=$2
objdump=$3
arch=${4:-win32}
build32=${5:-}

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

work=$(mktemp -d "$build/package-test.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$here/tools/package/make_package" "$build" "$work/first.zip" "$arch"
"$here/tools/package/make_package" "$build" "$work/second.zip" "$arch"
cmp -s "$work/first.zip" "$work/second.zip" || fail "two packagings of the same build differ"

unpacked=$work/unpacked
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$work/first.zip" "$unpacked"
if [ "$arch" = win64 ]; then
  plugins="Pixmerle.dp64"
  expected="INSTALL.txt LICENSE LICENSE.libpng LICENSE.zlib Pixmerle.dp64 SHA256SUMS libpng.dll"
else
  plugins="Pixmerle_1_1_7.dll Pixmerle.dp32"
  expected="INSTALL.txt LICENSE LICENSE.libpng LICENSE.zlib Pixmerle.dp32 Pixmerle_1_1_7.dll SHA256SUMS libpng.dll"
fi
actual=$(cd "$unpacked" && LC_ALL=C ls | tr '\n' ' ' | sed 's/ $//')
[ "$actual" = "$expected" ] || fail "the archive holds \"$actual\", expected \"$expected\""
listed=$(tr -d '\r' <"$unpacked/SHA256SUMS" | awk '{print $2}' | tr '\n' ' ' | sed 's/ $//')
[ "$listed" = "${expected/ SHA256SUMS/}" ] || fail "SHA256SUMS lists \"$listed\""
(cd "$unpacked" && tr -d '\r' <SHA256SUMS | sha256sum --quiet -c -) || fail "a checksum does not match"
for plugin in $plugins; do
  cmp -s "$unpacked/$plugin" "$build/Pixmerle_1_1_7.dll" || fail "the archive's $plugin is not the built plug-in"
done

imports_of() { "$objdump" -p "$1" | awk '/DLL Name:/ {print tolower($3)}' | sort | tr '\n' ' '; }
imports=$(imports_of "$unpacked/libpng.dll")
[ "$imports" = "kernel32.dll msvcrt.dll " ] || fail "libpng.dll imports: $imports"
for plugin in $plugins; do
  for dll in $(imports_of "$unpacked/$plugin"); do
    case $dll in
      comctl32.dll | comdlg32.dll | gdi32.dll | kernel32.dll | msvcrt.dll | ole32.dll | shell32.dll | user32.dll) ;;
      *) fail "$plugin imports $dll, not a Windows system DLL" ;;
    esac
  done
done

# A host installation: the host's executable, the plug-in in its plug-in
# folder, libpng.dll beside the executable or not at all.
. "$here/scripts/wine-env"
export DISPLAY=${PIXMERLE_DISPLAY_24:?run through scripts/test}
export WINEPREFIX=${PIXMERLE_PREFIX:-$build/wine/prefix-24}
# capture_with DIR LIBPNG KIND [HOST [PLUGIN_FILE]]: the demo run by the
# simulated host (OllyDbg 1.10 unless named) from that installation. LIBPNG
# is yes (the archive's beside the host), no, or the path of another one.
capture_with() {
  local host=$1 with_libpng=$2 kind=$3 kind_of_host=${4:-ollydbg} plugin=${5:-Pixmerle_1_1_7.dll} captures written name
  rm -rf "$host"
  mkdir -p "$host/plugins" "$host/captures"
  cp "$simulator" "$host/host.exe"
  # x32dbg.exe and x64dbg.exe have their debugger DLL beside them.
  case $kind_of_host in x32dbg | x64dbg) cp "$build/$kind_of_host.dll" "$host/" ;; esac
  cp "$unpacked/$plugin" "$host/plugins/"
  case $with_libpng in
    yes) cp "$unpacked/libpng.dll" "$host/" ;;
    no) ;;
    *) cp "$with_libpng" "$host/libpng.dll" ;;
  esac
  captures="Z:$(echo "$host/captures" | tr / '\\')"
  written=$(cd "$host" && wine host.exe --host "$kind_of_host" --plugin "plugins\\$plugin" --demo "$captures" \
              </dev/null 2>/dev/null | tr -d '\r' | tail -n 1) || true
  name=${written##*\\}
  if [ -z "$name" ] || [ ! -s "$host/captures/$name" ]; then
    fail "no capture written (libpng: $with_libpng): ${written:-nothing printed}"
    return
  fi
  case $name in
    *."$kind") ;;
    *) fail "the capture $name is not a .$kind file (libpng: $with_libpng)" ;;
  esac
  python3 "$here/tests/package/image_pixels.py" "$host/captures/$name" "$kind" ||
    fail "the $kind capture does not hold the target's pixels"
}
# refuses PROGRAM HOST PLUGIN: a host of one word size fails to load the
# other's plug-in, says so and ends normally.
refuses() {
  local said status=0
  said=$(wine "$1" --host "$2" --plugin "$3" --load-only </dev/null 2>&1 >/dev/null | tr -d '\r') || status=$?
  [ "$status" -eq 1 ] && [[ $said == "cannot load the plug-in"* ]] ||
    fail "$2 given $(basename "$3"): status $status, said \"$said\""
}

if [ "$arch" = win64 ]; then
  capture_with "$work/x64dbg" yes png x64dbg Pixmerle.dp64
  capture_with "$work/x64dbg-without-libpng" no bmp x64dbg Pixmerle.dp64
  capture_with "$work/x64dbg-32-bit-libpng" "$here/.cache/libpng/dist/libpng.dll" bmp x64dbg Pixmerle.dp64
  refuses "$simulator" x64dbg "$(winepath -w "$build32/Pixmerle_1_1_7.dll")"
  refuses "$build32/host_simulator.exe" x32dbg "$(winepath -w "$unpacked/Pixmerle.dp64")"
else
  capture_with "$work/host-with-libpng" yes png
  capture_with "$work/host-without-libpng" no bmp
  capture_with "$work/x32dbg" yes png x32dbg Pixmerle.dp32
  capture_with "$work/ollydbg2" yes png ollydbg2
  capture_with "$work/immunity" no bmp immunity
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "package: all checks passed"
