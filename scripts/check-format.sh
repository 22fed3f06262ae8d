#!/usr/bin/env bash
# Checks that every C and C++ source of the tree is laid out as .clang-format
# says; exits non-zero and names the files that are not. --fix rewrites them.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h' 2>/dev/null ||
  find . -path ./build -prune -o -path ./third_party -prune -o \( -name '*.c' -o -name '*.cpp' -o -name '*.h' \) -print)
if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
clang-format --dry-run -Werror "${files[@]}"
echo "format: ${#files[@]} files as .clang-format says"
