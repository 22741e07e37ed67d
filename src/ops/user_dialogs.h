#pragma once
// The dialogs a command opens on its way (file choosers, the association dialog, one-line text
// input). The GUI implements them with real windows; tests install scripted answers.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "catalog/plugin_table.h"

namespace varnel {

struct FileDialogRequest {
    std::string title;
    std::string initialFolder; // Windows path; empty for the toolkit's choice
    std::string defaultName;
    std::vector<std::pair<std::string, std::string>> filters; // description, patterns ("*.wlx;*.wcx")
    bool multiple = false;
};

class UserDialogs {
public:
    virtual ~UserDialogs() = default;
    // Windows paths of the chosen existing files; empty when the dialog was cancelled.
    virtual std::vector<std::string> OpenFiles(const FileDialogRequest& request) = 0;
    // The association dialog: the module and its kind (which says what the text is: extensions,
    // a detect string or a name), the proposed text, whether an empty text may be confirmed.
    // The text as typed, or nullopt when cancelled.
    virtual std::optional<std::string> AskAssociation(const std::string& modulePath, PluginKind kind,
                                                      const std::string& proposal, bool allowEmpty) = 0;
    // A one-line text input with its title and label; nullopt when cancelled.
    virtual std::optional<std::string> AskText(const std::string& title, const std::string& label,
                                               const std::string& text) = 0;
    // The packer flags dialog for a registered packer module; true when it ended with OK (it has
    // then written the module's registrations).
    virtual bool TweakPacker(const std::string& modulePath) = 0;
    // A module outside every plugin folder: copy it into one (the default), install it where it
    // lies, or not at all. The question is the text to show. Without a dialog: where it lies, as
    // before this question existed.
    enum class CopyChoice { Copy, InPlace, Cancel };
    virtual CopyChoice AskCopyModule(const std::string& question) {
        (void)question;
        return CopyChoice::InPlace;
    }
};

// The dialogs in use; without any installed, every dialog is cancelled.
UserDialogs& Dialogs();
// Installs the implementation (nullptr restores the cancelling one); returns the previous one.
UserDialogs* SetUserDialogs(UserDialogs* dialogs);

} // namespace varnel
