#!/usr/bin/env bash
# The native unit tests of the portable cores (inflate, zip, the extractor, the
# sniffers, names, archives, recent positions, the layout maths, caches, joined
# search...) built with AddressSanitizer, LeakSanitizer and UBSan in
# build/native-asan, and run: any out-of-bounds access, use after free,
# undefined behaviour or block still allocated at exit fails its test.
#   bash scripts/asan.sh [ctest options, e.g. -R Zip]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/build.sh" native-asan
# Leaks are reported at each test process's exit (gtest_discover_tests runs one
# process per test); UBSan stops at the first finding.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=print_suppressions=0
cd "$top/build/native-asan"
ctest --output-on-failure "$@"
