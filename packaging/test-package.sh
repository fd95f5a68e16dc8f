#!/usr/bin/env bash
# Installs the Debian package as a user would, starts the installed program, then removes the
# package and checks that nothing of it is left. It changes the system, so `make test` never
# runs it; CI does, on a machine of its own.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD:-build}
sudo=$([ "$(id -u)" = 0 ] || echo sudo)
apt_get() {
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 "$@"
}
fail() {
    echo "test-package: $*" >&2
    exit 1
}

make package BUILD="$build"
debs=("$build"/pallimor_*_amd64.deb)
[ ${#debs[@]} = 1 ] || fail "expected one package in $build, found: ${debs[*]}"
deb=$(realpath "${debs[0]}")

recommends=$(dpkg-deb -f "$deb" Recommends)
[ "$recommends" = fonts-symbola ] || fail "the package recommends '$recommends', not the font of the start button's glyph"

echo "== dpkg -c $deb"
dpkg -c "$deb"
mapfile -t files < <(dpkg -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }')
mapfile -t dirs < <(dpkg -c "$deb" | awk '$1 ~ /^d/ { sub(/^\./, "", $6); sub(/\/$/, "", $6); print $6 }')

apt_get install --reinstall -y "$deb"

for file in "${files[@]}"; do
    [ -f "$file" ] || fail "$file is in the package but was not installed"
done
entry=/usr/share/applications/io.github.pallimor.Pallimor.desktop
[ -f "$entry" ] || fail "no menu entry $entry"
[ -f /usr/share/metainfo/io.github.pallimor.Pallimor.metainfo.xml ] || fail "no metainfo"
# Start it the way the menu does, by the entry's Exec command.
program=$(sed -n 's/^Exec=//p' "$entry")
[ "$(command -v "$program")" = /usr/bin/pallimor ] || fail "Exec=$program is not the installed /usr/bin/pallimor"

# The program has no option that makes it quit, so it gets SIGTERM once it has had time to
# show its window: a crash or failed start ends it before that, with another status.
QT_QPA_PLATFORM=offscreen "$program" &
pid=$!
sleep 2
kill -0 "$pid" 2>/dev/null || {
    status=0
    wait "$pid" || status=$?
    fail "pallimor ended on its own with status $status"
}
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
[ "$status" = $((128 + 15)) ] || fail "pallimor ended with status $status after SIGTERM"
echo "pallimor started, ran and ended on SIGTERM"

apt_get remove --purge -y pallimor
if dpkg-query -W -f='${Status}' pallimor 2>/dev/null | grep -qv 'not-installed'; then
    fail "pallimor is still known to dpkg: $(dpkg-query -W -f='${Status}' pallimor)"
fi
for file in "${files[@]}"; do
    [ ! -e "$file" ] || fail "$file is left after removal"
done
# A folder of the package may stay only while another package owns it or it still holds files.
for dir in "${dirs[@]}"; do
    if [ -d "$dir" ] && ! dpkg -S "$dir" >/dev/null 2>&1 && [ -z "$(ls -A "$dir")" ]; then
        fail "empty folder $dir is left after removal"
    fi
done
echo "test-package: installed, started and removed cleanly"
