#pragma once
// The association dialog (TFormAdd) and the one-line input dialog (TFormAddExt).

#include <QDialog>

#include "catalog/plugin_table.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace varnel {

class TFormAdd : public QDialog {
    Q_OBJECT
public:
    // kind decides the label: extensions for a packer, a name for an FS plugin, else a detect string.
    TFormAdd(const QString& modulePath, PluginKind kind, const QString& proposal, bool emptyAllowed,
             QWidget* parent = nullptr);

    QString Text() const;
    void sExtChange();
    void btnHelpClick();
    // A text that cannot be written is refused with a message; the dialog stays open.
    void accept() override;

private:
    PluginKind m_kind;
    bool m_emptyAllowed;
    QLabel* m_label1;
    QLineEdit* m_sFile;
    QLabel* m_label2;
    QLineEdit* m_sExt;
    QLabel* m_lblSyntax; // where a detect string stops parsing, as it is typed
    QPushButton* m_btnHelp;
    QPushButton* m_btnOk;
    QPushButton* m_btnCancel;
};

class TFormAddExt : public QDialog {
    Q_OBJECT
public:
    explicit TFormAddExt(QWidget* parent = nullptr);

    void SetTexts(const QString& title, const QString& label, const QString& ok, const QString& cancel);
    void SetText(const QString& text);
    QString Text() const;

private:
    QLabel* m_label1;
    QLineEdit* m_ffExt;
    QPushButton* m_btnOk;
    QPushButton* m_btnCancel;
};

} // namespace varnel
