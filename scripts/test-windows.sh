#!/usr/bin/env bash
# Builds the Windows program and runs, under wine64, its unit tests and the
# black-box suite. One wineserver stays up for the whole run.
# Usage: scripts/test-windows.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/setup.sh" base windows
"$root/scripts/build-windows.sh"

# The 64-bit loader: Debian's "wine" wrapper prefers the 32-bit one, which
# cannot run here.
loader=$(command -v wine64 || true)
[ -n "$loader" ] || loader=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver64
[ -x "$server" ] || server=$(command -v wineserver)

export WINEPREFIX=${QUILLMAR_WINEPREFIX:-/tmp/quillmar-wine}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer on a fresh prefix
mkdir -p "$WINEPREFIX"

# Started with its output elsewhere: wine's service processes outlive the
# program that starts them, and would otherwise hold a test's pipes open.
"$server" -p </dev/null >/dev/null 2>&1 &
trap 'WINEPREFIX="$WINEPREFIX" "$server" -k 2>/dev/null || true' EXIT
echo "== wine prefix $WINEPREFIX (the first start takes a while)"
"$loader" wineboot -u </dev/null >/dev/null 2>&1

echo "== Windows unit tests under wine64"
"$loader" build-win64/tests/quillmar_unit_tests.exe --gtest_brief=1 </dev/null

echo "== Windows black-box tests under wine64"
posix=""
[ -x "$root/build/quillmar" ] && posix="$root/build/quillmar"
QUILLMAR_CMD="$loader $root/build-win64/quillmar.exe" \
QUILLMAR_CHECK_CMD="$loader $root/build-win64/quillmar-check.exe" \
QUILLMAR_POSIX_CMD="$posix" QUILLMAR_WINDOWS=1 \
  python3 -m unittest discover -s tests/blackbox -t tests/blackbox </dev/null
