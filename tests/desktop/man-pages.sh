#!/usr/bin/env bash
# The manual pages render without a warning of groff's, and dorvane-convert(1)
# names every target the built program lists.
# Usage: man-pages.sh DORVANE_CONVERT PAGE...
set -euo pipefail
convert=$1
shift
status=0
for page in "$@"; do
    warnings=$(groff -man -ww -z -Tutf8 "$page" 2>&1 >/dev/null)
    if [[ -n $warnings ]]; then
        printf '%s:\n%s\n' "$page" "$warnings"
        status=1
    fi
    # What man shows, as text, for the checks below.
    text=$(groff -man -Tutf8 -P-c -P-b -P-u "$page" 2>/dev/null)
    [[ -n $text ]] || { echo "$page renders empty"; status=1; }
    if [[ $(basename "$page") == dorvane-convert.1 ]]; then
        while read -r name caption; do
            grep -qE "^ +$name( {2,}|$)" <<<"$text" || { echo "$page: target $name missing"; status=1; }
            grep -qF "$caption" <<<"$text" || { echo "$page: caption \"$caption\" missing"; status=1; }
        done < <("$convert" --list-targets)
    fi
done
exit $status
