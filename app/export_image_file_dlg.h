#pragma once

// The conversion options dialog: a save-file dialog with the options panel below it.

#include "codec/ximage.h"
#include "core/conversion.h"
#include "core/ui.h"

#include <QFileDialog>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QWidget;

namespace app {

/// The options dialog. Its controls carry their ids as object names ("id1019", ...); the rules
/// live in core's ExportDialog* functions, this class only moves values between the controls
/// and the dialog state.
class CExportImageFileDlg : public QFileDialog {
    Q_OBJECT

public:
    enum ControlId : int {
        kIdOk = 1,
        kIdCancel = 2,
        kIdKeepProportions = 1009,
        kIdBpp = 1012,
        kIdDpi = 1015,
        kIdWidth = 1019,
        kIdHeight = 1020,
        kIdGrayScale = 1031,
    };

    /// `image` must outlive the dialog; messages go through `ui`.
    CExportImageFileDlg(QWidget* parent, const codec::CxImage& image, std::uint32_t targetType, core::Ui& ui);
    ~CExportImageFileDlg() override;

    /// The chosen options once the dialog was accepted; nothing otherwise.
    std::optional<core::ConversionOptions> Options() const;

    /// Copies the controls into the state (true) or the state into the controls (false). A
    /// dimension that is not an unsigned number is refused with the data-exchange prompt, its
    /// edit gets the focus back, and the state is left as it was.
    bool UpdateData(bool saveAndValidate);

    const core::ExportDialogState& State() const { return state_; }

    /// The object name of a control id: "id1019".
    static QString ControlName(int id);

public slots:
    /// The file name check: runs the accept rules first and keeps the dialog open when they say so.
    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* BuildPanel();
    void NameButtons();
    void OnKillFocusDimension(QLineEdit* edit);

    core::Ui& ui_;
    core::ExportDialogState state_;
    std::string acceptedPath_;
    bool exchanging_ = false; // a message box of the exchange itself takes the focus away

    QCheckBox* keepProportions_ = nullptr;
    QLineEdit* width_ = nullptr;
    QLineEdit* height_ = nullptr;
    QComboBox* bppBox_ = nullptr;
    QComboBox* dpiBox_ = nullptr;
    QCheckBox* grayScale_ = nullptr;
};

/// Shows the options dialog for converting `image` to `targetType`; nothing when cancelled.
std::optional<core::ConversionOptions> ShowConversionOptions(
    QWidget* parent, const codec::CxImage& image, std::uint32_t targetType, core::Ui& ui);

/// Replaces the dialog behind ShowConversionOptions (tests answer it); an empty function brings
/// the dialog back. Answers the prompter that was set before.
using OptionsPrompter = std::function<std::optional<core::ConversionOptions>(
    QWidget* parent, const codec::CxImage& image, std::uint32_t targetType, core::Ui& ui)>;
OptionsPrompter SetOptionsPrompter(OptionsPrompter prompter);

} // namespace app
