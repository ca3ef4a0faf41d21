#!/usr/bin/env bash
# The bash completion of tamboro-scan, driven as bash drives it: options
# (every one `--help` lists), --sort columns, --columns names and --types
# endings after a comma, and only folders for the root.
#   bash_completion_test.sh COMPLETION_FILE TAMBORO_SCAN
set -uo pipefail
source /usr/share/bash-completion/bash_completion
source "$1"
scan=$2

complete_words() {  # the command line as words; the last one is being completed
    COMP_WORDS=("$@")
    COMP_CWORD=$(( $# - 1 ))
    COMP_LINE="$*"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _tamboro_scan tamboro-scan "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}

status=0
expect() {  # expect WHAT ACTUAL EXPECTED
    [ "$2" = "$3" ] || { echo "$1: got '$2', expected '$3'"; status=1; }
}

offered=" $(complete_words tamboro-scan --) "
for option in $("$scan" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u); do
    [[ $offered == *" $option "* ]] || { echo "option $option is not offered: $offered"; status=1; }
done
expect "--re" "$(complete_words tamboro-scan --re)" "--reverse "
expect "--sort" "$(complete_words tamboro-scan --sort '')" \
    "artist bpm difficulty file folder genre level md5 player rank sha256 subartist subtitle title total "
expect "--sort ti" "$(complete_words tamboro-scan --raw --sort ti)" "title "
expect "--columns after a comma" "$(complete_words tamboro-scan --columns title,s)" \
    "title,sha256 title,subartist title,subtitle "
expect "--types after a comma" "$(complete_words tamboro-scan --types bms,bm)" "bms,bme bms,bml bms,bms "

library=$(mktemp -d)
trap 'rm -rf "$library"' EXIT
mkdir "$library/Songs" "$library/Stage"
touch "$library/Song.bms"
cd "$library"
expect "root folders" "$(complete_words tamboro-scan --sort title S)" "Songs Stage "
exit $status
