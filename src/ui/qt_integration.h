#pragma once
// The window's side of the program: its user, met through Qt's message boxes and the program's
// dialogs, and the application's settings.

#include "ui/busy_wait.h"

#include <string>

class QApplication;

namespace varnel {

// Message boxes and the dialogs commands open, as Qt's, with the windows kept alive while a
// command waits. Paths cross between the Windows form the program uses and the machine's own form.
class QtInteraction : public BusyWaits {
public:
    int Show(const Notice& notice) override;
    std::vector<std::string> OpenFiles(const FileDialogRequest& request) override;
    std::optional<std::string> AskAssociation(const std::string& modulePath, int8_t kind,
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
