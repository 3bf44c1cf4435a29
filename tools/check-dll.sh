#!/usr/bin/env bash
# Checks a built nivolo.dll from the build machine, as a host would find it:
#   - it exports exactly InitDll, ExitDll and GetPluginFactory;
#   - it imports only Windows' own DLLs (the C and C++ runtimes are linked in);
#   - it carries RCDATA "NIVOLO.HRF" of language 1033 (English, United States)
#     whose bytes are the packed skin file, and that file is the Linux build's
#     one when a Linux build is there to compare with.
#   tools/check-dll.sh OBJDUMP DLL PACKED_FILE [LINUX_PACKED_FILE]
set -euo pipefail
objdump=$1 dll=$2 packed=$3 linux_packed=${4:-}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

headers=$("$objdump" -p "$dll")

# ---- Exports: the name table, one "[ n] Name" line per export.
exports=$(awk '/^\[Ordinal\/Name Pointer\] Table/ {on = 1; next} on && NF == 0 {on = 0} on {print $NF}' <<<"$headers" | sort | tr '\n' ' ')
if [ "$exports" != "ExitDll GetPluginFactory InitDll " ]; then
  fail "exports are '$exports', not exactly ExitDll GetPluginFactory InitDll"
fi

# ---- Imports: every DLL named must be one Windows itself ships.
windows_dlls=' kernel32.dll msvcrt.dll ole32.dll oleaut32.dll advapi32.dll user32.dll ucrtbase.dll '
while read -r name; do
  lower=$(tr 'A-Z' 'a-z' <<<"$name")
  case "$windows_dlls" in
    *" $lower "*) ;;
    *) [[ $lower == api-ms-win-* ]] || fail "imports $name, which Windows does not ship" ;;
  esac
done < <(awk '/DLL Name:/ {print $3}' <<<"$headers")

# ---- The resource: type 10 (RCDATA), name NIVOLO.HRF, language 0x409 = 1033.
resources=$(sed -n '/The .rsrc Resource Directory section/,$p' <<<"$headers")
leaf=$(awk '
  /Entry: ID: 0x00000a,/ {type = 1; next}
  /Entry: ID:/ && !named {type = 0}
  type && /Entry: name:.*: NIVOLO.HRF,/ {named = 1; next}
  named && /Entry: ID: 0x000409,/ {lang = 1; next}
  lang && /Leaf: Addr:/ {gsub(",", ""); for (f = 1; f < NF; ++f) if ($f == "Addr:" || $f == "Size:") printf "%s ", $(f + 1); print ""; exit}' <<<"$resources")
if [ -z "$leaf" ]; then
  fail "no RCDATA resource NIVOLO.HRF of language 1033"
else
  read -r rva size <<<"$leaf"
  base=$(awk '/^ImageBase/ {print $2}' <<<"$headers")
  start=$((0x$base + rva))
  if [ $((size)) -ne "$(stat -c %s "$packed")" ]; then
    fail "the resource holds $((size)) bytes, the packed file $(stat -c %s "$packed")"
  else
    # The section's bytes at the resource's addresses, one hex byte a line.
    resource_bytes=$("$objdump" -s -j .rsrc --start-address=$start --stop-address=$((start + size)) "$dll" |
      awk -v size=$((size)) '$1 ~ /^[0-9a-f]+$/ && NF >= 2 {
        for (g = 2; g <= 5 && $g ~ /^[0-9a-f]+$/; ++g)
          for (i = 1; i < length($g) && printed < size; i += 2) { print substr($g, i, 2); ++printed }
      }')
    file_bytes=$(od -An -v -tx1 "$packed" | tr -s ' ' '\n' | sed '/^$/d')
    [ "$resource_bytes" = "$file_bytes" ] || fail "the resource's bytes differ from $packed"
  fi
fi

if [ -n "$linux_packed" ]; then
  if [ -f "$linux_packed" ]; then
    cmp -s "$packed" "$linux_packed" || fail "$packed differs from the Linux build's $linux_packed"
  else
    echo "note: no Linux build's packed file at $linux_packed to compare with"
  fi
fi

[ "$failures" -eq 0 ] || exit 1
echo "nivolo.dll: exports InitDll, ExitDll, GetPluginFactory; imports only Windows DLLs; RCDATA NIVOLO.HRF (1033), $((size)) bytes as packed"
