#!/usr/bin/env bash
# Runs a command with a Wine server and prefix already up, then stops the server.
#   tools/wine-session.sh BUILD_DIR COMMAND...
# Started on demand, Wine's helper processes inherit the first program's output
# and keep CTest (or make) waiting for it to close; started here, their output
# goes nowhere. The prefix lives in the build folder and is made once.
set -euo pipefail
build_dir=$1
shift
wine_dir=/usr/lib/wine
mkdir -p "$build_dir/wine-prefix"
export WINEPREFIX="$(cd "$build_dir" && pwd)/wine-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINESERVER="$wine_dir/wineserver"

"$wine_dir/wineserver" -p </dev/null >/dev/null 2>&1
trap '"$wine_dir/wineserver" -k </dev/null >/dev/null 2>&1 || true' EXIT
"$wine_dir/wine64" wineboot --init </dev/null >/dev/null 2>&1
"$@"
