#!/usr/bin/env bash
# Makes docs/window.png: the real program on a virtual display, after one sort run that a
# user would make by hand, so the picture shows the window as it is used. A Windows program
# (PROGRAM.exe) runs under Wine, in a fresh prefix given a CJK font from Debian.
# Usage: tools/screenshot.sh PROGRAM OUTPUT.png
set -euo pipefail

program=$(realpath "$1")
output=$(realpath -m "$2")

# Run the rest on a display of our own, whatever display the caller has.
if [ -z "${PALLIMOR_SCREENSHOT_DISPLAY:-}" ]; then
    PALLIMOR_SCREENSHOT_DISPLAY=1 exec xvfb-run --auto-servernum \
        --server-args="-screen 0 1024x768x24" "$0" "$@"
fi

scratch=$(mktemp -d)
app_pid=
cleanup() {
    if [ -n "$app_pid" ]; then
        kill "$app_pid" 2>/dev/null || true
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

# A directory that needs tidying: something for most categories, plus files that stay put.
sample="$scratch/Downloads"
mkdir -p "$sample"
for name in report.pdf notes.txt photo.JPG été.png 日本語.pdf song.mp3 clip.mp4 main.cpp \
    setup.exe link.lnk README archive.xyz desktop.ini .hidden; do
    printf '%s\n' "$name" >"$sample/$name"
done
mkdir -p "$sample/Images/Png"
printf 'kept\n' >"$sample/Images/Png/été.png"

if [[ $program == *.exe ]]; then
    export WINEPREFIX="$scratch/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    wineboot -i >/dev/null 2>&1
    cp /usr/share/fonts/truetype/wqy/wqy-microhei.ttc "$WINEPREFIX/drive_c/windows/Fonts/"
    typed=$(winepath -w "$sample")
    launch=(wine "$program")
else
    typed=$sample
    launch=(env QT_QPA_PLATFORM=xcb "$program")
fi

# Wait until a top-level window with this exact title is mapped, and print its id.
window_named() {
    local id
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    echo "no window named '$1' appeared" >&2
    return 1
}

# Without a window manager, keyboard focus follows the pointer.
click() {
    xdotool mousemove --window "$window" "$1" "$2" click 1
    sleep 0.3
}

cd "$scratch"
"${launch[@]}" &
app_pid=$!
window=$(window_named Pallimor)
sleep 1

click 400 69 # the directory field
xdotool type --delay 5 "$typed"
click 60 123 # "All": untick every category, so that all of them are sorted
click 60 363 # "Executables": tick it again, so that setup.exe stays
click 826 69 # the start button

confirmation=$(window_named Confirmation)
xdotool mousemove --window "$confirmation" 10 10
xdotool key Return # Yes is the question's default button
for _ in $(seq 50); do
    xdotool search --onlyvisible --name '^Confirmation$' >/dev/null 2>&1 || break
    sleep 0.1
done
# A picture of a run that went astray would mislead, so check the folder first.
if [ ! -e "$sample/Documents/Pdf/日本語.pdf" ] || [ ! -e "$sample/Images/Png/été1.png" ] ||
    [ ! -e "$sample/setup.exe" ]; then
    echo "the sort run did not go as planned; no picture taken" >&2
    exit 1
fi

xdotool mousemove 1000 750 # away from the window, so that nothing shows hover
sleep 1
mkdir -p "$(dirname "$output")"
import -window "$window" -strip "$output"
echo "Wrote $output"
