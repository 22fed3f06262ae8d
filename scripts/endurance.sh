#!/usr/bin/env bash
# The long session: 1,000 opens in one process cycling a PDF, comics stored and
# deflated, a RAR comic, a damaged file and a password-locked PDF, each painted,
# paged through, searched and thumbnailed; then 500 comics closed under the
# decode worker; then 10,000 navigation keys while a 2,000-page PDF's thumbnails
# render. Prints the slope per 100 opens of every count the process holds, and
# the storm's time and idle CPU (CI runs the same tests with 150 opens and 1,000
# keys: ctest -R inproc_endurance).
#   bash scripts/endurance.sh [OPENS] [CLOSINGS] [KEYS]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
opens=${1:-1000}
closings=${2:-500}
keys=${3:-10000}
[ -x "$top/build/winelib/endurance_tests.exe" ] || bash "$top/scripts/build.sh" winelib
set +e   # the environment's set-up tolerates steps that fail (no server to stop yet)
source "$top/tests/e2e/wine-env.sh" start "$top/build/winelib"
set -e
trap '"$top/tests/e2e/wine-env.sh" stop "$top/build/winelib"' EXIT
cd "$top/build/winelib"
LC_ALL=en_US.UTF-8 ./endurance_tests.exe --opens="$opens" --closings="$closings" --keys="$keys"
