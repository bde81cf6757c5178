#!/usr/bin/env bash
# Runs one fixed sequence of kbf operations and compares the archive with the
# checked-in golden file, byte for byte; the native and the Windows build must
# both produce it. `regenerate` writes the golden file instead (native build).
# Usage: golden_test.sh check|regenerate KBF WORKDIR GOLDEN [RUNNER...]
set -u
mode=$1
kbf=$2
work=$3
golden=$4
shift 4
runner=("$@")
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1

run() {
  if ! "${runner[@]}" "$kbf" "$@" >/dev/null; then
    echo "kbf $* failed"
    exit 1
  fi
}

# Inputs made from fixed bytes, so every run sees the same data.
pattern() {  # pattern SIZE STEP
  local size=$1 step=$2 i
  for ((i = 0; i < size; i++)); do printf "\\x$(printf %02x $(((i * step + 7) % 256)))"; done
}
pattern 3000 5 >client.bin
pattern 700 3 >layer.bin
pattern 90 11 >small.bin
printf '#defaultLanguage=ic\0' >settings.bin

run create ops.kbf
run add ops.kbf DravoClient client.bin
run add ops.kbf _localSettings settings.bin
run add ops.kbf layers/a layer.bin
run tag ops.kbf layers/a 3 1 1
run add ops.kbf layers/b small.bin
run remove ops.kbf layers/a
run add ops.kbf LAYERS/B layer.bin
run add ops.kbf layers/c small.bin
run tag ops.kbf dravoclient 12 0 1
run add ops.kbf DravoClient small.bin

if [ "$mode" = regenerate ]; then
  cp ops.kbf "$golden"
  echo "wrote $golden"
elif ! cmp ops.kbf "$golden"; then
  echo "the archive differs from the golden file $golden"
  exit 1
fi
cd / && rm -rf "$work"
echo "archive identical to $golden"
