#!/usr/bin/env bash
# The window's pictures are decoded with the system's libraries: PNG by Qt's
# own reader over libpng and zlib, JPEG by Qt's jpeg plugin over libjpeg, the
# icons by its ico plugin.
# Usage: image-libraries.sh PROGRAM JPEG_PLUGIN ICO_PLUGIN
set -euo pipefail
program=$1
jpeg_plugin=$2
ico_plugin=$3
loads() {
    # The whole list first: grep -q stopping early would kill ldd with SIGPIPE,
    # which pipefail turns into a failure.
    local libraries
    libraries=$(ldd "$1")
    if ! grep -q "/$2" <<<"$libraries"; then
        echo "$1 does not load $2:"
        echo "$libraries"
        exit 1
    fi
}
loads "$program" libQt6Gui.so
loads "$program" libpng16.so
loads "$program" libz.so
loads "$jpeg_plugin" libjpeg.so
[[ -f $ico_plugin ]] || { echo "no ico plugin at $ico_plugin"; exit 1; }
echo "$program: libpng, zlib; $jpeg_plugin: libjpeg; $ico_plugin present"
