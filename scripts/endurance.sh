#!/usr/bin/env bash
# The long session: 1,000 opens in one process cycling a PDF, comics stored and
# deflated, a RAR comic, a damaged file and a password-locked PDF, each painted,
# paged through, searched and thumbnailed; then 500 comics closed under the
# decode worker. Prints the slope per 100 opens of every count the process holds
# (CI runs the same test with 150 opens: ctest -R inproc_endurance).
#   bash scripts/endurance.sh [OPENS] [CLOSINGS]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
opens=${1:-1000}
closings=${2:-500}
[ -x "$top/build/winelib/endurance_tests.exe" ] || bash "$top/scripts/build.sh" winelib
set +e   # the environment's set-up tolerates steps that fail (no server to stop yet)
source "$top/tests/e2e/wine-env.sh" start "$top/build/winelib"
set -e
trap '"$top/tests/e2e/wine-env.sh" stop "$top/build/winelib"' EXIT
cd "$top/build/winelib"
LC_ALL=en_US.UTF-8 ./endurance_tests.exe --opens="$opens" --closings="$closings"
