#!/usr/bin/env bash
# Sets up, builds and runs every test: unit tests, black-box scenarios, the
# sanitizer builds, the Windows build under wine64 and the fuzzers.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/setup.sh" base

echo "== native build, unit and black-box tests"
scripts/build.sh build
(cd build && ctest --output-on-failure)
QUILLMAR_CMD="$root/build/quillmar" python3 -m unittest discover -s tests/blackbox -t tests/blackbox
scripts/test-windows.sh
scripts/test-sanitizers.sh
scripts/test-fuzz.sh

echo "All tests passed."
