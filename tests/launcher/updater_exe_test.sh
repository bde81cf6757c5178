#!/usr/bin/env bash
# Starts the real updater from a fresh game folder: the language switch ends
# the program with exit code 1, a normal start passes the graphics check.
# Usage: updater_exe_test.sh UPDATER [RUNNER...]
set -uo pipefail
updater=$1
shift
runner=("$@")
game=$(mktemp -d)
trap 'rm -rf "$game"' EXIT
cp "$updater" "$game/Vossarium.exe"

fail() { echo "FAIL: $*"; exit 1; }

"${runner[@]}" "$game/Vossarium.exe" --configurelanguage 12 </dev/null
rc=$?
[ $rc -eq 1 ] || fail "language mode ended with $rc, expected 1"

"${runner[@]}" "$game/Vossarium.exe" </dev/null
rc=$?
[ $rc -eq 0 ] || fail "normal start ended with $rc, expected 0"
echo "updater exe: ok"
