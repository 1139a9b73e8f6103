#!/bin/sh
# Starts the show: tools/launch.sh GLOWCAM [ARGS...].
# Without a display there is nothing to show the window on, so it renders a
# 10 s preview into ./glowcam-preview instead and says where.
glowcam="$1"
shift
if [ -z "$DISPLAY" ] && [ -z "$WAYLAND_DISPLAY" ]; then
    echo "glowcam: no display found (DISPLAY is not set), so rendering a 10 s preview into $(pwd)/glowcam-preview instead" >&2
    "$glowcam" --render glowcam-preview --duration 10 --size 640x480 "$@" || exit $?
    echo "glowcam: the preview is in $(pwd)/glowcam-preview (--render FILE.webm makes one video with its music instead)" >&2
    exit 0
fi
exec "$glowcam" "$@"
