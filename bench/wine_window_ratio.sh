#!/usr/bin/env bash
# The window of the Windows build under 64-bit Wine against the Linux build's, side by side in
# one run: each starts on the same generated host and reports how long it took from its start to
# its filled plugin list (VARNEL_TIME_FIRST_FILL), which is the wait a user sees. Both run on one
# virtual display (Xvfb), Wine's server kept running. Prints, per host size and with the machine's
# load, the first start of each with no module facts kept from an earlier run (cold), and the
# median of five starts after it (warm), with their ratios.
#
#   bench/wine_window_ratio.sh LINUX_BUILD WINDOWS_BUILD [PLUGINS...]     (default: 300 3000)
#
# LINUX_BUILD should be a Release build (an ASan build is several times slower); WINDOWS_BUILD
# is the MinGW build with bin/tcvarnel.exe. Each program runs from a copy of its bin folder with
# a settings file of its own beside it; nothing in the builds is changed.
set -euo pipefail
linux=$(cd "$1" && pwd) windows=$(cd "$2" && pwd)
shift 2
sizes=("${@:-300}")
[ $# -gt 0 ] || sizes=(300 3000)
if [ -z "${VARNEL_BENCH_INNER:-}" ]; then
  VARNEL_BENCH_INNER=1 exec xvfb-run -a -s "-screen 0 1600x1000x24" "$0" "$linux" "$windows" "${sizes[@]}"
fi
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/varnel-window-bench-XXXXXX")
trap 'WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
"$here/../tests/wine/setup_prefix.sh" "$work/prefix"
export WINEPREFIX=$work/prefix WINEDEBUG=-all XDG_CACHE_HOME=$work/cache
# The programs, each with a settings file beside it that names the generated host.
cp -r "$linux/bin" "$work/linux-app"
cp -r "$windows/bin" "$WINEPREFIX/drive_c/app"
settings='[Paths]\r\nTCPath=C:\\bench\\totalcmd\\TOTALCMD.EXE\r\nIniPath=C:\\bench\\totalcmd\\wincmd.ini\r\n[Options]\r\nRegisterExt=0\r\nShowVersionsCol=1\r\n[Window]\r\nWidth=1200\r\nHeight=800\r\n'
printf "$settings" >"$work/linux-app/TC_varnel.ini"
printf "$settings" >"$WINEPREFIX/drive_c/app/TC_varnel.ini"

median() { sort -n | sed -n 3p; }
once_ms() { # one start: the time to its first filled list in ms
  VARNEL_TIME_FIRST_FILL=1 "$@" 2>&1 | tr -d '\r' | sed -n 's/^first fill: .* rows in \([0-9]*\) ms$/\1/p'
}
fill_ms() { # the median of five starts
  for _ in 1 2 3 4 5; do once_ms "$@"; done | median
}
forget() { # the module facts both programs keep between runs
  rm -rf "$XDG_CACHE_HOME" "$WINEPREFIX"/drive_c/users/*/AppData/Local/"TC Varnel"
}
ratio() { /usr/bin/python3 -c "print(f'{$2 / $1:.1f}')"; }

echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-8s %14s %14s %7s %14s %14s %7s\n' plugins cold_linux_ms cold_wine_ms ratio warm_linux_ms warm_wine_ms ratio
for n in "${sizes[@]}"; do
  /usr/bin/python3 "$here/make_bench_host.py" "$WINEPREFIX/drive_c/bench" "$n" \
    "$linux/test-plugins/pe/sample_lister.wlx" "$linux/demo/TOTALCMD.EXE"
  forget
  cl=$(once_ms env QT_QPA_PLATFORM=xcb "$work/linux-app/tcvarnel")
  cw=$(once_ms "$wine" 'C:\app\tcvarnel.exe')
  l=$(fill_ms env QT_QPA_PLATFORM=xcb "$work/linux-app/tcvarnel")
  w=$(fill_ms "$wine" 'C:\app\tcvarnel.exe')
  printf '%-8s %14s %14s %7s %14s %14s %7s\n' "$n" "$cl" "$cw" "$(ratio "$cl" "$cw")" "$l" "$w" "$(ratio "$l" "$w")"
done
