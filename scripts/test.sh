#!/usr/bin/env bash
# Builds the three presets and runs every test: host unit tests, the
# acceptance tests under Wine and the static checks of the deliverable.
# Usage: scripts/test.sh [extra ctest arguments]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
for preset in host win64 win32 fuzz; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
# Acceptance cases mostly wait (each run ends with a 5 s pause), so they
# run side by side even on two cores.
ctest --preset host -j "${ZV_TEST_JOBS:-6}" "$@"
