#!/bin/sh
# Builds the reference renderer for the host (not i386: it runs where i386 programs only run
# under an emulator) and draws the reference pictures with it.
#   make_pictures.sh HOST_CC SOURCE_DIR OUT_DIR
set -eu
cc=$1 src=$2 out=$3
mkdir -p "$out"
if ! echo '#include <GL/osmesa.h>' | "$cc" -E -x c - >/dev/null 2>&1; then
    echo "make_pictures: Mesa's OSMesa for the host is not installed: run tools/install-osmesa" >&2
    exit 1
fi
"$cc" -std=c99 -O1 -Wall -Wextra -Werror -o "$out/refgen" "$src/refgen.c" "$src/scenes.c" -lOSMesa -lm
rm -f "$out"/*.rgb
# The floating-point software rasteriser, one thread: no compiler runs per context.
GALLIUM_DRIVER=softpipe LP_NUM_THREADS=0 "$out/refgen" "$out"
