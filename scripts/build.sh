#!/usr/bin/env bash
# Builds quillmar natively into build/ (or the folder given) with CMake.
# Usage: scripts/build.sh [build-folder] [extra cmake arguments]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build}
shift || true
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)" >/dev/null
