#!/usr/bin/env bash
# Starts the real updater from a fresh game folder: the language switch stores
# the language in that folder's "Vossarium.kbf" and ends with exit code 1; a
# normal start passes the graphics check and creates both archives.
# Usage: updater_exe_test.sh UPDATER KBF [RUNNER...]
set -uo pipefail
updater=$1
kbf=$2
shift 2
runner=("$@")
game=$(mktemp -d)
trap 'rm -rf "$game"' EXIT
cp "$updater" "$game/Vossarium.exe"

fail() { echo "FAIL: $*"; exit 1; }

# Started from another folder, so only the module path can lead to the game.
cd /
"${runner[@]}" "$game/Vossarium.exe" --configurelanguage 12 </dev/null
rc=$?
[ $rc -eq 1 ] || fail "language mode ended with $rc, expected 1"
[ -f "$game/Vossarium.kbf" ] || fail "language mode wrote no Vossarium.kbf into the game folder"
[ ! -e "$game/Layers.kbf" ] || fail "language mode opened Layers.kbf"
"${runner[@]}" "$kbf" extract "$game/Vossarium.kbf" _localSettings "$game/settings" </dev/null ||
  fail "no _localSettings entry"
printf '#defaultLanguage=ic\0' | cmp - "$game/settings" || fail "settings entry differs"

"${runner[@]}" "$game/Vossarium.exe" -x 1 </dev/null
rc=$?
[ $rc -eq 0 ] || fail "normal start ended with $rc, expected 0"
[ -f "$game/Layers.kbf" ] || fail "normal start created no Layers.kbf"
for archive in Vossarium.kbf Layers.kbf; do
  "${runner[@]}" "$kbf" check "$game/$archive" </dev/null || fail "$archive is not sound"
done
echo "updater exe: ok"
