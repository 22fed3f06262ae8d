#!/usr/bin/env bash
# Builds bench_inflate (Release, native) and runs it: our DEFLATE decoder against
# zlib and libdeflate on one corpus of at least 50 MB of raw DEFLATE streams.
#
# Usage: scripts/bench-inflate.sh [repetitions]     (default 5; best pass counts)
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build/native-inflate-bench"

cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target bench_inflate >/dev/null
"$build/bench_inflate" "${1:-5}"
