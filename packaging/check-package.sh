#!/usr/bin/env bash
# Builds the Debian package from a build tree and checks it with the tools
# Debian itself uses:
#   packaging/check-package.sh BUILD_DIR
# file list, Depends, an install into a scratch root, the installed
# tamboro-scan on the sample library, AppStream, desktop entry, manual pages
# and lintian (no errors; its warnings are printed).
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)

cmake --build "$build" -j"$(nproc)" --target package >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb="$build/tamboro_${version}_$(dpkg --print-architecture).deb"
test -s "$deb" || { echo "check-package: $deb was not made" >&2; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
check() {  # check NAME COMMAND...: runs the command, reports ok or FAILED
    local name=$1; shift
    if "$@"; then echo "ok      $name"; else echo "FAILED  $name"; failures=$((failures + 1)); fi
}

# Every file the package must hold, and nothing outside /usr.
expected_files() {
    local listing
    listing=$(dpkg-deb -c "$deb" | awk '{print $6}')
    local path missing=0
    for path in usr/bin/tamboro usr/bin/tamboro-scan \
        usr/share/applications/tamboro.desktop \
        usr/share/icons/hicolor/16x16/apps/tamboro.png usr/share/icons/hicolor/32x32/apps/tamboro.png \
        usr/share/icons/hicolor/256x256/apps/tamboro.png usr/share/icons/hicolor/scalable/apps/tamboro.svg \
        usr/share/man/man1/tamboro.1.gz usr/share/man/man1/tamboro-scan.1.gz \
        usr/share/bash-completion/completions/tamboro-scan \
        usr/share/doc/tamboro/copyright usr/share/doc/tamboro/changelog.gz; do
        grep -qx "\./$path" <<<"$listing" || { echo "  missing: $path"; missing=1; }
    done
    grep -q '^\./usr/share/metainfo/.*\.metainfo\.xml$' <<<"$listing" || { echo "  missing: metainfo"; missing=1; }
    if grep -v '^\./usr/' <<<"$listing" | grep -vqx '\./'; then echo "  files outside /usr"; missing=1; fi
    return $missing
}

# libcurl4 is named by hand: the programs open libcurl.so.4 only to fetch a
# table, so dpkg-shlibdeps does not see it.
depends_on_libraries_and_fonts() {
    local depends
    depends=$(dpkg-deb -f "$deb" Depends)
    echo "  Depends: $depends"
    [[ $depends == *"fonts-ipafont-gothic | fonts-noto-cjk"* && $depends == *fonts-nanum* && $depends == *qt6-qpa-plugins* &&
       $depends == *libqt6widgets6* && $depends == *libicu* && $depends == *libssl3* && $depends == *libsqlite3* &&
       $depends == *libcurl4* ]] &&
        [[ $(dpkg-deb -f "$deb" Recommends) == *xdg-utils* &&
           $(dpkg-deb -f "$deb" Recommends) == *qt6-translations-l10n* ]]
}

# The programs from the scratch root print what the build's programs print.
installed_scan_runs() {
    local root=$scratch/root
    dpkg -x "$deb" "$root"
    [ "$("$root/usr/bin/tamboro-scan" --version)" = "tamboro-scan $version" ] || return 1
    "$root/usr/bin/tamboro-scan" "$src/samples/library" >"$scratch/installed.txt"
    "$build/cli/tamboro-scan" "$src/samples/library" >"$scratch/built.txt"
    [ -s "$scratch/installed.txt" ] && cmp -s "$scratch/installed.txt" "$scratch/built.txt"
}

# appstreamcli prints notes (I:, W:, E:) only when there is something to say.
appstream_silent() {
    local out
    out=$(appstreamcli validate --no-net "$scratch"/root/usr/share/metainfo/*.metainfo.xml 2>&1) || { echo "$out"; return 1; }
    ! grep -E '^[IWE]:' <<<"$out" || return 1
    appstreamcli validate-tree --no-net "$scratch/root" >/dev/null
}

desktop_entry_valid() {
    local out
    out=$(desktop-file-validate "$scratch/root/usr/share/applications/tamboro.desktop" 2>&1) && [ -z "$out" ] || { echo "$out"; return 1; }
}

man_pages_clean() {
    local page out
    for page in "$scratch"/root/usr/share/man/man1/*.1.gz; do
        out=$(zcat "$page" | groff -man -ww -z 2>&1) && [ -z "$out" ] || { echo "$out"; return 1; }
        MANWIDTH=80 man -l "$page" 2>&1 >/dev/null | grep . && return 1
        MANWIDTH=80 man -l "$page" | grep -q '^EXIT STATUS' || return 1
    done
}

lintian_no_errors() {
    lintian --fail-on error "$deb" 2>&1 | grep -v 'root privileges' | sed 's/^/  /'
    return "${PIPESTATUS[0]}"
}

check "package file list" expected_files
check "package dependencies" depends_on_libraries_and_fonts
check "installed tamboro-scan on the sample library" installed_scan_runs
check "appstreamcli validate --no-net" appstream_silent
check "desktop-file-validate" desktop_entry_valid
check "manual pages (groff -man -ww -z, man -l)" man_pages_clean
check "lintian: no errors" lintian_no_errors
echo "package: $deb"
exit $((failures > 0))
