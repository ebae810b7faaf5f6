# Bash completion for dorvane-convert: its options, the targets (asked of the
# program itself, so they are always those it knows), the code pages and file
# names.

_dorvane_convert() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    # "--to=we" comes as "--to" "=" "we" (COMP_WORDBREAKS holds "=").
    if [[ $cur == = ]]; then
        cur=
    elif [[ $prev == = ]] && ((COMP_CWORD > 1)); then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    fi

    case $prev in
    -t | --to | --from)
        local program=${COMP_WORDS[0]}
        local names list=--list-targets
        [[ $prev == --from ]] && list=--list-formats
        names=$("$program" $list 2>/dev/null | while read -r name _; do
            printf '%s\n' "$name"
        done)
        mapfile -t COMPREPLY < <(compgen -W "$names" -- "$cur")
        return
        ;;
    --input-encoding)
        mapfile -t COMPREPLY < <(compgen -W "UTF-8 UTF-16LE UTF-16BE 1250 1251 1252 1253 1254 1255 1256 1257 1258 866 KOI8-R KOI8-U ISO-8859-5" -- "$cur")
        return
        ;;
    --codepage)
        mapfile -t COMPREPLY < <(compgen -W "1250 1251 1252 1253 1254 1255 1256 1257 1258 874 932 936 949 950" -- "$cur")
        return
        ;;
    --enigma2-type)
        mapfile -t COMPREPLY < <(compgen -W "4097 5001 5002" -- "$cur")
        return
        ;;
    --bouquet-name)
        return
        ;;
    --stream-format)
        mapfile -t COMPREPLY < <(compgen -W "ts m3u8" -- "$cur")
        return
        ;;
    -o | --output | --save-recipe | --password-file | --box-password-file | --guide | --guide-out)
        compopt -o filenames 2>/dev/null
        # With --per-group, -o names the folder the bouquets are written into.
        local word kind=-f
        if [[ $prev == -o || $prev == --output ]]; then
            for word in "${COMP_WORDS[@]}"; do
                [[ $word == --per-group ]] && kind=-d
            done
        fi
        mapfile -t COMPREPLY < <(compgen "$kind" -- "$cur")
        return
        ;;
    --recipe)
        # Recipe files, and folders to find them in.
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -d -- "$cur"; compgen -f -X '!*.dorvane' -- "$cur")
        return
        ;;
    --group | --exclude-group | --match | --timeout | --max-time | --provider | --user | --send-to | --prefix | --reload-url)
        # Free text: nothing to offer.
        COMPREPLY=()
        return
        ;;
    esac

    if [[ $cur == -* ]]; then
        local options="-t --to --ansi --bom --no-bom --enigma2-type --bouquet-name --codepage -o --output -q --quiet --group
            --exclude-group --match --dedupe --list-groups --timeout --max-time --list-targets
            --from --input-encoding --list-formats --recipe --save-recipe
            --accept-gone --forget-gone --verbose --store-password
            --provider --user --password-file --movies --no-live --stream-format
            --send-to --box-password-file --box-accept-new-host-key --per-group
            --prefix --reload-url --no-reload
            --guide --guide-out --guide-partial-ok
            -h --help --version"
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
        # "--to=" and its like wait for their value without a blank.
        if ((${#COMPREPLY[@]} == 1)) && [[ ${COMPREPLY[0]} == --@(to|from|input-encoding|codepage|output|group|exclude-group|match|timeout|max-time|recipe|save-recipe|provider|user|password-file|stream-format|send-to|box-password-file|prefix|reload-url|guide|guide-out) ]]; then
            COMPREPLY[0]+="="
            compopt -o nospace 2>/dev/null
        fi
        return
    fi
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
}
complete -F _dorvane_convert dorvane-convert
