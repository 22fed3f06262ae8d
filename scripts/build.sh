#!/usr/bin/env bash
# Builds one or more of the three builds into build/<name>:
#   winelib  the Linux program (build/winelib/Brisa.exe) and its Wine tests
#   mingw    Brisa.exe for Windows (build/mingw/Brisa.exe)
#   native   the portable cores and their unit tests
#   native-asan  the same under AddressSanitizer, LeakSanitizer and UBSan
#            (build/native-asan; scripts/asan.sh builds and runs it)
# With no argument, all three. BUILD_TARGETS names the targets to build
# instead of all of them (scripts/install.sh builds only the program).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

configure_and_build() {
  local name=$1; shift
  cmake -S "$top" -B "$top/build/$name" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
  # shellcheck disable=SC2086
  cmake --build "$top/build/$name" -j"$jobs" ${BUILD_TARGETS:+--target $BUILD_TARGETS}
}

for build in "${@:-winelib mingw native}"; do
  for name in $build; do
    case "$name" in
      winelib) configure_and_build winelib -DCMAKE_TOOLCHAIN_FILE="$top/cmake/winelib.cmake" ;;
      mingw) configure_and_build mingw -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw64.cmake" ;;
      native) configure_and_build native ;;
      native-asan) configure_and_build native-asan -DBRISA_SANITIZE=ON ;;
      *) echo "build.sh: unknown build '$name'" >&2; exit 2 ;;
    esac
  done
done
