#pragma once
// The program's settings held in memory for the whole run. Start-up fills them from
// "TC_varnel.ini"; the rest of the program reads and changes them here.

namespace varnel {

struct Settings {
    // Where a plugin's displayed name comes from: 0 file name, 1 file name without extension,
    // 2 the version resource's file description (falling back to 1).
    int ShowNames = 2;
    // How the Version column is filled: 0 nothing, 1 fixed file version, 2 "ProductVersion".
    int ShowVersions = 0;
    // Write paths into the host configuration with %COMMANDER_PATH% for the host folder.
    bool UseTCVar = true;
};

Settings& AppSettings();

} // namespace varnel
