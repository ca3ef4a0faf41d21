#!/usr/bin/env bash
# Runs a test binary as an unprivileged user: root reads every file, so tests
# of unreadable files and folders mean nothing as root. The binary is copied
# to a folder that user can reach. Runs it directly when not root.
set -euo pipefail
binary=$1; shift
if [ "$(id -u)" -ne 0 ]; then
  exec "$binary" "$@"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
cp "$binary" "$work/"
mkdir "$work/tmp" && chmod 1777 "$work/tmp"
TMPDIR="$work/tmp" HOME="$work/tmp" setpriv --reuid=65534 --regid=65534 --clear-groups \
  "$work/$(basename "$binary")" "$@"
