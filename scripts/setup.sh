#!/usr/bin/env bash
# Installs what quillmar's build and tests need and is missing on this machine.
# Usage: scripts/setup.sh [base] [windows] [fuzz] [bench]
set -euo pipefail

groups=("$@")
[ ${#groups[@]} -eq 0 ] && groups=(base)

packages=()
for group in "${groups[@]}"; do
  case "$group" in
    base) packages+=(g++ cmake make libssl-dev libgtest-dev python3 rhash coreutils) ;;
    windows) packages+=(mingw-w64 wine wine64) ;;
    fuzz) packages+=(clang libclang-rt-14-dev) ;;
    bench) packages+=(rhash hashdeep hyperfine openssl) ;;
    *) echo "setup.sh: unknown group $group" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}" >/dev/null
