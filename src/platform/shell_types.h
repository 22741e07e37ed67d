#pragma once
// The desktop's side of opening plugin files with this program (freedesktop.org desktop entry,
// MIME types and icons under the user's data folder).

#include <string>
#include <vector>

namespace varnel::platform {

struct ShellFileType {
    std::string extension;   // ".wlx"; its 64-bit form ".wlx64" is registered with it
    std::string className;   // "TC_plugin_wlx"
    std::string description; // shown by file managers
    std::string picture;     // an SVG of the icons folder beside this executable, without ".svg"
};

// The MIME type a class gets: "TC_plugin_wlx" -> "application/x-tc-plugin-wlx".
std::string MimeTypeOfClass(const std::string& className);

// Makes the program (a machine path) the opener of the types on the desktop: a desktop entry that
// starts it with the file as its only argument, one MIME type per class, their icons, and the program as the
// types' default unless the user chose another. Files already as wanted are left alone; when
// something changed, the desktop's databases are refreshed with their tools where present (with
// wait, before returning). False when the files could not be written.
bool RegisterDesktopFileTypes(const std::vector<ShellFileType>& types, const std::string& program, bool wait);

} // namespace varnel::platform
