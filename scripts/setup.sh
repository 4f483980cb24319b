#!/usr/bin/env bash
# Installs what building and testing Zelvantorix needs on a Debian 12
# machine, and nothing that is there already. Safe to run again.
# wine64 only: this machine cannot run 32-bit Linux programs, so neither
# wine32 nor the i386 architecture is ever added.
set -euo pipefail

packages=(
  cmake ninja-build g++ make
  googletest libgtest-dev
  clang libclang-rt-14-dev
  g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  wine64
  python3 python3-pefile
  xvfb xauth openbox x11-utils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
