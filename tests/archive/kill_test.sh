#!/usr/bin/env bash
# Kills an archive writer at many random moments and checks after each kill
# that the archive loads with exactly the entries of the last completed save
# (or of the save that was under way) and that `kbf check` finds it sound.
# Usage: kill_test.sh WRITER KBF WORKDIR [KILLS]
set -u
writer=$1
kbf=$2
work=$3
kills=${4:-120}
rm -rf "$work"
mkdir -p "$work"
deadline=$((SECONDS + 240))
for ((i = 1; i <= kills; i++)); do
  "$writer" write "$work" "$i" &
  pid=$!
  # 2 to 60 ms: early kills land in start-up, late ones in the middle of saves.
  sleep "0.0$(printf '%02d' $((2 + RANDOM % 59)))"
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  rc=$?
  if ((rc != 137)); then
    echo "kill $i: the writer ended by itself with code $rc"
    exit 1
  fi
  if ! out=$("$writer" check "$work"); then
    echo "kill $i: the archive lost entries of its last save"
    "$kbf" list "$work/stress.kbf"
    exit 1
  fi
  if [ -e "$work/stress.kbf" ] && ! "$kbf" check "$work/stress.kbf" >/dev/null; then
    echo "kill $i: kbf check finds the archive unsound"
    "$kbf" check "$work/stress.kbf"
    exit 1
  fi
  if ((SECONDS > deadline)); then
    echo "kill test took too long ($i kills)"
    exit 1
  fi
done
saves_seen=$(cat "$work/saves" 2>/dev/null | wc -l)
if ((saves_seen < kills / 2)); then
  echo "the writer completed too few saves to mean anything ($saves_seen)"
  exit 1
fi
echo "$kills kills, $saves_seen completed saves, archive sound after each kill"
rm -rf "$work"
