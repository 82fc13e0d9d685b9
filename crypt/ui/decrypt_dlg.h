#pragma once

// The dialog of the encryption and decryption runs: it shows and extends the file list and takes
// the password and the destination folder. The rules of its checks are the engine's.

#include "core/ui.h"

#include <QDialog>
#include <QString>

#include <optional>
#include <string>
#include <vector>

class QLineEdit;
class QTableWidget;

namespace cryptui {

class CDecryptDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 183 };
    enum ControlId : int {
        kIdOk = 1,
        kIdCancel = 2,
        kIdFileList = 1000,
        kIdPassword = 1049,
        kIdDestination = 1051,
        kIdPickFolder = 1052,
        kIdAddFiles = 1053,
    };

    /// Messages go through `ui`.
    CDecryptDlg(QWidget* parent, core::Ui& ui);
    ~CDecryptDlg() override;

    /// Replaces the list by a copy of `files`; called before the dialog is shown.
    void SetFiles(const std::vector<std::string>& files);
    /// The list, or null when none was handed over.
    const std::vector<std::string>* Files() const { return files_ ? &*files_ : nullptr; }
    const std::string& Password() const { return password_; }
    const std::string& Destination() const { return destination_; }

    /// Copies the controls into the members (true) or the members into the controls (false).
    bool UpdateData(bool saveAndValidate);
    /// Builds the list's columns and rows; runs when the dialog is first shown.
    bool OnInitDialog();

    /// The object name of a control id: "id1049".
    static QString ControlName(int id);

public slots:
    /// OK: the checks in their order; the dialog stays open with a message when one fails.
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnPickFolder();
    void OnAddFiles();
    /// One row per file: its name, then its full path.
    void FillRows();

    core::Ui& ui_;
    std::optional<std::vector<std::string>> files_;
    std::string password_;
    std::string destination_;
    bool initialized_ = false;

    QTableWidget* list_ = nullptr;
    QLineEdit* passwordEdit_ = nullptr;
    QLineEdit* destinationEdit_ = nullptr;
};

} // namespace cryptui
