#!/usr/bin/env bash
# Builds the deliverable and lays out the package an administrator takes:
# dist/ with the 32-bit Zelvantorix.exe, helper.exe and the guide.
# Usage: scripts/package.sh [output folder, default dist]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-dist}

bash scripts/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 >/dev/null

rm -rf "$out"
mkdir -p "$out"
cp build/win32/Zelvantorix.exe build/win32/helper.exe "$out/"
# Windows line ends, so that the guide reads well in Notepad too.
sed 's/$/\r/' docs/administrator-guide.md >"$out/ADMINISTRATOR-GUIDE.md"
echo "package: $(cd "$out" && pwd)"
ls -l "$out"
