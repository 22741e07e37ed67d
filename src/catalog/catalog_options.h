#pragma once
// The program's settings that the catalogue works by. The catalogue owns them; the program fills
// them from its settings file at start-up and whenever the user changes one of them.

namespace varnel {

struct CatalogOptions {
    bool useCommanderPath = true; // write paths below the host folder as %COMMANDER_PATH%\...
    int showNames = 2;            // plugin names: 0 file name, 1 without extension, 2 file description
    int showVersions = 0;         // 0 none, 1 fixed file version, 2 the ProductVersion text
};

CatalogOptions& CatalogSettings();

} // namespace varnel
