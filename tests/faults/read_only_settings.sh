#!/usr/bin/env bash
# Runs the read-only settings tests of a test program from a copy of it, with
# the plug-in, in a folder of its own: once with the settings file there made
# unwritable, once with the folder itself made unwritable. Wine run as root
# writes files whatever their permissions, so they are made immutable; where
# that cannot be done, the tests are told nothing and skip, saying why.
# Usage: read_only_settings.sh WINE_RUN PROGRAM PLUGIN
set -uo pipefail
wine_run=$1
program=$2
plugin=$3
name=$(basename "$program")
# Outside the build tree: should the clean-up below never run, an immutable
# folder stands in the way of nothing but itself.
place=$(mktemp -d "${TMPDIR:-/tmp}/pixmerle-read-only.XXXXXX") || exit 1

release() {
  chattr -R -i "$place" 2>/dev/null
  rm -rf "$place"
}
trap release EXIT

status=0
for case in File Folder; do
  release
  mkdir -p "$place" && cp "$program" "$plugin" "$place/" || exit 1
  made=
  if [ "$case" = File ]; then
    printf '[Settings]\r\nAddress=C:\\kept\r\nIsAddress=1\r\nIsHide=0\r\n' >"$place/Pixmerle_Option.ini"
    chattr +i "$place/Pixmerle_Option.ini" 2>/dev/null && made=file
  else
    chattr +i "$place" 2>/dev/null && made=folder
  fi
  # Well within the test's own time limit, so that the clean-up runs.
  PIXMERLE_READ_ONLY=$made timeout -k 10 "$((400 * ${PIXMERLE_TIME_FACTOR:-1}))" "$wine_run" 24 "$place/$name" "--gtest_filter=ReadOnlySettings.$case*" \
    || status=$?
done
exit "$status"
