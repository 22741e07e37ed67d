#pragma once
// The options dialog. The program creates it once and reuses it, so the page last shown is shown
// again. It edits the settings in memory on OK; a language picked in it applies at once, and the
// program's buttons go onto the host's button bar at the moment the user asks for them.

#include <QDialog>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace varnel {

struct Settings;

class TFormOptions : public QDialog {
    Q_OBJECT
public:
    explicit TFormOptions(QWidget* parent = nullptr);

    // Fills the controls from the settings and the main window's refresh period.
    void Load(const Settings& settings, int refreshMs);
    // Stores the controls into the settings (after OK); the refresh period comes back in
    // milliseconds.
    void Store(Settings& settings, int& refreshMs) const;
    const std::string& LanguageName() const { return m_languageName; }
    // The host's button bar file, found again at each loading.
    std::string BarFile;

    void sLangChange();
    void ffTimerClick();
    void ffRestart1Click();
    void btnBarAddClick();
    void btnLink1Click();
    void btnFtpBrowseClick();
    void btnRarBrowseClick();

signals:
    // The language changed while the dialog was open: the main window redraws itself.
    void languageChanged();

protected:
    void showEvent(QShowEvent* event) override;
    void accept() override;

private:
    void FormShow();

    std::string m_languageName;
    bool m_filling = false;
    QTabWidget* m_pages = nullptr;
    QCheckBox *m_ffTabs, *m_ffTypes, *m_ffVersions, *m_ffDescriptions, *m_ffRegister;
    QLabel *m_label2, *m_label1, *m_labelBy;
    QPushButton* m_btnBarAdd;
    QComboBox* m_sLang;
    QCheckBox* m_ffTimer;
    QLineEdit* m_ffTimerSec;
    QLabel *m_label3, *m_label4;
    QCheckBox *m_ffUseTCVar, *m_ffInstTweak, *m_ffInstRestart;
    QLabel *m_labelFtp, *m_labelRar;
    QLineEdit *m_ffFtpIni, *m_ffRarPath;
    QPushButton *m_btnFtpBrowse, *m_btnRarBrowse;
    QRadioButton *m_ffRestart1, *m_ffRestart2, *m_ffRestart3;
    QLineEdit *m_ffRestartExt, *m_ffRestartTime;
    QPushButton* m_btnLink1;
    QLabel *m_label5, *m_label6;
    QLabel* m_labelKind[4];
    QLineEdit* m_ffPlugins[4];
    QPushButton *m_btnOk, *m_btnCancel;
};

} // namespace varnel
