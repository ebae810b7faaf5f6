#!/usr/bin/env bash
# Starts the installed program on a virtual display, finds its window, takes a
# screenshot of it, closes it with Alt+F4 and checks that it ends cleanly.
# Usage: smoke.sh BUILD_DIR OUTPUT_DIR
set -euo pipefail
build=$1
out=$2
prefix=$out/prefix
rm -rf "$prefix"
mkdir -p "$out"
cmake --install "$build" --prefix "$prefix" >/dev/null

export HOME=$out/home # no skin, no settings of the user running the tests
mkdir -p "$HOME"
unset QT_QPA_PLATFORM

# The client area is 460 high with the eleven designed targets, and one row of
# 25 pixels higher for each target after them.
targets=$("$prefix/bin/dorvane-convert" --list-targets | wc -l)
client_height=$((460 + 25 * (targets - 11)))

# The installed dorvane-convert finds its download module: an address nothing
# listens at fails for the network's reason, not for a missing module.
if message=$("$prefix/bin/dorvane-convert" --to pls http://127.0.0.1:9/list.m3u 2>&1); then
    echo "a download from a closed port succeeded"; exit 1
fi
[[ $message != *"module could not be loaded"* ]] || { echo "$message"; exit 1; }

xvfb-run -a -s "-screen 0 1280x900x24" bash -s "$prefix/bin/dorvane" "$out" "$client_height" <<'INNER'
set -euo pipefail
program=$1
out=$2
client_height=$3
"$program" &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
window=$(timeout 20 xdotool search --sync --name '^Dorvane$' | head -n 1)
eval "$(xdotool getwindowgeometry --shell "$window")"
echo "window $window: ${WIDTH}x${HEIGHT} at $X,$Y"
import -window "$window" "$out/smoke.png"
# The client area is 851 wide below the menu bar, which Qt draws inside the
# window: the width is exact, the height holds the menu bar as well.
[[ $WIDTH -eq 851 ]] || { echo "width $WIDTH, expected 851"; exit 1; }
[[ $HEIGHT -ge $client_height && $HEIGHT -le $((client_height + 40)) ]] ||
    { echo "height $HEIGHT, expected $client_height plus the menu bar"; exit 1; }
xdotool windowfocus --sync "$window" 2>/dev/null || true
xdotool key --clearmodifiers alt+F4
for _ in $(seq 100); do
    kill -0 $pid 2>/dev/null || break
    sleep 0.1
done
if kill -0 $pid 2>/dev/null; then
    echo "the window did not close on Alt+F4"
    exit 1
fi
trap - EXIT
wait $pid
status=$?
echo "exit status $status"
exit $status
INNER
echo "screenshot: $out/smoke.png"
