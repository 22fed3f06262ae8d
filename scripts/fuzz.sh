#!/usr/bin/env bash
# Builds every libFuzzer target (the CMake targets named fuzz_*) with clang, ASan
# and UBSan in build/fuzz, and runs each for the given seconds on a copy of its
# seed corpus, tests/fuzz/corpus/<target name without fuzz_>/ (the copy keeps the
# committed seeds unchanged). Crash inputs are kept in build/fuzz/artifacts/<target>/.
#
# Usage: scripts/fuzz.sh [seconds-per-target]     (default 60)
# Exits non-zero if a target fails to build or finds a crash, leak or timeout.
set -euo pipefail

seconds=${1:-60}
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build/fuzz"

CC=clang CXX=clang++ cmake -S "$top" -B "$build" -DBRISA_FUZZ=ON >/dev/null
targets=$(cmake --build "$build" --target help | sed -n 's/^\.\.\. \(fuzz_[A-Za-z0-9_]*\).*/\1/p' | sort -u)
if [ -z "$targets" ]; then
  echo "fuzz: no fuzz_* targets found" >&2
  exit 1
fi

failed=()
for target in $targets; do
  if ! cmake --build "$build" -j2 --target "$target" >"$build/$target.build.log" 2>&1; then
    echo "fuzz: $target does not build (see $build/$target.build.log)" >&2
    failed+=("$target")
    continue
  fi
  binary=$(find "$build" -maxdepth 3 -type f -name "$target" -perm -u+x | head -n 1)
  corpus=$(mktemp -d)
  seeds="$top/tests/fuzz/corpus/${target#fuzz_}"
  if [ -d "$seeds" ]; then cp -R "$seeds/." "$corpus/"; fi
  artifacts="$build/artifacts/$target"
  mkdir -p "$artifacts"
  log="$build/$target.log"
  echo "fuzz: $target for ${seconds}s on $(find "$corpus" -type f | wc -l) seeds"
  if "$binary" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$log" | tail -n 2 || true
  else
    echo "fuzz: $target FAILED (log $log, inputs in $artifacts)" >&2
    tail -n 30 "$log" >&2
    failed+=("$target")
  fi
  rm -rf "$corpus"
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: failing targets: ${failed[*]}" >&2
  exit 1
fi
echo "fuzz: all targets ran ${seconds}s without a crash"
