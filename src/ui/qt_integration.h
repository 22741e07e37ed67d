#pragma once
// What the GUI puts in place of the core's hooks: the message box and the dialogs.

#include "ops/user_dialogs.h"

#include <string>

class QApplication;

namespace varnel {

// Message boxes become Qt message boxes.
void InstallQtMessageBox();

// The dialogs commands open, as Qt dialogs. Paths cross between the Windows form the program
// uses and the machine's own form.
class QtUserDialogs : public UserDialogs {
public:
    std::vector<std::string> OpenFiles(const FileDialogRequest& request) override;
    std::optional<std::string> AskAssociation(const std::string& modulePath, PluginKind kind,
                                              const std::string& proposal, bool allowEmpty) override;
    std::optional<std::string> AskText(const std::string& title, const std::string& label,
                                       const std::string& text) override;
    bool TweakPacker(const std::string& modulePath) override;
    CopyChoice AskCopyModule(const std::string& question) override;
};

// Application-wide settings of the program: title, hint timings (300 ms until a hint shows,
// 3500 ms that it stays).
void SetUpApplication(QApplication& app);

// Qt's own texts (standard buttons, context menus, dialogs) in the program's language, from
// qtbase_<code>.qm in "translations" beside the program or in Qt's own folder; English without one.
void ApplyQtTranslation(const std::string& languageName);

} // namespace varnel
