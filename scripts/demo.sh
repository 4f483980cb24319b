#!/usr/bin/env bash
# Shows Zelvantorix at work under Wine on a ready demo machine: a 64-bit
# Windows XP SP3 without the framework, with helper.exe and a stand-in
# redistributable package beside the program in C:\deploy. The first run
# installs the framework, the second finds it. Every call starts from a
# fresh copy of the demo machine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64 >/dev/null

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
demo=$PWD/build/demo
base=$demo/base
machine=$demo/machine

if [ ! -f "$base/.ready" ]; then
  echo "Making the demo machine (once)..."
  rm -rf "$base"
  mkdir -p "$demo"
  WINEPREFIX=$base $wine wineboot -i >/dev/null 2>&1
  WINEPREFIX=$base $wine reg add 'HKCU\Software\Wine\AppDefaults\Zelvantorix.exe' \
    /v Version /d winxp /f >/dev/null 2>&1
  WINEPREFIX=$base $wineserver -w
  touch "$base/.ready"
fi
rm -rf "$machine"
cp -a "$base" "$machine"
export WINEPREFIX=$machine
trap '$wineserver -k 2>/dev/null || true' EXIT

deploy=$machine/drive_c/deploy
mkdir -p "$deploy"
cp build/win64/Zelvantorix.exe build/win64/helper.exe build/win64/dotnetfx35.exe \
  build/win64/zvrun.exe "$deploy/"

for run in 1 2; do
  echo
  echo "================ Run $run: C:\\deploy> Zelvantorix.exe ================"
  (cd "$deploy" && $wine zvrun.exe 'C:\deploy\exitcode.txt' Zelvantorix.exe 2>/dev/null) || true
  read -r unsigned signed <"$deploy/exitcode.txt"
  echo "---------------- exit code: $signed ($unsigned) ----------------"
done

echo
echo "================ C:\\TQV\\Logs\\Zelvantorix.log ================"
tr -d '\r' <"$machine/drive_c/TQV/Logs/Zelvantorix.log"
echo "================ the stand-in installer was called as ================"
tr -d '\r' <"$machine/drive_c/zv-standin-calls.txt"
