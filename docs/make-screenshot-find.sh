#!/usr/bin/env bash
# Takes docs/screenshot-find.png: the real tamboro window under Xvfb (with
# the openbox window manager for the title bar), after searching a small
# generated library, opening the find bar with Ctrl+F and typing a query in
# hiragana that finds the katakana genre "ハードコア".
#
# usage: docs/make-screenshot-find.sh [BUILD_DIR] [OUT.png]
# needs what docs/make-screenshot.sh needs.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${1:-$here/../build}
out=${2:-$here/screenshot-find.png}
build=$(cd "$build" && pwd)
out=$(realpath -m "$out")
for tool in xvfb-run openbox xdotool import; do
    command -v "$tool" >/dev/null || { echo "make-screenshot-find: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/tamboro-gen-library" --seed 7 --charts 60 "$work/library" >/dev/null
mkdir "$work/runtime" "$work/config"
chmod 700 "$work/runtime"

export BUILD="$build" OUT="$out" WORK="$work"
xvfb-run -a -s "-screen 0 740x550x24" bash -euo pipefail -c '
    openbox >/dev/null 2>&1 &
    sleep 1
    XDG_RUNTIME_DIR="$WORK/runtime" XDG_CONFIG_HOME="$WORK/config" LANG=C.UTF-8 "$BUILD/dialog/tamboro" &
    app=$!
    win=$(xdotool search --sync --onlyvisible --name "^Tamboro$" | head -n 1)
    xdotool windowmove --sync "$win" 20 20
    xdotool windowactivate --sync "$win"
    sleep 0.5
    xdotool type --delay 5 "$WORK/library"
    xdotool key Return
    sleep 2
    xdotool key ctrl+f
    sleep 0.5
    xdotool type --delay 50 "はーどこあ"
    sleep 0.5
    xdotool key Down
    xdotool mousemove --window "$win" 300 120
    sleep 0.5
    import -window root "$OUT"
    xdotool key ctrl+f Escape
    wait "$app" || true
'
echo "wrote $out"
