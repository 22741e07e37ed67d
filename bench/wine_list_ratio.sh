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
  /usr/bin/python3 - "$WINEPREFIX/drive_c/bench" "$n" "$linux/test-plugins/pe/sample_lister.wlx" \
    "$linux/demo/TOTALCMD.EXE" <<'PY'
import os, shutil, sys
root, count, module, host = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
shutil.rmtree(root, ignore_errors=True)
tc = os.path.join(root, "totalcmd")
os.makedirs(tc)
shutil.copy(host, os.path.join(tc, "TOTALCMD.EXE"))
data = open(module, "rb").read()
data += b"\0" * max(0, 100 * 1024 - len(data))
ini = "[Configuration]\r\nInstallDir=C:\\bench\\totalcmd\r\n[ListerPlugins]\r\n"
for i in range(count):
    folder = os.path.join(tc, "plugins", "wlx", "lister%d" % i)
    os.makedirs(folder)
    open(os.path.join(folder, "lister%d.wlx" % i), "wb").write(data)
    ini += '%d=%%COMMANDER_PATH%%\\plugins\\wlx\\lister%d\\lister%d.wlx\r\n%d_detect=EXT="TXT"\r\n' % (i, i, i, i)
open(os.path.join(tc, "wincmd.ini"), "w", newline="").write(ini)
open(os.path.join(root, "TC_varnel.ini"), "w", newline="").write(
    "[Paths]\r\nTCPath=C:\\bench\\totalcmd\\TOTALCMD.EXE\r\nIniPath=C:\\bench\\totalcmd\\wincmd.ini\r\n"
    "[Options]\r\nRegisterExt=0\r\nShowVersions=2\r\n")
PY
  args=(--settings 'C:\bench\TC_varnel.ini' --json list --all)
  l=$(seconds "$linux/bin/varnel" --prefix "$WINEPREFIX" "${args[@]}")
  w=$(seconds "$wine" "$windows/bin/varnel.exe" "${args[@]}")
  printf '%-8s %12.3f %12.3f %8.1f\n' "$n" "$l" "$w" "$(/usr/bin/python3 -c "print($w / $l)")"
done
