#!/usr/bin/env bash
# Installs the Debian packages Nivolo needs to build and test, if any is missing
# (the ffmpeg command makes the tests' media files).
set -euo pipefail

packages=(
  make cmake g++ binutils
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev
  pkg-config
  libavformat-dev libavcodec-dev libavutil-dev libswresample-dev
  ffmpeg
  libebur128-dev
  libpugixml-dev libcairo2-dev fonts-liberation
  libsdl2-dev
  # The live meter's tests: a virtual X display and clicks through it.
  xvfb xauth xdotool
)

# make check also builds the fuzz targets with clang and libFuzzer; make windows
# cross-compiles with mingw-w64 (posix threads) and runs the tests under Wine.
case "${1:-}" in
  --check) packages+=(clang libclang-rt-14-dev) ;;
  --windows)
    packages=(make cmake binutils googletest
              g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev wine64) ;;
  "") ;;
  *) echo "install-deps: unknown option '$1' (--check or --windows)" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1; then
  sudo=(sudo)
else
  echo "install-deps: need root (or sudo) to install: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
