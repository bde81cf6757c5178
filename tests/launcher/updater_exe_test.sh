#!/usr/bin/env bash
# Starts the real updater from a fresh game folder: the language switch stores
# the language in that folder's "Vossarium.kbf" and ends with exit code 1; a
# normal start (the test build, whose message boxes answer themselves) creates
# both archives, asks the server for the list in the stored language and ends
# with the fatal message when the list is not there.
# Usage: updater_exe_test.sh UPDATER TEST_UPDATER KBF [RUNNER...]
set -uo pipefail
updater=$1
test_updater=$2
kbf=$3
shift 3
runner=("$@")
here=$(cd "$(dirname "$0")" && pwd)
game=$(mktemp -d)
server_pid=
trap '[ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null; rm -rf "$game"' EXIT
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

cp "$test_updater" "$game/Vossarium.exe"
python3 "$here/list_request_server.py" >"$game/request" &
server_pid=$!
for _ in $(seq 50); do [ -s "$game/request" ] && break; sleep 0.1; done
port=$(head -1 "$game/request")
[ -n "$port" ] || fail "the list server did not start"
VOSSARIUM_TEST_UPDATE_URL="http://127.0.0.1:$port/" \
  "${runner[@]}" "$game/Vossarium.exe" -x 1 </dev/null 2>"$game/stderr"
rc=$?
wait "$server_pid"
server_pid=
# Windows programs end their lines with CR LF.
tr -d '\r' <"$game/stderr" >"$game/log"
cat "$game/log"
[ $rc -eq 0 ] || fail "normal start ended with $rc, expected 0"
grep -qE "^GET /resource\.002\.php\?language=12&client=0&firg=[0-9]+ HTTP/1\.1$" "$game/request" ||
  fail "unexpected list request: $(sed -n 2p "$game/request")"
grep -q "^\[messagebox\] Vossarium - Fatal error!: Error while downloading resourcelist!$" \
  "$game/log" || fail "no fatal message for the missing list"
[ -f "$game/Layers.kbf" ] || fail "normal start created no Layers.kbf"
for archive in Vossarium.kbf Layers.kbf; do
  "${runner[@]}" "$kbf" check "$game/$archive" </dev/null || fail "$archive is not sound"
done
echo "updater exe: ok"
