#!/usr/bin/env bash
# The realistic demo host (tools/make_demo_host.sh --realistic PREFIX BUILD_DIR): a Total Commander
# installed the way its installer leaves it in a WoW64 prefix. Programs and plugins are refreshed on
# every run; wincmd.ini is written only when missing.
set -euo pipefail
prefix=${1:?usage: make_realistic_host.sh PREFIX BUILD_DIR}
build=${2:?usage: make_realistic_host.sh PREFIX BUILD_DIR}
standin64=$build/demo/TOTALCMD.EXE
standin32=$build/demo/w32/TOTALCMD.EXE
pe64=$build/test-plugins/pe
pe32=$build/test-plugins/pe32
for need in "$standin64" "$standin32" "$pe64" "$pe32"; do
  [ -e "$need" ] || { echo "make_realistic_host: $need is missing (build with both MinGW-w64 compilers first)" >&2; exit 1; }
done

user=${USER:-$(id -un 2>/dev/null || echo user)}  # Wine names the profile after the Linux user
tc="$prefix/drive_c/Program Files/totalcmd"
appdata="$prefix/drive_c/users/$user/AppData/Roaming"
mkdir -p "$prefix/dosdevices" "$prefix/drive_c/windows/system32" "$prefix/drive_c/windows/syswow64" "$tc" \
  "$appdata/GHISLER"
[ -e "$prefix/dosdevices/c:" ] || ln -s ../drive_c "$prefix/dosdevices/c:"
[ -e "$prefix/dosdevices/z:" ] || ln -s / "$prefix/dosdevices/z:"

install -m 0755 "$standin32" "$tc/TOTALCMD.EXE"
install -m 0755 "$standin64" "$tc/TOTALCMD64.EXE"
# put SAMPLE KIND FOLDER NAME: the 32-bit module as NAME and its 64-bit twin as NAME64 beside it.
put() {
  local dir="$tc/plugins/$2/$3"
  mkdir -p "$dir"
  install -m 0644 "$pe32/$1" "$dir/$4"
  install -m 0644 "$pe64/$1" "$dir/${4}64"
}
put sample_lister.wlx wlx "Bildbetrachter Größe" sample_lister.wlx
put sample_packer.wcx wcx "Пакер" sample_packer.wcx
put sample_fs.wfx wfx "Sample FS" sample_fs.wfx
put sample_content.wdx wdx "Inhalt (Beispiel)" sample_content.wdx
# Plugins of one bitness only: an old 32-bit viewer, and a content plugin that ships only as
# "name.wdx64" and is registered under that name.
mkdir -p "$tc/plugins/wlx/Alter Betrachter" "$tc/plugins/wdx/Neu 64"
install -m 0644 "$pe32/sample_lister.wlx" "$tc/plugins/wlx/Alter Betrachter/old_viewer.wlx"
install -m 0644 "$pe64/sample_content.wdx" "$tc/plugins/wdx/Neu 64/neu.wdx64"

# The registry as a 32-bit installer and Wine leave it: the host in the machine's 32-bit view, the
# user's folders in the logon session's environment. A prefix Wine already made keeps its own
# values; the host's are added once.
if [ ! -f "$prefix/system.reg" ]; then
  cat > "$prefix/system.reg" <<'REG'
WINE REGISTRY Version 2
;; All keys relative to \\Machine

#arch=win64

[Software\\Microsoft\\Windows\\CurrentVersion] 1733616000
"ProgramFilesDir"="C:\\Program Files"
"ProgramFilesDir (x86)"="C:\\Program Files (x86)"

[System\\CurrentControlSet\\Control\\Session Manager\\Environment] 1733616000
"windir"=str(2):"%SystemRoot%"
REG
fi
if ! grep -q 'Wow6432Node\\\\Ghisler' "$prefix/system.reg"; then
  cat >> "$prefix/system.reg" <<'REG'

[Software\\Wow6432Node\\Ghisler\\Total Commander] 1733616000
#time=1db4a1b2c3d4e5f
"InstallDir"="C:\\Program Files\\totalcmd"
"IniFileName"="%APPDATA%\\GHISLER\\wincmd.ini"
"FtpIniName"="%APPDATA%\\GHISLER\\wcx_ftp.ini"
REG
fi
if [ ! -f "$prefix/user.reg" ]; then
  printf 'WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n' > "$prefix/user.reg"
fi
if ! grep -q '^\[Volatile Environment\]' "$prefix/user.reg"; then
  cat >> "$prefix/user.reg" <<REG

[Volatile Environment] 1733616000
"APPDATA"="C:\\\\users\\\\$user\\\\AppData\\\\Roaming"
"LOCALAPPDATA"="C:\\\\users\\\\$user\\\\AppData\\\\Local"
"USERPROFILE"="C:\\\\users\\\\$user"
REG
fi

ini="$appdata/GHISLER/wincmd.ini"
if [ ! -f "$ini" ]; then
  # ANSI (Windows-1252) with CR LF; the Cyrillic folder cannot be written in that code page, so its
  # value is UTF-8 behind the byte-order mark, as the host writes such values.
  {
    printf '[Configuration]\r\nInstallDir=C:\\Program Files\\totalcmd\r\nPluginBaseDir=%%COMMANDER_PATH%%\\plugins\r\n'
    printf '[ListerPlugins]\r\n0=%%COMMANDER_PATH%%\\plugins\\wlx\\Bildbetrachter Gr\xF6\xDFe\\sample_lister.wlx\r\n'
    printf '0_detect=EXT="TXT" | EXT="LOG"\r\n'
    printf '1=%%COMMANDER_PATH%%\\plugins\\wlx\\Alter Betrachter\\old_viewer.wlx\r\n1_detect=EXT="OLD"\r\n'
    printf '[PackerPlugins]\r\nsmp=285,\xEF\xBB\xBF%%COMMANDER_PATH%%\\plugins\\wcx\\Пакер\\sample_packer.wcx\r\n'
    printf '[FileSystemPlugins]\r\nSample FS=%%COMMANDER_PATH%%\\plugins\\wfx\\Sample FS\\sample_fs.wfx\r\n'
    printf '[ContentPlugins]\r\n0=%%COMMANDER_PATH%%\\plugins\\wdx\\Inhalt (Beispiel)\\sample_content.wdx\r\n0_detect=MULTIMEDIA\r\n'
    printf '1=%%COMMANDER_PATH%%\\plugins\\wdx\\Neu 64\\neu.wdx64\r\n1_detect=MULTIMEDIA\r\n'
  } > "$ini"
fi
[ -f "$appdata/GHISLER/wcx_ftp.ini" ] || printf '[General]\r\n' > "$appdata/GHISLER/wcx_ftp.ini"
echo "Realistic host ready in $prefix"
