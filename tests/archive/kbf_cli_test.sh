#!/usr/bin/env bash
# Runs kbf's commands and checks their exit codes and results. With a runner
# (e.g. scripts/wine-run PREFIX) the Windows kbf.exe is tested the same way.
# Usage: kbf_cli_test.sh KBF WORKDIR [RUNNER...]
set -u
kbf=$1
work=$2
shift 2
runner=("$@")
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1
failures=0

run() { "${runner[@]}" "$kbf" "$@"; }

# expect CODE DESCRIPTION COMMAND...: the command's exit code must be CODE.
expect() {
  local want=$1 what=$2
  shift 2
  "$@" >out.txt 2>err.txt
  local got=$?
  if ((got != want)); then
    echo "FAIL: $what: exit $got, expected $want"
    sed 's/^/  stdout: /' out.txt | head -5
    sed 's/^/  stderr: /' err.txt | head -5
    failures=$((failures + 1))
  fi
}

same() {
  if ! cmp -s "$1" "$2"; then
    echo "FAIL: $3: $1 and $2 differ"
    failures=$((failures + 1))
  fi
}

# Contents with every byte value, so a text-mode stream would show.
for ((i = 0; i < 256; i++)); do printf "\\x$(printf %02x $i)"; done >all.bin
cat all.bin all.bin all.bin >big.bin
printf 'small\r\n' >small.txt
: >empty.txt

expect 0 "--help" run --help
expect 2 "no command" run
expect 2 "unknown command" run frobnicate a.kbf
expect 0 "add --help" run add --help
expect 2 "add with too few arguments" run add a.kbf name

expect 0 "create" run create a.kbf
expect 0 "check of a new archive" run check a.kbf
grep -q sound out.txt || { echo "FAIL: check does not say sound"; failures=$((failures + 1)); }
expect 0 "list of a new archive" run list a.kbf
[ -s out.txt ] && { echo "FAIL: a new archive lists entries"; failures=$((failures + 1)); }

expect 0 "add" run add a.kbf Bytes/All big.bin
expect 0 "add a second" run add a.kbf small small.txt
expect 1 "add of an empty file" run add a.kbf empty empty.txt
expect 1 "add of a missing file" run add a.kbf missing no-such-file
expect 0 "extract to a file" run extract a.kbf bytes/all out.bin
same out.bin big.bin "extract to a file"
expect 0 "extract to standard output" run extract a.kbf BYTES/ALL
same out.txt big.bin "extract to standard output"
expect 1 "extract of a missing entry" run extract a.kbf nothing
expect 0 "tag" run tag a.kbf small 7 -1 1
expect 2 "tag with a bad number" run tag a.kbf small seven 1
expect 0 "list --json" run list a.kbf --json
grep -q '"name": "small", "offset": [0-9]*, "size": 7, "version": 7, "language": -1, "flag": 1' out.txt ||
  { echo "FAIL: list --json lacks the tagged entry"; cat out.txt; failures=$((failures + 1)); }
expect 0 "add replacing" run add a.kbf SMALL all.bin
expect 0 "list" run list a.kbf
[ "$(wc -l <out.txt)" -eq 2 ] || { echo "FAIL: replace left two entries of one name"; failures=$((failures + 1)); }
expect 1 "remove of a missing entry" run remove a.kbf nothing
expect 0 "remove" run remove a.kbf bytes/all
expect 1 "extract of a removed entry" run extract a.kbf bytes/all
expect 0 "check after changes" run check a.kbf

# Damaged files: check reports and exits 1; the other commands refuse them.
head -c 20 a.kbf >cut.kbf
expect 1 "check of a cut file" run check cut.kbf
grep -q 'cut.kbf: ' out.txt || { echo "FAIL: check names no problem"; failures=$((failures + 1)); }
expect 1 "add to a cut file" run add cut.kbf x small.txt
cmp -s cut.kbf <(head -c 20 a.kbf) || { echo "FAIL: a damaged archive was changed"; failures=$((failures + 1)); }
printf 'not an archive at all' >foreign.kbf
expect 1 "check of a foreign file" run check foreign.kbf
expect 1 "list of a foreign file" run list foreign.kbf
expect 1 "check of a missing file" run check missing.kbf

printf '#defaultLanguage=ic\n' >settings.txt
expect 0 "typed" run typed settings.txt
grep -q '"defaultLanguage", "type": "i", "value": 12' out.txt ||
  { echo "FAIL: typed output"; cat out.txt; failures=$((failures + 1)); }
"${runner[@]}" "$kbf" typed - <settings.txt >stdin.txt 2>/dev/null
same stdin.txt out.txt "typed from standard input"

cd / && rm -rf "$work"
if ((failures > 0)); then
  echo "$failures kbf checks failed"
  exit 1
fi
echo "kbf command-line checks passed"
