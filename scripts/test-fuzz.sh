#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz) with clang, runs each target's kept
# regression cases, then fuzzes each for a bounded time from its seed corpus.
# New inputs go to a scratch corpus: the seeds in the repository stay as they are.
# Usage: scripts/test-fuzz.sh [seconds per target, default 60]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-60}
"$root/scripts/setup.sh" fuzz
cmake -S tests/fuzz -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-fuzz -j "$(nproc)" >/dev/null

scratch=$(mktemp -d /tmp/quillmar-fuzz.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
artifacts="$root/build-fuzz/artifacts"
mkdir -p "$artifacts"

for target in command_line strings digest_lines; do
  program="build-fuzz/fuzz_$target"
  regressions="tests/fuzz/regressions/$target"
  if compgen -G "$regressions/*" >/dev/null; then
    echo "== fuzz_$target: regression cases"
    "$program" "$regressions"/* 2>"$scratch/$target-regressions.log" || {
      tail -40 "$scratch/$target-regressions.log"; exit 1; }
  fi
  echo "== fuzz_$target: ${seconds}s"
  mkdir -p "$scratch/$target"
  if ! "$program" -max_total_time="$seconds" -max_len=4096 -timeout=30 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$artifacts/$target-" \
      "$scratch/$target" "tests/fuzz/corpus/$target" 2>"$scratch/$target.log"; then
    tail -60 "$scratch/$target.log"
    echo "fuzz_$target failed; the input is kept in $artifacts. Once fixed, add it to $regressions/."
    exit 1
  fi
  grep -E '^stat::number_of_executed_units|^Done' "$scratch/$target.log" || true
done
