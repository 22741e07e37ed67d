#pragma once
// The Report dialog: the report file and the columns it holds.

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace varnel {

class TFormReport : public QDialog {
    Q_OBJECT
public:
    explicit TFormReport(QWidget* parent = nullptr);

    // From the report settings into the controls, and back (only on OK).
    void LoadSettings();
    void StoreSettings() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* m_label1 = nullptr;
    QLabel* m_label2 = nullptr;
    QLineEdit* m_sFile = nullptr;
    QLabel* m_label3 = nullptr;
    QCheckBox* m_fName = nullptr;
    QCheckBox* m_fVersion = nullptr;
    QCheckBox* m_fState = nullptr;
    QCheckBox* m_fAssoc = nullptr;
    QCheckBox* m_fFileName = nullptr;
    QPushButton* m_btnOk = nullptr;
    QPushButton* m_btnCancel = nullptr;
};

} // namespace varnel
