#!/usr/bin/env bash
# The Windows updater is a 64-bit GUI program that needs no MinGW runtime DLL.
set -euo pipefail
exe=$1
description=$(file -b "$exe")
echo "$description"
[[ $description == *"PE32+ executable (GUI) x86-64"* ]] || { echo "not a PE32+ GUI x86-64 image"; exit 1; }
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
echo "imports:" $imports
if grep -iE 'libstdc|libgcc|libwinpthread|mingw' <<<"$imports"; then
  echo "imports a MinGW runtime DLL"
  exit 1
fi
