#pragma once

// The page list of the multipage TIFF command: shows the files, adds more, reorders them. The
// rows and the command's file list always hold the same paths in the same order.

#include <QDialog>
#include <QString>

#include <string>
#include <vector>

class QPushButton;
class QTableWidget;
class QToolButton;

namespace tiff_ui {

class CMultipageTiffDlg : public QDialog {
    Q_OBJECT

public:
    enum ControlId : int {
        kIdOk = 1,
        kIdCancel = 2,
        kIdRowUp = 1046,
        kIdRowDown = 1047,
        kIdList = 1059,
        kIdAdd = 1060,
    };

    /// No owner: the main window is used, as for the framework's dialogs.
    explicit CMultipageTiffDlg(QWidget* parent = nullptr);
    ~CMultipageTiffDlg() override;

    /// The command's file list, appended to and reordered in place; never owned.
    void SetFileList(std::vector<std::string>* files) { files_ = files; }

    /// Sets up the columns and fills the rows; runs each time the dialog is shown.
    void OnInitDialog();
    /// One row per entry of the file list, in order.
    void RefillRows();

    void OnAdd();
    void OnRowUp();
    void OnRowDown();

    QTableWidget* List() const { return list_; }
    /// The object name of a control id: "id1059".
    static QString ControlName(int id);

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::vector<std::string>* files_ = nullptr;
    QTableWidget* list_ = nullptr;
};

} // namespace tiff_ui
