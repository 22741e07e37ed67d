#!/usr/bin/env bash
# Makes the demo host: a Wine-like prefix with a stand-in Total Commander, sample plugins of all
# four kinds and a wincmd.ini that registers them.
#
#   tools/make_demo_host.sh [--realistic] PREFIX BUILD_DIR
#
# With --realistic the host is laid out the way its installer leaves a real one instead: a 32-bit
# TOTALCMD.EXE and a 64-bit TOTALCMD64.EXE in "C:\Program Files\totalcmd", the machine's values in
# the 32-bit registry view, wincmd.ini under %APPDATA%\GHISLER, 32-bit plugins with their 64-bit
# twins (name.w?x64) in folders with blanks and non-ASCII names, and a value outside the code page
# stored as the host stores it (UTF-8 behind a byte-order mark).
#
# PREFIX gets dosdevices/c: -> ../drive_c, system.reg with the host's registry values,
# drive_c/totalcmd/TOTALCMD.EXE, wincmd.ini, DEFAULT.BAR and drive_c/totalcmd/plugins/...
# BUILD_DIR is a build folder of this project (it holds demo/TOTALCMD.EXE and test-plugins/pe).
# The programs and plugins are refreshed on every run; wincmd.ini and DEFAULT.BAR are written
# only when missing, so the demo keeps what you did to it.
set -euo pipefail
realistic=0
if [ "${1:-}" = --realistic ]; then
  realistic=1
  shift
fi
prefix=${1:?usage: make_demo_host.sh [--realistic] PREFIX BUILD_DIR}
build=${2:?usage: make_demo_host.sh PREFIX BUILD_DIR}
standin=$build/demo/TOTALCMD.EXE
plugins=$build/test-plugins/pe
[ -f "$standin" ] || { echo "make_demo_host: $standin is missing (build with MinGW-w64 first)" >&2; exit 1; }
[ -d "$plugins" ] || { echo "make_demo_host: $plugins is missing" >&2; exit 1; }

if [ "$realistic" = 1 ]; then
  exec "$(dirname "$0")/make_realistic_host.sh" "$prefix" "$build"
fi

tc=$prefix/drive_c/totalcmd
mkdir -p "$prefix/dosdevices" "$prefix/drive_c/windows" "$tc"
[ -e "$prefix/dosdevices/c:" ] || ln -s ../drive_c "$prefix/dosdevices/c:"
[ -e "$prefix/dosdevices/z:" ] || ln -s / "$prefix/dosdevices/z:"

install -m 0755 "$standin" "$tc/TOTALCMD.EXE"
put() { # put SAMPLE KIND-FOLDER NAME
  mkdir -p "$tc/plugins/$2/${3%.*}"
  install -m 0644 "$plugins/$1" "$tc/plugins/$2/${3%.*}/$3"
}
put sample_lister.wlx wlx sample_lister.wlx
put sample_packer.wcx wcx sample_packer.wcx
put sample_fs.wfx wfx sample_fs.wfx
put sample_content.wdx wdx sample_content.wdx
put lister_packer.dll wlx old_viewer.wlx

# The host's registry values, as its installer leaves them. A prefix Wine already set up keeps its
# own registry; the values are added to it once.
if [ ! -f "$prefix/system.reg" ]; then
  printf 'WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n' > "$prefix/system.reg"
fi
if ! grep -q 'Ghisler' "$prefix/system.reg"; then
  cat >> "$prefix/system.reg" <<'REG'

[Software\\Ghisler\\Total Commander] 1733616000
#time=1db4a1b2c3d4e5f
"InstallDir"="C:\\totalcmd"
"IniFileName"=".\\wincmd.ini"
"FtpIniName"=".\\wcx_ftp.ini"
REG
fi

crlf() { sed 's/$/\r/'; }
if [ ! -f "$tc/wincmd.ini" ]; then
  crlf > "$tc/wincmd.ini" <<'INI'
[Configuration]
InstallDir=C:\totalcmd
PluginBaseDir=%COMMANDER_PATH%\plugins
UseLongNames=1
[Buttonbar]
Buttonbar=%COMMANDER_PATH%\DEFAULT.BAR
[ListerPlugins]
0=%COMMANDER_PATH%\plugins\wlx\sample_lister\sample_lister.wlx
0_detect=EXT="TXT" | EXT="LOG"
[PackerPlugins]
smp=285,%COMMANDER_PATH%\plugins\wcx\sample_packer\sample_packer.wcx
spk=285,%COMMANDER_PATH%\plugins\wcx\sample_packer\sample_packer.wcx
sp2=29,%COMMANDER_PATH%\plugins\wcx\sample_packer\sample_packer.wcx
[FileSystemPlugins]
Sample FS=%COMMANDER_PATH%\plugins\wfx\sample_fs\sample_fs.wfx
[ContentPlugins]
0=%COMMANDER_PATH%\plugins\wdx\sample_content\sample_content.wdx
0_detect=MULTIMEDIA
1=%COMMANDER_PATH%\plugins\wdx\lost\lost.wdx
[DisabledPlugins]
ListerPlugins;%COMMANDER_PATH%\plugins\wlx\old_viewer\old_viewer.wlx;1;=EXT="INI"
INI
fi
if [ ! -f "$tc/DEFAULT.BAR" ]; then
  crlf > "$tc/DEFAULT.BAR" <<'BAR'
[Buttonbar]
Buttonheight=32
button1=%COMMANDER_PATH%\TOTALCMD.EXE
cmd1=cm_SrcComments
menu1=Comments
Buttoncount=1
BAR
fi
[ -f "$tc/wcx_ftp.ini" ] || printf '[General]\r\n' > "$tc/wcx_ftp.ini"
echo "Demo host ready in $prefix"
