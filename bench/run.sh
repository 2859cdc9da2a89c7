#!/usr/bin/env bash
# quillmar's benchmark in one command: installs the peers, builds the Release
# program into build-bench/ and runs bench/bench.py (options: --help).
# Usage: bench/run.sh [--runs N] [--corpus big|small|both] [--work DIR] [--boost]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" base bench
"$root/scripts/build.sh" "$root/build-bench"
exec python3 "$root/bench/bench.py" --build "$root/build-bench" "$@"
