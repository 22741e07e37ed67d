#include "ui/details_pane.h"

#include "catalog/host_config.h"
#include "catalog/module_info.h"
#include "catalog/plugin_table.h"
#include "catalog/registration.h"
#include "lang/language.h"
#include "ops/descriptions.h"
#include "ops/plugin_list.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "ui/qt_text.h"
#include "util/text.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>

namespace varnel {

TDetailsPane::TDetailsPane(QWidget* parent) : QTextBrowser(parent) {
    setObjectName("PanelDetails");
    setOpenLinks(false);
    setFrameShape(QFrame::StyledPanel);
    connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        const size_t index = static_cast<size_t>(url.path().toInt());
        if (index < m_targets.size())
            platform::ShellRun(m_targets[index], "", platform::ShowMode::Normal, false);
    });
}

void TDetailsPane::ShowPlugin(int tableRow) {
    m_targets.clear();
    if (tableRow < 1 || tableRow > Table().Count()) {
        clear();
        return;
    }
    const PluginEntry& entry = EntryAt(tableRow);
    const std::string loaded = entry.HostModule.empty() ? entry.FileName : entry.HostModule;
    auto escaped = [](const std::string& ansi) { return FromAnsi(ansi).toHtmlEscaped(); };
    QString html = "<b>" + escaped(entry.Name.empty() ? FileNamePart(loaded) : entry.Name) + "</b><table>";
    auto line = [&](int caption, const std::string& value) {
        if (!value.empty())
            html += "<tr><td>" + FromAnsi(GetCaptionNoAccel(caption)).toHtmlEscaped() + "&nbsp;</td><td>" +
                    escaped(value) + "</td></tr>";
    };
    line(430, entry.FileName);
    if (!EqualsNoCaseAnsi(loaded, entry.FileName))
        line(431, loaded);
    line(432, BitsText(tableRow));
    // The version the list shows when it shows one, else the module's own.
    std::string version = entry.Version;
    if (version.empty())
        version = ReadVersionText(loaded, "ProductVersion");
    if (version.empty())
        version = ReadVersionText(loaded);
    line(52, version);
    line(80, entry.Association);
    line(433, ReadVersionText(loaded, "CompanyName"));
    line(434, ReadVersionText(loaded, "FileDescription"));
    line(435, ReadVersionText(loaded, "LegalCopyright"));
    const QFileInfo info(QString::fromStdString(platform::ToHostPath(loaded)));
    if (info.exists())
        line(436, ToAnsi(QLocale().toString(info.size()) + " B, " +
                         QLocale().toString(info.lastModified(), QLocale::ShortFormat)));
    if (entry.Kind == kPacker) {
        const PackerAssociationList list = ReadPackerAssociations(entry.FileName, false);
        if (!list.pairs.empty()) {
            std::string words;
            for (int bit = 0; bit < 10; ++bit)
                if ((list.pairs.front().flags & (1 << bit)) != 0)
                    words += (words.empty() ? "" : ", ") + GetCaptionNoAccel(303 + bit);
            line(437, IntText(list.pairs.front().flags) + (words.empty() ? "" : " (" + words + ")"));
        }
    }
    line(111, ReadDescription(entry.FileName));
    html += "</table><p>";
    auto link = [&](int caption, const std::string& target) {
        html += "<a href=\"open:" + QString::number(m_targets.size()) + "\">" +
                FromAnsi(GetCaptionNoAccel(caption)).toHtmlEscaped() + "</a>&nbsp;&nbsp; ";
        m_targets.push_back(target);
    };
    if (const std::string ini = PluginIniOf(entry.FileName); platform::FileExists(ini))
        link(438, ini);
    const std::string folder = entry.FileName.substr(0, entry.FileName.find_last_of('\\'));
    if (const std::string descriptions = folder + "\\" + std::string(kDescriptionFile);
        platform::FileExists(descriptions))
        link(439, descriptions);
    if (platform::DirectoryExists(folder))
        link(440, folder);
    setHtml(html + "</p>");
}

} // namespace varnel
