#!/usr/bin/env bash
# Sets up, builds and runs quillmar. With no folder it runs on a throw-away
# copy of the sample tree and says where the copy is.
# Usage: scripts/run.sh [options] [folder]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" base
"$root/scripts/build.sh"

has_path=0
skip_next=0
for a in "$@"; do
  if [ $skip_next -eq 1 ]; then skip_next=0; continue; fi
  case "${a,,}" in
    -bufsize|/bufsize) skip_next=1 ;;
    -sfv|/sfv|-md5|/md5|-sha1|/sha1|-sha256|/sha256|-sha512|/sha512|-s|/s|-nosubfolders|/nosubfolders) ;;
    *) has_path=1 ;;
  esac
done

if [ $has_path -eq 0 ]; then
  copy=$(mktemp -d /tmp/quillmar-sample.XXXXXX)
  cp -a "$root/sample/Archive" "$copy/"
  echo "Running on a copy of the sample tree: $copy/Archive"
  exec "$root/build/quillmar" "$@" "$copy/Archive"
fi
exec "$root/build/quillmar" "$@"
