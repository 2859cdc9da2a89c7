#!/usr/bin/env bash
# Cross-builds the Windows program with Debian's mingw-w64:
#   build-win32/quillmar.exe  the 32-bit release program, statically linked
#   build-win64/quillmar.exe  the same code for x86-64, with the Windows unit
#                             tests (build-win64/tests/quillmar_unit_tests.exe)
# Usage: scripts/build-windows.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" base windows

build() {  # folder, toolchain, extra cmake arguments
  local dir=$1 toolchain=$2
  shift 2
  cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" \
    -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
  cmake --build "$dir" -j "$(nproc)" >/dev/null
}

build "$root/build-win32" toolchain-mingw32.cmake -DQUILLMAR_TESTS=OFF
build "$root/build-win64" toolchain-mingw64.cmake -DQUILLMAR_TESTS=ON
echo "Windows program: $root/build-win32/quillmar.exe (32-bit), $root/build-win64/quillmar.exe (x86-64)"
