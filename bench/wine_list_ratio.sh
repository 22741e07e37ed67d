#!/usr/bin/env bash
# The Windows build under 64-bit Wine against the Linux build, side by side in one run: both list
# the same generated host with every module present (`varnel --json list --all`: the table load
# with versions and bitness that also fills the window), with Wine's server kept running. Prints
# the median of five runs of each, and their ratio, per host size.
#
#   bench/wine_list_ratio.sh LINUX_BUILD WINDOWS_BUILD [PLUGINS...]     (default: 300 3000)
#
# LINUX_BUILD should be a Release build (an ASan build is several times slower); WINDOWS_BUILD
# is the MinGW build with bin/varnel.exe. The prefix is made under the system's temporary folder.
set -euo pipefail
linux=$1 windows=$2
shift 2
sizes=("${@:-300}")
[ $# -gt 0 ] || sizes=(300 3000)
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/varnel-wine-bench-XXXXXX")
trap 'WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
"$here/../tests/wine/setup_prefix.sh" "$work/prefix"
export WINEPREFIX=$work/prefix WINEDEBUG=-all

median() { sort -n | sed -n 3p; }
seconds() { # runs the command five times, prints the median wall time in seconds
  for _ in 1 2 3 4 5; do
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    /usr/bin/python3 -c "print($end - $start)"
  done | median
}

printf '%-8s %12s %12s %8s\n' plugins linux_s wine_s ratio
for n in "${sizes[@]}"; do
  /usr/bin/python3 "$here/make_bench_host.py" "$WINEPREFIX/drive_c/bench" "$n" \
    "$linux/test-plugins/pe/sample_lister.wlx" "$linux/demo/TOTALCMD.EXE"
  printf '[Paths]\r\nTCPath=C:\\bench\\totalcmd\\TOTALCMD.EXE\r\nIniPath=C:\\bench\\totalcmd\\wincmd.ini\r\n[Options]\r\nRegisterExt=0\r\nShowVersions=2\r\n' \
    >"$WINEPREFIX/drive_c/bench/TC_varnel.ini"
  args=(--settings 'C:\bench\TC_varnel.ini' --json list --all)
  l=$(seconds "$linux/bin/varnel" --prefix "$WINEPREFIX" "${args[@]}")
  w=$(seconds "$wine" "$windows/bin/varnel.exe" "${args[@]}")
  printf '%-8s %12.3f %12.3f %8.1f\n' "$n" "$l" "$w" "$(/usr/bin/python3 -c "print($w / $l)")"
done
