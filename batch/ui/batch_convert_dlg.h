#pragma once

// The batch conversion dialog: the file list, the target format, the destination folder, the
// suffix and the options. It validates on OK (the rules are batch::ValidateBatchSettings) and
// converts nothing itself.

#include "batch/batch_settings_check.h"
#include "core/ui.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace app {
class CVardenApp;
}

namespace batch_ui {

/// Every control carries its id as object name ("id1003"); messages go through the Ui.
class CBatchConvertDlg : public QDialog {
    Q_OBJECT

public:
    enum ControlId : int {
        kIdOk = 1,
        kIdCancel = 2,
        kIdFileList = 1000,
        kIdAdd = 1001,
        kIdRemove = 1002,
        kIdFormat = 1003,
        kIdDestination = 1004,
        kIdBrowse = 1005,
        kIdBpp = 1012,
        kIdChangeMaxSide = 1032,
        kIdSuffix = 1033,
        kIdMaxSide = 1034,
        kIdChangeBpp = 1036,
        kIdEncrypt = 1047,
        kIdPassword = 1048,
    };

    CBatchConvertDlg(QWidget* parent, core::Ui& ui);

    /// Replaces the file list with a copy of `files` and shows it.
    void SetFileList(const std::vector<std::string>& files);

    /// Copies the controls into the values (true) or the values into the controls (false). A size
    /// that is not an integer is refused with the data-exchange prompt, its edit gets the focus,
    /// and the values are left as they were.
    bool UpdateData(bool saveAndValidate);

    /// The dialog's values; after an accepted showing, what the run reads.
    const batch::BatchDialogValues& Values() const { return values_; }

    /// The object name of a control id: "id1003".
    static QString ControlName(int id);

public slots:
    void accept() override;
    void OnAdd();
    void OnRemove();
    void OnBrowse();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void FillList();

    core::Ui& ui_;
    batch::BatchDialogValues values_;

    QTableWidget* fileList_ = nullptr;
    QComboBox* format_ = nullptr;
    QLineEdit* destination_ = nullptr;
    QLineEdit* suffix_ = nullptr;
    QCheckBox* changeBpp_ = nullptr;
    QComboBox* bpp_ = nullptr;
    QCheckBox* changeMaxSide_ = nullptr;
    QLineEdit* maxSide_ = nullptr;
    QCheckBox* encrypt_ = nullptr;
    QLineEdit* password_ = nullptr;
};

/// The batch convert command: the multi-file open prompt, this dialog with the chosen files, then
/// the run behind the progress dialog. Cancelling either dialog ends it with nothing changed.
void BatchConvertCommand(app::CVardenApp& app);

/// Shows the dialog with `files`; the values of an accepted dialog, nothing when cancelled.
std::optional<batch::BatchDialogValues> ShowBatchConvertDialog(
    QWidget* parent, const std::vector<std::string>& files, core::Ui& ui);

/// Replaces the dialog behind ShowBatchConvertDialog (tests answer it); an empty function brings
/// the dialog back. Answers the prompter that was set before.
using BatchDialogPrompter = std::function<std::optional<batch::BatchDialogValues>(
    QWidget* parent, const std::vector<std::string>& files, core::Ui& ui)>;
BatchDialogPrompter SetBatchDialogPrompter(BatchDialogPrompter prompter);

} // namespace batch_ui
