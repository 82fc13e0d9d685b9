#pragma once

// The conversion report: one line per file of a batch, encryption or decryption run, saying
// whether it succeeded. It only reads the run's results.

#include "batch/conversion_results.h"

#include <QDialog>

namespace batch::ui {

class CHListBox;

class CStatusDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 104 };
    enum ControlId : int { kIdOk = 1, kIdReportList = 1014 };

    explicit CStatusDlg(QWidget* parent = nullptr);
    ~CStatusDlg() override;

    /// Set by the caller before showing; not owned. None leaves the list empty.
    const ConversionResults* results = nullptr;

    CHListBox* ReportList() const { return reportList_; }

    /// Fills the list from `results` in map order; runs when the dialog is first shown.
    bool OnInitDialog();

protected:
    void showEvent(QShowEvent* event) override;

private:
    CHListBox* reportList_ = nullptr;
    bool initialized_ = false;
};

} // namespace batch::ui
