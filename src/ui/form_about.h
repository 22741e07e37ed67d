#pragma once
// The About box: the program's name, version and build date, the README beside the program and
// the host's plugin page, and the translators' credits.

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace varnel {

// The program's own documentation, shipped beside it.
inline constexpr const char* kReadmeFileName = "README.md";
inline constexpr const char* kPluginPageAddress = "https://www.ghisler.com/plugins.htm";

class TFormAbout : public QDialog {
    Q_OBJECT
public:
    explicit TFormAbout(QWidget* parent = nullptr);

    void sHomepageClick();
    void sPluginPageClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();

    QLabel* m_label0 = nullptr;
    QLabel* m_label2 = nullptr;
    QLabel* m_label1 = nullptr;
    QLabel* m_label4 = nullptr;
    QLabel* m_sHomepage = nullptr;
    QLabel* m_label6 = nullptr;
    QLabel* m_labelSettings = nullptr;
    QLabel* m_settingsPath = nullptr;
    QLabel* m_sPluginPage = nullptr;
    QPlainTextEdit* m_memo1 = nullptr;
    QPushButton* m_btnOk = nullptr;
};

} // namespace varnel
