#!/usr/bin/env bash
# The systemd timer of dorvane-convert(1) is one systemd takes: its service
# and timer, as the page shows them, pass systemd-analyze verify, and the
# service runs the program from where this build installs it. Skipped (77)
# where systemd is not there.
# Usage: man-timer.sh PAGE BINDIR DORVANE_CONVERT
set -euo pipefail
page=$1 bindir=$2 convert=$3
command -v systemd-analyze >/dev/null || { echo "no systemd-analyze: skipped"; exit 77; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# The example that follows the unit's file name, between .EX and .EE, with
# roff's escapes undone.
example() {
    awk -v name="$1" '
        index($0, name) { found = 1; next }
        found && $0 == ".EX" { inside = 1; next }
        inside && $0 == ".EE" { exit }
        inside { print }
    ' "$page" | sed -e 's/\\-/-/g' -e "s/\\\\(aq/'/g" -e 's/\\e/\\/g'
}
example 'dorvane\-bouquet.service' >"$dir/dorvane-bouquet.service"
example 'dorvane\-bouquet.timer' >"$dir/dorvane-bouquet.timer"
for unit in service timer; do
    [[ -s $dir/dorvane-bouquet.$unit ]] || { echo "$page: no $unit unit"; exit 1; }
done

service=$dir/dorvane-bouquet.service
grep -qx "ExecStart=$bindir/dorvane-convert .*" "$service" ||
    { echo "$page: the service does not run $bindir/dorvane-convert"; cat "$service"; exit 1; }
grep -q '^EnvironmentFile=' "$service" || { echo "$page: no EnvironmentFile="; exit 1; }
grep -q 'loginctl enable\\-linger' "$page" || { echo "$page: loginctl enable-linger unmentioned"; exit 1; }

# Verified with the program built here in the installed one's place, which
# need not be there yet.
sed -i "s|^ExecStart=$bindir/dorvane-convert|ExecStart=$convert|" "$service"
systemd-analyze verify "$service" "$dir/dorvane-bouquet.timer"
