// The main window: plugin modules and archives dropped on it are installed.
#include "ui/form_tcvarnel.h"

#include "ops/archive_install.h"
#include "ops/install.h"
#include "platform/paths.h"
#include "ui/menu_speed_button.h"
#include "util/text.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace varnel {

namespace {

enum class DropKind { Other, Module, Archive };

DropKind KindOfDropped(const std::string& path) {
    if (IsArchiveFile(path))
        return DropKind::Archive;
    std::string extension = LowerAscii(ExtensionPart(path));
    if (extension.size() == 6 && extension.substr(4) == "64")
        extension.resize(4);
    for (const char* module : {".wlx", ".wcx", ".wfx", ".wdx"})
        if (extension == module)
            return DropKind::Module;
    return DropKind::Other;
}

// The dropped local files as Windows paths; empty when anything dropped is not one we install.
std::vector<std::string> DroppedFiles(const QMimeData* data) {
    std::vector<std::string> files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            return {};
        std::string path = platform::ToWindowsPath(url.toLocalFile().toStdString());
        if (path.empty() || KindOfDropped(path) == DropKind::Other)
            return {};
        files.push_back(path);
    }
    return files;
}

} // namespace

bool TFormTCVarnel::InstallDropped(const std::vector<std::string>& files) {
    for (const std::string& file : files)
        if (KindOfDropped(file) == DropKind::Other)
            return false;
    TimerOff();
    const auto before = ListedRegistrations();
    for (size_t i = 0; i < files.size(); ++i) {
        const bool last = i + 1 == files.size();
        if (KindOfDropped(files[i]) == DropKind::Archive) {
            InstallFromArchive(ProgramContext(), {files[i], false, last});
        } else {
            InstallRequest install;
            install.path = files[i];
            install.restartAfter = last;
            install.reportDuplicate = true;
            InstallPlugin(ProgramContext(), install);
        }
    }
    FillList();
    SelectRowsNewSince(before);
    TimerBack();
    return true;
}

void TFormTCVarnel::dragEnterEvent(QDragEnterEvent* event) {
    if (CommandAvailable("btnAddClick") && m_btnAdd->isEnabled() && !DroppedFiles(event->mimeData()).empty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TFormTCVarnel::dragMoveEvent(QDragMoveEvent* event) {
    if (!DroppedFiles(event->mimeData()).empty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TFormTCVarnel::dropEvent(QDropEvent* event) {
    std::vector<std::string> files = DroppedFiles(event->mimeData());
    if (files.empty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // The drag source waits for the drop to end: install once it has.
    QMetaObject::invokeMethod(
        this, [this, files] { InstallDropped(files); }, Qt::QueuedConnection);
}

} // namespace varnel
