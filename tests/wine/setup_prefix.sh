#!/usr/bin/env bash
# Makes (once) and starts the Wine prefix the Wine tests share: `setup_prefix.sh DIR` creates it,
# `setup_prefix.sh DIR stop` stops its server. Without Wine it does nothing and the tests skip.
set -u
dir=$1
command -v wine >/dev/null 2>&1 || exit 0
export WINEPREFIX=$dir WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ "${2:-}" = stop ]; then
  wineserver -k 2>/dev/null
  exit 0
fi
if [ ! -f "$dir/system.reg" ]; then
  mkdir -p "$dir"
  wineboot -i >/dev/null 2>&1
fi
wineserver -w 2>/dev/null
# No display here: Wine's null graphics driver still creates windows that FindWindow finds.
if ! grep -q '"Graphics"="null"' "$dir/user.reg" 2>/dev/null; then
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  wineserver -w 2>/dev/null
fi
# Keep the server up between the tests' many short Wine processes; "stop" ends it.
wineserver -p 2>/dev/null
exit 0
