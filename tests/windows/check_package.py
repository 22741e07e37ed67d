#!/usr/bin/env python3
"""Checks the portable zip of the Windows build with an independent PE reader (pefile):
every program and module is a Windows file of its bitness, every one of our own carries the
version resource, everything a file imports is in the folder or part of Windows, and the folder
holds what the program needs at run time.

Usage: check_package.py ZIP VERSION"""
import io
import sys
import zipfile

import pefile

OURS = {"tcvarnel.exe", "varnel.exe", "tcvarnel-probe-w64.exe", "tcvarnel-probe-w32.exe", "config.exe",
        "tcvarnel-icons.dll"}
NEEDED = ["tcvarnel.exe", "varnel.exe", "tcvarnel-probe-w64.exe", "config.exe", "tcvarnel-icons.dll", "TC_varnel.ini", "README.md",
          "Language/English.lng", "Language/Deutsch.lng", "platforms/qwindows.dll", "Qt6Core.dll",
          "Qt6Gui.dll", "Qt6Widgets.dll", "libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll"]
# What every Windows installation has.
SYSTEM = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll",
          "oleaut32.dll", "comdlg32.dll", "winspool.drv", "uuid.dll", "msvcrt.dll", "ws2_32.dll",
          "bcrypt.dll", "imm32.dll", "winmm.dll", "version.dll", "uxtheme.dll", "dwmapi.dll",
          "shlwapi.dll", "netapi32.dll", "userenv.dll", "mpr.dll", "comctl32.dll", "setupapi.dll",
          "wtsapi32.dll", "d3d9.dll", "d3d11.dll", "dxgi.dll", "dwrite.dll", "authz.dll", "ntdll.dll",
          "crypt32.dll", "secur32.dll", "shcore.dll", "oleacc.dll", "iphlpapi.dll"}


def version_strings(pe):
    strings = {}
    for info in getattr(pe, "FileInfo", None) or []:
        for entry in info:
            for table in getattr(entry, "StringTable", []):
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    return strings


def main():
    archive, version = sys.argv[1], sys.argv[2]
    faults = []
    with zipfile.ZipFile(archive) as z:
        names = z.namelist()
        top = names[0].split("/")[0]
        inside = {n[len(top) + 1:] for n in names if n.startswith(top + "/") and not n.endswith("/")}
        for needed in NEEDED:
            if needed not in inside:
                faults.append(f"{needed} is missing from the zip")
        # The user's README: what a Windows user needs, not the developers' build commands.
        if "README.md" in inside:
            readme = z.read(f"{top}/README.md").decode("utf-8")
            if "varnel.exe" not in readme or "./run.sh" in readme or "Debian" in readme:
                faults.append("README.md is not the README for Windows users")
        present = {n.split("/")[-1].lower() for n in inside}
        for name in sorted(inside):
            if not name.lower().endswith((".exe", ".dll")):
                continue
            pe = pefile.PE(data=z.read(f"{top}/{name}"))
            base = name.split("/")[-1]
            machine = pe.FILE_HEADER.Machine
            wanted = 0x14C if base.endswith("-w32.exe") else 0x8664
            if machine != wanted:
                faults.append(f"{name}: machine {machine:#x}, not {wanted:#x}")
            if base in OURS:
                strings = version_strings(pe)
                for key, value in [("ProductName", "TC Varnel"), ("FileVersion", version),
                                   ("ProductVersion", version), ("OriginalFilename", base)]:
                    if strings.get(key) != value:
                        faults.append(f"{name}: {key} is {strings.get(key)!r}, not {value!r}")
                for key in ["CompanyName", "FileDescription", "LegalCopyright"]:
                    if not strings.get(key):
                        faults.append(f"{name}: no {key}")
            if base == "tcvarnel.exe" and pe.OPTIONAL_HEADER.Subsystem != 2:
                faults.append("tcvarnel.exe is not a windowed program")
            if base == "varnel.exe" and pe.OPTIONAL_HEADER.Subsystem != 3:
                faults.append("varnel.exe is not a console program")
            for imported in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
                dll = imported.dll.decode().lower()
                if dll not in present and dll not in SYSTEM and not dll.startswith("api-ms-win-"):
                    faults.append(f"{name} needs {dll}, which is neither in the zip nor part of Windows")
    for fault in faults:
        print(fault)
    print(f"{archive}: {len(inside)} files checked, {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
