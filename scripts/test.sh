#!/usr/bin/env bash
# Sets up the machine, builds the three builds and runs every test:
#   the C and C++ layout check, native unit tests, the Windows executable's
#   checks, the in-process and end-to-end tests under Xvfb and Wine (of the
#   Linux build, then of Brisa.exe from the Windows build), and a short fuzzing run.
# Prints one closing line "N passed, M failed"; exits non-zero on any failure.
# FUZZ_SECONDS (default 30) sets the fuzzing time per target; 0 skips it.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash scripts/setup.sh || exit 1
bash scripts/build.sh winelib mingw native || exit 1

passed=0
failed=0
log=$(mktemp)

# Adds up what one ctest run reports ("N% tests passed, M tests failed out of T").
run_ctest() {
  local dir=$1; shift
  (cd "$dir" && ctest --output-on-failure "$@") 2>&1 | tee "$log"
  local line total bad
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    failed=$((failed + 1))
    return
  fi
  total=$(echo "$line" | sed -E 's/.*out of ([0-9]+).*/\1/')
  bad=$(echo "$line" | sed -E 's/.* ([0-9]+) tests? failed.*/\1/')
  passed=$((passed + total - bad))
  failed=$((failed + bad))
}

echo "== source layout (clang-format)"
if bash scripts/check-format.sh; then passed=$((passed + 1)); else failed=$((failed + 1)); fi

echo "== include arrows between folders"
if bash scripts/check-layers.sh; then passed=$((passed + 1)); else failed=$((failed + 1)); fi

echo "== native unit tests"
run_ctest build/native

echo "== Windows executable"
run_ctest build/mingw

echo "== Wine: in-process and end-to-end tests of the Linux build, the test bridge"
source tests/e2e/wine-env.sh start build/winelib
run_ctest build/winelib -LE windows
echo "== Wine: end-to-end tests of the Windows build (Brisa.exe beside the test bridge)"
run_ctest build/winelib -L windows
tests/e2e/wine-env.sh stop build/winelib

fuzz_seconds=${FUZZ_SECONDS:-30}
if [ "$fuzz_seconds" -gt 0 ] && [ -x scripts/fuzz.sh ]; then
  echo "== fuzzing, $fuzz_seconds s per target"
  if bash scripts/fuzz.sh "$fuzz_seconds"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
fi

rm -f "$log"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
