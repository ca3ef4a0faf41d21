#!/usr/bin/env bash
# Configures and builds one build tree:
#   scripts/build.sh DIR [cmake options...] [-- targets...]
set -euo pipefail
dir=$1; shift
options=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do options+=("$1"); shift; done
[ $# -gt 0 ] && shift
src=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$src" -B "$dir" -G Ninja "${options[@]}" >/dev/null
if [ $# -gt 0 ]; then
  cmake --build "$dir" -j"$(nproc)" --target "$@"
else
  cmake --build "$dir" -j"$(nproc)"
fi
