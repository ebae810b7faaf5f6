#!/usr/bin/env bash
# Checks that the desktop entries in APPLICATIONS_DIR (the source's packaging/
# or an unpacked package's usr/share/applications) offer Dorvane for
# playlists without taking them from a player: alone, Dorvane is the handler;
# beside a player's entry, the player stays the default and Dorvane is still
# among the handlers. xdg-mime is asked as outside any desktop (its generic
# rules), over a scratch data folder built as update-desktop-database builds
# the system's.
# Usage: mime-default.sh APPLICATIONS_DIR
set -euo pipefail
source_dir=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
apps=$scratch/share/applications
mkdir -p "$apps" "$scratch/home" "$scratch/config"
cp "$source_dir"/*.desktop "$apps/"

query() {
    update-desktop-database "$apps"
    env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION -u KDE_FULL_SESSION -u GNOME_DESKTOP_SESSION_ID \
        -u XDG_DATA_HOME -u XDG_CONFIG_HOME \
        HOME="$scratch/home" XDG_DATA_DIRS="$scratch/share" XDG_CONFIG_DIRS="$scratch/config" \
        xdg-mime query default "$1"
}
handlers() {
    sed -n "s|^$1=||p" "$apps/mimeinfo.cache"
}

status=0
types=(audio/x-mpegurl audio/mpegurl application/vnd.apple.mpegurl application/x-mpegurl)
for type in "${types[@]}"; do
    got=$(query "$type")
    if [[ $got != *dorvane* ]]; then
        echo "FAIL: alone, $type opens with \"$got\", not Dorvane"
        status=1
    fi
done

# A player claiming the same types, named as the common one is.
cat >"$apps/vlc.desktop" <<'ENTRY'
[Desktop Entry]
Type=Application
Name=Player
Exec=true %U
MimeType=audio/x-mpegurl;audio/mpegurl;application/vnd.apple.mpegurl;application/x-mpegurl;
ENTRY
for type in "${types[@]}"; do
    got=$(query "$type")
    if [[ $got != vlc.desktop ]]; then
        echo "FAIL: beside a player, $type opens with \"$got\", not the player"
        status=1
    fi
    if [[ $(handlers "$type") != *dorvane* ]]; then
        echo "FAIL: beside a player, Dorvane is not offered for $type: $(handlers "$type")"
        status=1
    fi
done
if ((status == 0)); then
    echo "playlists: Dorvane offered, a player's default kept"
fi
exit $status
