#!/usr/bin/env bash
# Usage: wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
# Runs a Windows program under Wine, in the Wine prefix PREFIX (made on first use), without any
# question on screen.
#
# The program runs as on a Japanese Windows: ANSI code page 932 holds neither accented letters nor
# emoji, and system messages come in Japanese, so text that passes through the narrow code page
# instead of UTF-8 shows. Wine needs the host locale to exist to keep the host's file names in
# UTF-8; it is compiled beside the prefix, since a fresh machine has none but C.
#
# Carriage returns are dropped from the program's output, so that what reads it (GoogleTest's
# test listing) sees the same lines as from a Linux build.
set -eo pipefail
prefix="$1"
shift
locales="$prefix-locales"
if [ ! -d "$locales/ja_JP.UTF-8" ]; then
    mkdir -p "$locales"
    localedef -i ja_JP -f UTF-8 "$locales/ja_JP.UTF-8.$$"
    mv -T "$locales/ja_JP.UTF-8.$$" "$locales/ja_JP.UTF-8" 2>/dev/null ||
        rm -rf "$locales/ja_JP.UTF-8.$$"
fi
# No offer to download Mono or Gecko when the prefix is made.
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    LOCPATH="$locales" LC_ALL=ja_JP.UTF-8
# Qt writes a test's log to a pipe only when told to, and Wine passes no QT_ variable from the
# host, so the prefix's own environment tells it.
if [ ! -f "$prefix/.qt-logs-to-pipe" ]; then
    wine reg add 'HKCU\Environment' /v QT_FORCE_STDERR_LOGGING /d 1 /f >/dev/null 2>&1
    touch "$prefix/.qt-logs-to-pipe"
fi
wine "$@" | tr -d '\r'
