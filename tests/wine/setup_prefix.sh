#!/usr/bin/env bash
# Makes (once) and starts the Wine prefix the Wine tests share: `setup_prefix.sh DIR` creates it,
# `setup_prefix.sh DIR stop` stops its server. Without Wine it does nothing and the tests skip.
set -u
dir=$1
# The 64-bit loader sets the prefix up: with 32-bit Wine installed, Debian's "wine" starts the
# 32-bit loader, which cannot run where the kernel runs no 32-bit programs. The prefix still gets
# its 32-bit half (syswow64), as a user's WoW64 prefix has.
wine=$(command -v wine64 || { [ -x /usr/lib/wine/wine64 ] && echo /usr/lib/wine/wine64; } || command -v wine) || exit 0
export WINEPREFIX=$dir WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ "${2:-}" = stop ]; then
  wineserver -k 2>/dev/null
  exit 0
fi
# A prefix made while 32-bit Wine was missing or hidden has an empty syswow64, and every 32-bit test
# would quietly take its no-32-bit branch: once 32-bit Wine runs, the prefix is made anew.
if [ -f "$dir/system.reg" ] && [ ! -f "$dir/drive_c/windows/syswow64/kernel32.dll" ] &&
  [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
  wineserver -k 2>/dev/null
  rm -rf "$dir"
fi
if [ ! -f "$dir/system.reg" ]; then
  mkdir -p "$dir"
  "$wine" wineboot -i >/dev/null 2>&1
fi
wineserver -w 2>/dev/null
# A test that takes syswow64 away to imitate a 64-bit-only prefix puts it back; after a crash, here.
[ -d "$dir/drive_c/windows/syswow64.off" ] && mv "$dir/drive_c/windows/syswow64.off" "$dir/drive_c/windows/syswow64"
# No display here: Wine's null graphics driver still creates windows that FindWindow finds.
if ! grep -q '"Graphics"="null"' "$dir/user.reg" 2>/dev/null; then
  "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  wineserver -w 2>/dev/null
fi
# Keep the server up between the tests' many short Wine processes; "stop" ends it. The server and
# Wine's own services start here, away from the test runner's output: started by the first test,
# a service would hold that output open and the runner would wait for it to close.
wineserver -p </dev/null >/dev/null 2>&1
"$wine" wineboot </dev/null >/dev/null 2>&1
# A desktop that lives until "stop": Wine's start.exe waits for it and keeps it in use. Otherwise
# Wine ends the desktop a moment after its last program ends, and a program started in that moment
# loses its windows with it, while the tests start and end the host's stand-in every few hundred
# milliseconds. A desktop that wineboot left behind may be ending just then, and ours then ends
# with it: each attempt first waits until no other desktop of this prefix is left (on a loaded
# machine that takes longer), then checks that ours stays.
desktops() {
  local pid
  for pid in $(pgrep -f 'explorer.exe /desktop' 2>/dev/null); do
    [ "$pid" != "${holder:-}" ] && tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qx "WINEPREFIX=$dir" && echo "$pid"
  done
}
holder=
for attempt in 1 2 3 4 5 6; do
  for wait in $(seq 60); do
    [ -z "$(desktops)" ] && break
    sleep 0.5
  done
  setsid "$wine" explorer /desktop </dev/null >/dev/null 2>&1 &
  holder=$!
  sleep 2
  kill -0 "$holder" 2>/dev/null && exit 0
done
echo "setup_prefix.sh: Wine's desktop would not stay up in $dir" >&2
exit 1
