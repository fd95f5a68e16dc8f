#!/usr/bin/env bash
# Usage: wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
# Runs a Windows program under Wine without any question on screen. Wine makes PREFIX on first
# use. Carriage returns are dropped from the program's output, so that what reads it (GoogleTest's
# test listing) sees the same lines as from a Linux build.
set -o pipefail
export WINEPREFIX="$1"
shift
export WINEDEBUG=-all
# No offer to download Mono or Gecko when the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
wine "$@" | tr -d '\r'
