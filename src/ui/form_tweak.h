#pragma once
// The packer flags dialog: the extensions one packer module is registered for and the capability
// flags of each; OK rewrites the module's registrations.

#include "catalog/registration.h"
#include "platform/profile.h"

#include <QDialog>
#include <array>
#include <optional>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace varnel {

// Ten flag boxes: the nine of the host's older packer interface and bit 9, "supports encryption".
inline constexpr int kTweakFlagBoxes = 10;

class TFormTweak : public QDialog {
    Q_OBJECT
public:
    // Reads the module's registrations (and its own flags, asking the module) for the dialog.
    explicit TFormTweak(const std::string& modulePath, QWidget* parent = nullptr);

    const PackerAssociationList& List() const { return m_list; }

    void ffExtChange();
    void ffFlag0Click();
    void btnAddClick();
    void btnRemoveClick();
    void btnDefaultClick();
    void btnOkClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Refresh();

    PackerAssociationList m_list;
    std::optional<platform::ProfileSnapshot> m_since; // the host's file as the list was read
    QLineEdit* m_ffFile = nullptr;
    QComboBox* m_ffExt = nullptr;
    QLabel* m_label2 = nullptr;
    QLabel* m_label3 = nullptr;
    QLabel* m_label4 = nullptr;
    QLabel* m_labelFlags = nullptr;
    std::array<QCheckBox*, kTweakFlagBoxes> m_ffFlag{};
    QPushButton* m_btnRemove = nullptr;
    QPushButton* m_btnAdd = nullptr;
    QPushButton* m_btnDefault = nullptr;
    QPushButton* m_btnOk = nullptr;
    QPushButton* m_btnCancel = nullptr;
    bool m_refreshing = false;
};

} // namespace varnel
