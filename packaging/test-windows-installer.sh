#!/usr/bin/env bash
# Usage: test-windows-installer.sh INSTALLER [OLDER_INSTALLER]
# Installs Pallimor-<version>-setup.exe silently in a fresh Wine prefix on a virtual display,
# checks what it put in place, starts the installed program and closes its window, uninstalls
# silently and checks that nothing is left. With OLDER_INSTALLER, that one is installed first,
# so the checks also show that an upgrade leaves none of the older version's files.
# Prints one line per check and ends with a non-zero status at the first failure.
# Needs the Debian packages wine, wine64, xvfb, xauth and xdotool.
set -euo pipefail
[ $# -ge 1 ] || { sed -n "2s/^# //p" "$0" >&2; exit 2; }

if [ -z "${PALLIMOR_ON_XVFB:-}" ]; then
    PALLIMOR_ON_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi

installer=$(realpath "$1")
older=${2:+$(realpath "$2")}
version=$(basename "$installer" | sed -n 's/^Pallimor-\(.*\)-setup\.exe$/\1/p')

export WINEPREFIX
WINEPREFIX=$(mktemp -d /tmp/pallimor-wine.XXXXXX)
# Nothing asks to download Mono or Gecko, and the shortcut makes no menu entry on the host.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
cleanup() {
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

pass() { echo "ok   $*"; }
fail() {
    echo "FAIL $*"
    exit 1
}
check() { # check DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@"; then pass "$what"; else fail "$what"; fi
}
# Runs a command until it succeeds, for at most $1 seconds.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.5
    done
}

program_dir="$WINEPREFIX/drive_c/Program Files/Pallimor"
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Pallimor.lnk"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pallimor'
reg_value() { wine reg query "$key" /v "$1" /reg:64 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$1 *REG_[A-Z_]* *//p"; }
has_key() { wine reg query "$key" /reg:64 >/dev/null 2>&1; }
# Only a window on screen takes the focus; Wine makes it a moment before it maps it.
window() { xdotool search --onlyvisible --name '^Pallimor$' 2>/dev/null | head -n 1; }
has_window() { [ -n "$(window)" ]; }
# Alt+F4 reaches the window as a user's would, and Windows turns it into a request to close.
close_window() { xdotool windowfocus --sync "$1" && xdotool key --clearmodifiers alt+F4; }
close_visible_window() { close_window "$(window)" 2>/dev/null; }
gone() { [ ! -e "$program_dir" ] && [ ! -e "$shortcut" ] && ! has_key; }
ended() { ! kill -0 "$1" 2>/dev/null; }
since() { awk -v from="$1" -v to="$EPOCHREALTIME" 'BEGIN { printf "%.1f s", to - from }'; }

[ -n "$version" ] || fail "$installer is not named Pallimor-<version>-setup.exe"
wineboot --init >/dev/null 2>&1 || true
check "fresh Wine prefix in $WINEPREFIX" test -d "$WINEPREFIX/drive_c/windows"

if [ -n "$older" ]; then
    check "older version installed: $(basename "$older")" wine "$older" /S
fi
start=$EPOCHREALTIME
check "silent install of $(basename "$installer")" wine "$installer" /S
echo "     (install took $(since "$start"))"

files=$(find "$program_dir" -mindepth 1 -maxdepth 1 -printf '%f\n' 2>/dev/null | sort |
    paste -sd ' ' || true)
check "exactly pallimor.exe, LICENSE.txt and uninstall.exe installed: $files" \
    test "$files" = "LICENSE.txt pallimor.exe uninstall.exe"
check "Start-menu shortcut for all users" test -s "$shortcut"
check "uninstall entry $key" has_key
check "DisplayName is Pallimor" test "$(reg_value DisplayName)" = Pallimor
check "DisplayVersion is $version" test "$(reg_value DisplayVersion)" = "$version"
check "Publisher is The Pallimor developers" test "$(reg_value Publisher)" = "The Pallimor developers"
check "DisplayIcon is the program" \
    test "$(reg_value DisplayIcon)" = 'C:\Program Files\Pallimor\pallimor.exe,0'
size=$(reg_value EstimatedSize)
check "EstimatedSize is $((size)) KiB" test "$((size))" -gt 0
check "NoModify and NoRepair are 1" \
    test "$(reg_value NoModify) $(reg_value NoRepair)" = "0x1 0x1"
check "UninstallString names the uninstaller" \
    test "$(reg_value UninstallString)" = '"C:\Program Files\Pallimor\uninstall.exe"'
quiet='"C:\Program Files\Pallimor\uninstall.exe" /S'
check "QuietUninstallString is $quiet" test "$(reg_value QuietUninstallString)" = "$quiet"

wine 'C:\Program Files\Pallimor\pallimor.exe' &
pid=$!
check "installed pallimor.exe shows a window titled Pallimor" wait_for 60 has_window
check "Alt+F4 typed into the window" wait_for 10 close_visible_window
check "window closed with Alt+F4 and the program ended" wait_for 30 ended "$pid"
status=0
wait "$pid" || status=$?
check "program ended with status 0" test "$status" = 0

# The uninstaller runs a copy of itself and returns at once, so its effect is waited for.
start=$EPOCHREALTIME
check "silent uninstaller started" wine 'C:\Program Files\Pallimor\uninstall.exe' /S
check "silent uninstall removed the program folder, shortcut and uninstall entry" \
    wait_for 60 gone
echo "     (uninstall took $(since "$start"))"
