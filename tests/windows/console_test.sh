#!/usr/bin/env bash
# varnel.exe writes text a console shows as characters: in a terminal (Wine gives the program a
# console on the pseudo-terminal that script(1) opens) and into a pipe, "Größe FS" from an ANSI
# wincmd.ini arrives as the UTF-8 of "Größe", never as its bytes read in a code page ("GrÃ¶ÃŸe").
#
# Usage: console_test.sh WINDOWS_BUILD     (WINEPREFIX set; exit 77: skipped, with the reason)
set -euo pipefail
build=$1
skip() { echo "skipped: $*"; exit 77; }
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64) || skip "no 64-bit Wine"
command -v script >/dev/null || skip "script(1) is needed for a terminal"
export WINEDEBUG=-all
host=$WINEPREFIX/drive_c/console-test
rm -rf "$host"
mkdir -p "$host"
cp "$build/bin/host_standin.exe" "$host/TOTALCMD.EXE"
printf '[Configuration]\r\n[FileSystemPlugins]\r\nGr\xf6\xdfe FS=C:\\console-test\\gr\xf6\xdfe.wfx\r\n' >"$host/wincmd.ini"
printf '[Paths]\r\nTCPath=C:\\console-test\\TOTALCMD.EXE\r\nIniPath=C:\\console-test\\wincmd.ini\r\n' >"$host/TC_varnel.ini"
run="'$wine' '$build/bin/varnel.exe' --settings 'C:\\console-test\\TC_varnel.ini' list"
status=0
check() { # where, output
  if ! grep -q "Gr$(printf '\xc3\xb6\xc3\x9f')e FS" <<<"$2" || grep -q "$(printf '\xc3\x83')" <<<"$2"; then
    echo "FAILED ($1): the name did not arrive as UTF-8 characters:"
    printf '%s\n' "$2" | od -c | head -20
    status=1
  else
    echo "ok ($1)"
  fi
}
check pipe "$(bash -c "$run" </dev/null | cat)"
check terminal "$(LANG=C.UTF-8 script -qec "$run" /dev/null </dev/null)"
rm -rf "$host"
exit $status
