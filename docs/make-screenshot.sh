#!/usr/bin/env bash
# Takes docs/screenshot.png: the real tamboro window under Xvfb (with the
# openbox window manager for the title bar), after searching a small
# generated library and sorting it by title.
#
# usage: docs/make-screenshot.sh [BUILD_DIR] [OUT.png]
# needs: xvfb, openbox, xdotool, imagemagick, fonts-ipafont-gothic and
# fonts-nanum (Hangul); the build
# must hold dialog/tamboro and bench/tamboro-gen-library.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${1:-$here/../build}
out=${2:-$here/screenshot.png}
build=$(cd "$build" && pwd)
out=$(realpath -m "$out")
for tool in xvfb-run openbox xdotool import; do
    command -v "$tool" >/dev/null || { echo "make-screenshot: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/tamboro-gen-library" --seed 7 --charts 60 "$work/library" >/dev/null
mkdir "$work/runtime"
chmod 700 "$work/runtime"

export BUILD="$build" OUT="$out" WORK="$work"
xvfb-run -a -s "-screen 0 740x550x24" bash -euo pipefail -c '
    openbox >/dev/null 2>&1 &
    sleep 1
    XDG_RUNTIME_DIR="$WORK/runtime" LANG=C.UTF-8 "$BUILD/dialog/tamboro" &
    app=$!
    win=$(xdotool search --sync --onlyvisible --name "^Tamboro$" | head -n 1)
    xdotool windowmove --sync "$win" 20 20
    xdotool windowactivate --sync "$win"
    sleep 0.5
    xdotool type --delay 5 "$WORK/library"
    xdotool key Return
    sleep 2
    # Click the header of the title column (after 250 + 100 pixels of
    # folder and genre) once: ascending by title.
    xdotool mousemove --window "$win" 450 10 click 1
    sleep 1
    xdotool mousemove --window "$win" 300 200
    sleep 0.5
    import -window root "$OUT"
    xdotool key Escape
    wait "$app" || true
'
echo "wrote $out"
