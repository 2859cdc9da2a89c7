#!/usr/bin/env bash
# Runs the unit and black-box tests under AddressSanitizer with UBSan, then the
# threaded parts (the lanes' unit tests and the black-box tests) under
# ThreadSanitizer. Every sanitizer report goes to one log folder; any report
# fails the stage, also one from a run whose exit code a test did not look at.
# Usage: scripts/test-sanitizers.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# clang's AddressSanitizer writes UBSan's reports to the log folder too.
"$root/scripts/setup.sh" base fuzz

logs=$(mktemp -d /tmp/quillmar-sanitizers.XXXXXX)
chmod 1777 "$logs"  # some black-box runs are made as an unprivileged user
finish() {
  local status=$?
  if compgen -G "$logs/*" >/dev/null; then
    echo "== sanitizer reports"
    cat "$logs"/*
    status=1
  fi
  rm -rf "$logs"
  exit $status
}
trap finish EXIT

blackbox() {
  QUILLMAR_CMD="$root/$1/quillmar" QUILLMAR_CHECK_CMD="$root/$1/quillmar-check" \
    python3 -m unittest discover -s tests/blackbox -t tests/blackbox
}

echo "== AddressSanitizer and UBSan: unit and black-box tests"
scripts/build.sh build-asan -DCMAKE_CXX_COMPILER=clang++ -DQUILLMAR_SANITIZE=address
export ASAN_OPTIONS="log_path=$logs/asan:exitcode=86:detect_leaks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="log_path=$logs/ubsan:halt_on_error=1:print_stacktrace=1:exitcode=86"
(cd build-asan && ctest --output-on-failure)
blackbox build-asan
unset ASAN_OPTIONS UBSAN_OPTIONS

echo "== ThreadSanitizer: the lanes' unit tests and the black-box tests"
scripts/build.sh build-tsan -DQUILLMAR_SANITIZE=thread
export TSAN_OPTIONS="log_path=$logs/tsan:halt_on_error=1:exitcode=86:second_deadlock_stack=1"
build-tsan/tests/quillmar_unit_tests --gtest_filter='Lanes.*' --gtest_brief=1
blackbox build-tsan
unset TSAN_OPTIONS
compgen -G "$logs/*" >/dev/null || echo "No sanitizer reports."
