#!/usr/bin/env bash
# What the user waits for when the program asks modules: side by side in one run, the helper that
# stays against a helper per question (VARNEL_PROBE_ONE_SHOT), with Wine's server kept running.
#   1. `varnel install --yes` of one 64-bit Lister against three in one call, and the same for file
#      system plugins (median of five each, the host put back before every run);
#   2. bench_probe_questions: the first and the later module questions of a session, per kind of
#      helper (64-bit Wine; 32-bit Wine where it runs here: run the script under
#      `tools/bits32.sh qemu` for 32-bit Wine under qemu-i386);
#   3. bench_window_questions (a GUI build): the window's Add (the first of a window, then a
#      second), Configure on a packer, and Refresh over twenty 64-bit Listers, with the helpers
#      each step started;
#   4. `varnel install --yes` of an archive of 5,000 small files and a 64-bit Lister (median of
#      five fresh installs).
#
#   5. with a Windows build as well: section 1 again with that build's varnel.exe under 64-bit
#      Wine, beside the Linux figures of the same minutes.
#
#   bench/helper_latency.sh BUILD [WINBUILD]   (BUILD: Release with -DVARNEL_BENCH=ON; WINBUILD:
#                                               a MinGW build)
set -euo pipefail
build=$(cd "$1" && pwd)
winbuild=${2:+$(cd "$2" && pwd)}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/varnel-helper-bench-XXXXXX")
trap 'WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
"$here/../tests/wine/setup_prefix.sh" "$work/prefix"
export WINEPREFIX=$work/prefix WINEDEBUG=-all XDG_CACHE_HOME=$work/cache
# A 64-bit host with nothing registered, and three Listers to install from a download folder.
tc=$WINEPREFIX/drive_c/totalcmd
mkdir -p "$tc" "$WINEPREFIX/drive_c/Downloads"
cp "$build/demo/TOTALCMD.EXE" "$tc/TOTALCMD64.EXE"
printf '[Configuration]\r\nInstallDir=C:\\totalcmd\r\n[ListerPlugins]\r\n[FileSystemPlugins]\r\n' >"$tc/wincmd.ini"
cp "$tc/wincmd.ini" "$work/wincmd.ini"
for i in 1 2 3; do cp "$build/test-plugins/pe/sample_lister.wlx" "$WINEPREFIX/drive_c/Downloads/view$i.wlx"; cp "$build/test-plugins/pe/empty_root.wfx" "$WINEPREFIX/drive_c/Downloads/fs$i.wfx"; done
cp -r "$build/bin" "$work/app"
printf '[Paths]\r\nTCPath=C:\\totalcmd\\TOTALCMD64.EXE\r\nIniPath=C:\\totalcmd\\wincmd.ini\r\n' >"$work/app/TC_varnel.ini"
varnel=("$work/app/varnel")
app=$work/app

median() { sort -n | sed -n 3p; }
install_ms() { # median of five installs of the files, the host put back before each
  local _ start end
  for _ in 1 2 3 4 5; do
    cp "$work/wincmd.ini" "$tc/wincmd.ini"
    rm -rf "$tc/plugins" "$tc/Plugins" "$app/history"
    start=$(date +%s%N)
    "${varnel[@]}" install --yes "$@" >/dev/null 2>&1 || { echo "install failed" >&2; exit 1; }
    end=$(date +%s%N)
    echo $(((end - start) / 1000000))
  done | median
}
ratio() { /usr/bin/python3 -c "print(f'{$2 / $1:.1f}')"; }

echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
d='C:\Downloads'
printf '%-8s %-14s %10s %10s %7s\n' kind helper one_ms three_ms ratio
for mode in stays per-question; do
  if [ $mode = per-question ]; then export VARNEL_PROBE_ONE_SHOT=1; fi
  for kind in lister:view:wlx fs:fs:wfx; do
    IFS=: read -r label stem ext <<<"$kind"
    one=$(install_ms "$d\\${stem}1.$ext")
    three=$(install_ms "$d\\${stem}1.$ext" "$d\\${stem}2.$ext" "$d\\${stem}3.$ext")
    printf '%-8s %-14s %10s %10s %7s\n' "$label" "$mode" "$one" "$three" "$(ratio "$one" "$three")"
  done
done
unset VARNEL_PROBE_ONE_SHOT
"$build/bin/bench_probe_questions" 10
VARNEL_PROBE_ONE_SHOT=1 "$build/bin/bench_probe_questions" 10
if [ -x "$build/bin/bench_window_questions" ]; then
  "$build/bin/bench_window_questions" 5 2>/dev/null
  VARNEL_PROBE_ONE_SHOT=1 "$build/bin/bench_window_questions" 5 2>/dev/null
fi

/usr/bin/python3 - "$build/test-plugins/pe/sample_lister.wlx" "$WINEPREFIX/drive_c/Downloads/many.zip" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[2], "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("pluginst.inf", "[PluginInstall]\r\nFile=many.wlx\r\nDefaultDir=many\r\nType=wlx\r\n")
    z.write(sys.argv[1], "many.wlx")
    for i in range(5000):
        z.writestr("docs/page%d.txt" % i, "x" * 100)
PY
echo "archive of 5000 files and a module: $(install_ms "$d\\many.zip") ms"

[ -n "$winbuild" ] || exit 0
# The Windows build runs inside the prefix, so its own settings file names the same host.
winapp=$WINEPREFIX/drive_c/varnel-app
cp -r "$winbuild/bin" "$winapp"
cp "$work/app/TC_varnel.ini" "$winapp/TC_varnel.ini"
wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)
echo "Windows build under Wine, the Linux build beside it (median of five each)"
printf '%-8s %-8s %10s %10s %7s\n' kind build one_ms three_ms ratio
for kind in lister:view:wlx fs:fs:wfx; do
  IFS=: read -r label stem ext <<<"$kind"
  files=("$d\\${stem}1.$ext" "$d\\${stem}2.$ext" "$d\\${stem}3.$ext")
  varnel=("$work/app/varnel") app=$work/app
  lone=$(install_ms "${files[0]}") lthree=$(install_ms "${files[@]}")
  varnel=("$wine64" "$winapp/varnel.exe") app=$winapp
  wone=$(install_ms "${files[0]}") wthree=$(install_ms "${files[@]}")
  printf '%-8s %-8s %10s %10s %7s\n' "$label" linux "$lone" "$lthree" "$(ratio "$lone" "$lthree")"
  printf '%-8s %-8s %10s %10s %7s\n' "$label" windows "$wone" "$wthree" "$(ratio "$wone" "$wthree")"
  echo "$label windows/linux: one $(ratio "$lone" "$wone"), three $(ratio "$lthree" "$wthree")"
done
