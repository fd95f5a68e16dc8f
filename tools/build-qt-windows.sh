#!/usr/bin/env bash
# Usage: build-qt-windows.sh [--prefix]
# Builds static Qt 6.4.2 for 64-bit Windows from Debian's own qt6-base source with mingw-w64 and
# Debian's host Qt as the build tools, into a cache outside the clone, and prints its path last.
# A finished build is reused; a change to this recipe or to the toolchain file builds afresh.
# With --prefix it only prints where the build is or will be.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
toolchain="$here/cmake/mingw-w64-x86_64.cmake"
version=6.4.2
recipe_hash="$(cat "$0" "$toolchain" | sha256sum | cut -c1-10)"
cache="${XDG_CACHE_HOME:-$HOME/.cache}/pallimor"
prefix="$cache/qt-$version-mingw-$recipe_hash"

if [ "${1:-}" = --prefix ]; then
    echo "$prefix"
    exit 0
fi

stage_start=$SECONDS
stage() {
    echo "qt-windows: $1 (after $((SECONDS - stage_start)) s)" >&2
}

mkdir -p "$cache"
exec 9>"$cache/qt-build.lock"
flock 9
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo

source_dir="$cache/src/qtbase-everywhere-src-$version"
if [ ! -d "$source_dir" ]; then
    stage "downloading Debian's qt6-base source"
    if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ &&
        ! grep -qs '^deb-src' /etc/apt/sources.list; then
        printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm\n%s\n%s\n' \
            'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' |
            $sudo tee /etc/apt/sources.list.d/pallimor-deb-src.sources >/dev/null
        $sudo apt-get -o DPkg::Lock::Timeout=900 update -qq
    fi
    download="$cache/src/download"
    rm -rf "$download" && mkdir -p "$download"
    (cd "$download" && apt-get source --download-only qt6-base >/dev/null 2>&1)
    stage "unpacking"
    tar -C "$cache/src" -xf "$download"/qt6-base_"$version"*.orig.tar.xz
    rm -rf "$download"
fi

build_dir="$cache/build-$recipe_hash"
rm -rf "$build_dir" "$prefix"
stage "configuring into $prefix"
# Only what the window and its tests use is built: Core, Gui, Widgets and Test, the windows and
# offscreen platforms, the Windows styles, and accessibility, which is what Narrator reads. Debian's
# source lacks the Wacom tablet headers, and with OpenGL off the windows platform would still build
# its dynamic-GL branch.
cmake -S "$source_dir" -B "$build_dir" -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
    -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
    -DFEATURE_dynamicgl=OFF -DFEATURE_direct2d=OFF -DFEATURE_directwrite3=OFF \
    -DFEATURE_tabletevent=OFF -DFEATURE_accessibility=ON \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
    -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
    -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_pdf=OFF -DFEATURE_movie=OFF \
    -DFEATURE_textodfwriter=OFF -DFEATURE_textmarkdownreader=OFF \
    -DFEATURE_textmarkdownwriter=OFF \
    -DFEATURE_graphicsview=OFF -DFEATURE_graphicseffect=OFF -DFEATURE_mdiarea=OFF \
    -DFEATURE_calendarwidget=OFF -DFEATURE_datetimeedit=OFF -DFEATURE_colordialog=OFF \
    -DFEATURE_fontdialog=OFF -DFEATURE_fontcombobox=OFF -DFEATURE_wizard=OFF \
    -DFEATURE_undoview=OFF -DFEATURE_columnview=OFF -DFEATURE_lcdnumber=OFF \
    -DFEATURE_dial=OFF -DFEATURE_keysequenceedit=OFF >"$cache/configure-$recipe_hash.log"
stage "building (tens of minutes; log in $cache/build-$recipe_hash.log)"
cmake --build "$build_dir" >"$cache/build-$recipe_hash.log"
stage "installing"
cmake --install "$build_dir" >/dev/null
rm -rf "$build_dir"
touch "$prefix/.complete"
stage "done, $(du -sh "$prefix" | cut -f1)"
echo "$prefix"
