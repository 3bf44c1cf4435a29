#!/usr/bin/env bash
# nivolo-host.exe under Wine as a user runs it: info, measure of the built-in
# programme, and measure of raw samples piped in. Where a Linux build is there
# (make test first), its nivolo-host must print the same, the module's path aside.
#   tools/check-windows-host.sh WINE HOST_EXE [LINUX_HOST]
set -euo pipefail
wine=$1 host_exe=$2 linux_host=${3:-}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
windows() { "$wine" "$host_exe" "$@" | tr -d '\r'; }

# 10 s of stereo 1 kHz at -23 dBFS as raw 32-bit floats: it reads -23.0 LUFS.
sine() {
  perl -e 'my $a = 10 ** (-23 / 20); my $pi = 4 * atan2(1, 1);
           for my $n (0 .. 479999) { my $s = $a * sin(2 * $pi * 1000 * $n / 48000); print pack("f<f<", $s, $s) }'
}

info=$(windows info | grep -v '^Module: ')
measure=$(windows measure --json)
piped=$(sine | windows measure - --raw 48000 2 --json)

grep -q '^\[0\] {42613CDE-3556-4653-B0D4-0AD6BDC2AA79}$' <<<"$info" || fail "info shows no processor class: $info"
grep -q '"integrated": -' <<<"$measure" || fail "measure --json gave: $measure"
# A -23 dBFS sine reads -23.0 LUFS within the meter's 0.1 LU.
grep -qE '"file": "standard input", "sampleRate": 48000, "channels": 2, "seconds": 10.00, "unit": "LUFS", "integrated": -(23\.0|22\.9)[0-9],' \
  <<<"$piped" || fail "piped samples read: $piped"

if [ -n "$linux_host" ] && [ -x "$linux_host" ]; then
  [ "$info" = "$("$linux_host" info | grep -v '^Module: ')" ] || fail "info differs from the Linux build's"
  [ "$measure" = "$("$linux_host" measure --json)" ] || fail "measure --json differs from the Linux build's"
  [ "$piped" = "$(sine | "$linux_host" measure - --raw 48000 2 --json)" ] || fail "piped samples read differently on Linux"
else
  echo "note: no Linux build's nivolo-host to compare with"
fi

[ "$failures" -eq 0 ] || exit 1
echo "$measure"
echo "$piped"
