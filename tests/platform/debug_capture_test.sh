#!/usr/bin/env bash
# Runs debug_emitter under the capture tool and checks the exact debug output
# and the exit code it passes on.
# Usage: debug_capture_test.sh WINE_RUN PREFIX DBGCAPTURE EMITTER
set -uo pipefail
wine_run=$1 prefix=$2 capture=$3 emitter=$4
actual=$("$wine_run" "$prefix" "$capture" "$emitter"; echo "rc=$?")
expected=$(printf '%s' \
  $'[update] plain ASCII\n' \
  $'[update] Caf\u00e9 \u00fcber na\u00efve\n' \
  $'[http] \u039a\u03b1\u03bb\u03b7\u03bc\u03ad\u03c1\u03b1 \u4f60\u597d ' \
  $'\U0001F600 no line break'; echo "rc=7")
if [ "$actual" != "$expected" ]; then
  echo "debug output differs"
  echo "expected:"; printf '%s\n' "$expected" | od -c | head -40
  echo "actual:"; printf '%s\n' "$actual" | od -c | head -40
  exit 1
fi
echo "debug output matches"
