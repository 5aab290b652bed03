#!/usr/bin/env bash
# The release archive: built twice with identical bytes, every file in its
# checksum list, the plug-in also under x32dbg's name, libpng.dll importing
# only system DLLs and msvcrt.dll, and, unpacked into a host installation,
# PNG captures with the shipped libpng beside the host and BMP captures
# without it.
#
#   package_test.sh BUILD_DIR HOST_SIMULATOR_EXE OBJDUMP
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
simulator=$2
objdump=$3

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

work=$(mktemp -d "$build/package-test.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$here/tools/package/make_package" "$build" "$work/first.zip"
"$here/tools/package/make_package" "$build" "$work/second.zip"
cmp -s "$work/first.zip" "$work/second.zip" || fail "two packagings of the same build differ"

unpacked=$work/unpacked
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$work/first.zip" "$unpacked"
expected="INSTALL.txt LICENSE LICENSE.libpng LICENSE.zlib Pixmerle.dp32 Pixmerle_1_1_7.dll SHA256SUMS libpng.dll"
actual=$(cd "$unpacked" && LC_ALL=C ls | tr '\n' ' ' | sed 's/ $//')
[ "$actual" = "$expected" ] || fail "the archive holds \"$actual\", expected \"$expected\""
listed=$(tr -d '\r' <"$unpacked/SHA256SUMS" | awk '{print $2}' | tr '\n' ' ' | sed 's/ $//')
[ "$listed" = "${expected/ SHA256SUMS/}" ] || fail "SHA256SUMS lists \"$listed\""
(cd "$unpacked" && tr -d '\r' <SHA256SUMS | sha256sum --quiet -c -) || fail "a checksum does not match"
for plugin in Pixmerle_1_1_7.dll Pixmerle.dp32; do
  cmp -s "$unpacked/$plugin" "$build/Pixmerle_1_1_7.dll" || fail "the archive's $plugin is not the built plug-in"
done

imports=$("$objdump" -p "$unpacked/libpng.dll" | awk '/DLL Name:/ {print tolower($3)}' | sort | tr '\n' ' ')
[ "$imports" = "kernel32.dll msvcrt.dll " ] || fail "libpng.dll imports: $imports"

# A host installation: the host's executable, the plug-in in its plug-in
# folder, libpng.dll beside the executable or not at all.
. "$here/scripts/wine-env"
export DISPLAY=${PIXMERLE_DISPLAY_24:?run through scripts/test}
export WINEPREFIX=${PIXMERLE_PREFIX:-$build/wine/prefix-24}
# capture_with DIR LIBPNG KIND [HOST [PLUGIN_FILE]]: the demo run by the
# simulated host (OllyDbg 1.10 unless named) from that installation.
capture_with() {
  local host=$1 with_libpng=$2 kind=$3 kind_of_host=${4:-ollydbg} plugin=${5:-Pixmerle_1_1_7.dll} captures written name
  rm -rf "$host"
  mkdir -p "$host/plugins" "$host/captures"
  cp "$simulator" "$host/host.exe"
  # x32dbg.exe has its debugger DLL beside it.
  [ "$kind_of_host" = x32dbg ] && cp "$build/x32dbg.dll" "$host/"
  cp "$unpacked/$plugin" "$host/plugins/"
  [ "$with_libpng" = yes ] && cp "$unpacked/libpng.dll" "$host/"
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
capture_with "$work/host-with-libpng" yes png
capture_with "$work/host-without-libpng" no bmp
capture_with "$work/x32dbg" yes png x32dbg Pixmerle.dp32
capture_with "$work/ollydbg2" yes png ollydbg2
capture_with "$work/immunity" no bmp immunity

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "package: all checks passed"
