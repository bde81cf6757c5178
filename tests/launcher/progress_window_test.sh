#!/usr/bin/env bash
# Shows the real progress window under Wine on a virtual X screen and keeps a
# screenshot of it. Usage: progress_window_test.sh DEMO PREFIX SHOT
# The prefix is the test's own: its desktop process must start with the display.
set -euo pipefail
demo="$1"
prefix="$2"
shot="$3"
here="$(cd "$(dirname "$0")" && pwd)"
wine_run="$here/../../scripts/wine-run"

work="$(mktemp -d)"
xvfb_pid=""
cleanup() {
  WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display itself, so parallel runs never meet.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || { echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"

# Without a window manager Wine draws the caption itself only when told to.
"$wine_run" "$prefix" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null

marker="$work/shown"
"$wine_run" "$prefix" "$demo" "Z:$marker" 4000 &
demo_pid=$!
for _ in $(seq 300); do
  [ -e "$marker" ] && break
  sleep 0.1
done
[ -e "$marker" ] || { echo "the window was never shown"; kill "$demo_pid" 2>/dev/null; exit 1; }
sleep 1
mkdir -p "$(dirname "$shot")"
import -window root "$shot"
wait "$demo_pid" || { echo "the demo failed"; exit 1; }

colors="$(identify -format %k "$shot")"
echo "screenshot $shot: $colors colors"
if [ "$colors" -le 2 ]; then
  echo "the screenshot is blank"
  exit 1
fi
