#!/usr/bin/env bash
# The bash completion of dorvane-convert, driven as bash drives it: the words
# of a command line in COMP_WORDS, then the function, then COMPREPLY.
# Usage: completion.sh COMPLETION_FILE DORVANE_CONVERT
set -uo pipefail
# shellcheck disable=SC1090
source "$1"
convert=$2
failures=0

# complete WORD... : the candidates for the last word, sorted, one line.
complete_line() {
    COMP_WORDS=("$convert" "$@")
    COMP_CWORD=$#
    COMPREPLY=()
    _dorvane_convert
    printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
}

expect() {
    local want=$1
    shift
    local got
    got=$(complete_line "$@")
    if [[ $got != "$want" ]]; then
        printf 'FAIL: %s\n  want: %s\n  got:  %s\n' "$*" "$want" "$got"
        failures=$((failures + 1))
    fi
}

all_targets=$("$convert" --list-targets | awk '{print $1}' | sort | tr '\n' ' ' | sed 's/ $//')
[[ -n $all_targets ]] || { echo "no targets listed"; exit 1; }

# Targets after -t and --to, in both spellings, whole and by prefix.
expect "$all_targets" -t ""
expect "$all_targets" --to ""
expect "$all_targets" --to = ""
expect "openbox openbox-sx" --to = open
expect "wizard-hd" --ansi -t wi
# Options, and the ones that take a value completed up to their "=".
expect "--list-formats --list-groups --list-targets" --li
# Input formats after --from: the same names, asked of --list-formats.
expect "$all_targets" --from ""
expect "azbox" --from = az
expect "--codepage=" --co
expect "--quiet" --qu
expect "1250 1251 1252 1253 1254 1255 1256 1257 1258" --codepage 12
expect "" --match ""

# File names, with a blank in them, for INPUT and -o.
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
touch "$dir/news list.m3u" "$dir/news.m3u8" "$dir/other.txt"
cd "$dir" || exit 1
expect "news list.m3u news.m3u8" -t pls new
expect "news list.m3u news.m3u8" -o new
expect "other.txt" --output = oth
# Recipes: --recipe offers recipe files and folders, --save-recipe any name.
mkdir "$dir/recipes"
touch "$dir/tv.dorvane" "$dir/tv.m3u"
expect "recipes tv.dorvane" --recipe ""
# With --per-group, -o names the folder the bouquets are written into.
expect "recipes" --per-group -o ""
expect "tv.dorvane tv.m3u" --save-recipe tv
expect "--recipe=" --reci

if ((failures)); then
    echo "$failures completion case(s) failed"
    exit 1
fi
echo "all completion cases passed"
