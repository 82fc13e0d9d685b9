#include "app/export_image_file_dlg.h"

#include "app/file_prompt.h"
#include "widgets/control_name.h"

#include <utility>

#include "core/registry.h"
#include "widgets/choice_combos.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <limits>
#include <vector>

namespace app {

namespace {

const char* const kTitle = "Convert image files";
const char* const kAcceptText = "File conversion";
const char* const kParseUnsignedPrompt = "Please enter a positive integer.";

// The data exchange's reading of an unsigned edit: digits only, blanks around them allowed,
// and the value must fit 32 bits.
std::optional<std::uint32_t> ParseUnsigned(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (QChar c : t) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c.unicode() - '0');
        if (value > std::numeric_limits<std::uint32_t>::max())
            return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

// Brings a list to the state's entries: the registry's list (filled by `fill`) followed by any
// entry the rules appended. An unchanged list is left alone, so it keeps its popup state.
void SetItems(QComboBox* box, void (*fill)(QComboBox*), const std::vector<std::string>& items)
{
    bool same = box->count() == static_cast<int>(items.size());
    for (int i = 0; same && i < box->count(); ++i)
        same = box->itemText(i) == QString::fromStdString(items[static_cast<std::size_t>(i)]);
    if (same)
        return;
    box->clear();
    fill(box);
    for (std::size_t i = static_cast<std::size_t>(box->count()); i < items.size(); ++i)
        box->addItem(QString::fromStdString(items[i]));
}

// Sets a flag for its lifetime.
class Busy {
public:
    explicit Busy(bool& flag)
        : flag_(flag)
        , old_(flag)
    {
        flag_ = true;
    }
    ~Busy() { flag_ = old_; }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    bool& flag_;
    bool old_;
};

} // namespace

QString CExportImageFileDlg::ControlName(int id)
{
    return widgets::ControlName(id);
}

CExportImageFileDlg::CExportImageFileDlg(
    QWidget* parent, const codec::CxImage& image, std::uint32_t targetType, core::Ui& ui)
    : QFileDialog(parent)
    , ui_(ui)
{
    // The panel goes into the dialog's own layout, which only Qt's widget-based dialog has.
    // The system never asks before replacing a file, so neither does the dialog.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setOption(QFileDialog::DontConfirmOverwrite, true);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);

    const core::TypeFilter typeFilter = core::ImageTypeFilter(targetType);
    setOption(QFileDialog::HideNameFilterDetails, true);
    setNameFilters(ToQtNameFilters(typeFilter.filter));
    setDefaultSuffix(QString::fromStdString(typeFilter.defaultExtension));

    setWindowTitle(QString::fromUtf8(kTitle));
    setLabelText(QFileDialog::Accept, QString::fromUtf8(kAcceptText));
    NameButtons();

    QWidget* panel = BuildPanel();
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(panel, grid->rowCount(), 0, 1, grid->columnCount());
    else if (layout())
        layout()->addWidget(panel);

    state_ = core::PrepareConversionOptions(image, targetType);
    core::ExportDialogInit(state_);
    UpdateData(false);
}

CExportImageFileDlg::~CExportImageFileDlg()
{
    // The edits outlive this part of the object; their focus changes must not reach it.
    width_->removeEventFilter(this);
    height_->removeEventFilter(this);
}

void CExportImageFileDlg::NameButtons()
{
    auto* buttons = findChild<QDialogButtonBox*>();
    if (!buttons)
        return;
    if (QPushButton* ok = buttons->button(QDialogButtonBox::Save))
        ok->setObjectName(ControlName(kIdOk));
    if (QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel))
        cancel->setObjectName(ControlName(kIdCancel));
}

QWidget* CExportImageFileDlg::BuildPanel()
{
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("optionsPanel"));
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(0, 6, 0, 0);

    auto label = [panel](const char* text) { return new QLabel(QString::fromUtf8(text), panel); };
    const QFontMetrics metrics(panel->font());
    const int editWidth = metrics.horizontalAdvance(QStringLiteral("0000000")) + 12;

    auto* dimensionsLabel = label("Dimensions");
    width_ = new QLineEdit(panel);
    width_->setObjectName(ControlName(kIdWidth));
    width_->setFixedWidth(editWidth);
    auto* xLabel = label("x");
    height_ = new QLineEdit(panel);
    height_->setObjectName(ControlName(kIdHeight));
    height_->setFixedWidth(editWidth);
    auto* yLabel = label("y");
    keepProportions_ = new QCheckBox(QStringLiteral("Keep proportions"), panel);
    keepProportions_->setObjectName(ControlName(kIdKeepProportions));

    auto* bppLabel = label("Bits per pixel");
    bppBox_ = new QComboBox(panel);
    bppBox_->setObjectName(ControlName(kIdBpp));
    bppBox_->setEditable(false);
    bppBox_->setMinimumWidth(editWidth);
    auto* dpiLabel = label("dpi");
    dpiBox_ = new QComboBox(panel);
    dpiBox_->setObjectName(ControlName(kIdDpi));
    dpiBox_->setEditable(true);
    dpiBox_->setInsertPolicy(QComboBox::NoInsert); // a typed resolution is used, not added to the list
    dpiBox_->setMinimumWidth(editWidth);
    widgets::FillBppCombo(bppBox_);
    widgets::FillDpiCombo(dpiBox_);
    grayScale_ = new QCheckBox(QStringLiteral("Gray- scale"), panel);
    grayScale_->setObjectName(ControlName(kIdGrayScale));

    auto* sizeRow = new QHBoxLayout;
    sizeRow->addWidget(width_);
    sizeRow->addWidget(xLabel);
    sizeRow->addWidget(height_);
    sizeRow->addWidget(yLabel);
    sizeRow->addStretch(1);
    auto* depthRow = new QHBoxLayout;
    depthRow->addWidget(bppBox_);
    depthRow->addSpacing(12);
    depthRow->addWidget(dpiLabel);
    depthRow->addWidget(dpiBox_);
    depthRow->addStretch(1);

    grid->addWidget(dimensionsLabel, 0, 0);
    grid->addLayout(sizeRow, 0, 1);
    grid->addWidget(keepProportions_, 0, 2);
    grid->addWidget(bppLabel, 1, 0);
    grid->addLayout(depthRow, 1, 1);
    grid->addWidget(grayScale_, 1, 2);
    grid->setColumnStretch(1, 1);

    width_->installEventFilter(this);
    height_->installEventFilter(this);
    return panel;
}

bool CExportImageFileDlg::UpdateData(bool saveAndValidate)
{
    Busy busy(exchanging_);
    if (!saveAndValidate) {
        width_->setText(QString::number(state_.width));
        height_->setText(QString::number(state_.height));
        keepProportions_->setChecked(state_.keepProportions);
        grayScale_->setChecked(state_.grayScale);
        SetItems(bppBox_, widgets::FillBppCombo, state_.bppList);
        bppBox_->setCurrentIndex(state_.bppSelected);
        bppBox_->setEnabled(state_.bppEnabled);
        SetItems(dpiBox_, widgets::FillDpiCombo, state_.dpiList);
        dpiBox_->setCurrentIndex(state_.dpiSelected);
        dpiBox_->setEditText(QString::fromStdString(state_.dpiText));
        return true;
    }

    std::uint32_t size[2] = {};
    QLineEdit* edits[2] = { width_, height_ };
    for (int i = 0; i < 2; ++i) {
        const std::optional<std::uint32_t> value = ParseUnsigned(edits[i]->text());
        if (!value) {
            ui_.MessageBox(kParseUnsignedPrompt, core::kAppTitle, core::MessageIcon::Warning, core::Owner::Dialog);
            edits[i]->setFocus(Qt::OtherFocusReason);
            edits[i]->selectAll();
            return false;
        }
        size[i] = *value;
    }
    state_.width = size[0];
    state_.height = size[1];
    state_.keepProportions = keepProportions_->isChecked();
    state_.grayScale = grayScale_->isChecked();
    state_.bppText = bppBox_->currentText().toStdString();
    state_.bppSelected = bppBox_->currentIndex();
    state_.dpiText = dpiBox_->currentText().toStdString();
    state_.dpiSelected = dpiBox_->findText(dpiBox_->currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive);
    return true;
}

bool CExportImageFileDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut && (watched == width_ || watched == height_) && !exchanging_) {
        // Only a move to another control counts: switching windows or opening a context menu
        // is no leaving of the edit.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            OnKillFocusDimension(static_cast<QLineEdit*>(watched));
    }
    return QFileDialog::eventFilter(watched, event);
}

void CExportImageFileDlg::OnKillFocusDimension(QLineEdit* edit)
{
    // Held across the handler: giving the focus back after a refused value moves it away from
    // the control that just got it, and that must not run the handler a second time.
    Busy busy(exchanging_);
    if (!UpdateData(true))
        return;
    if (edit == width_)
        core::ExportDialogLeaveWidth(state_);
    else
        core::ExportDialogLeaveHeight(state_);
    UpdateData(false);
}

void CExportImageFileDlg::accept()
{
    const QStringList files = selectedFiles();
    // A folder (or "..", or no name yet) is no file name: the file dialog changes folder.
    if (files.isEmpty() || QFileInfo(files.first()).isDir()) {
        QFileDialog::accept();
        return;
    }
    // Qt looks for a folder of the typed name in the working directory, not in the one shown,
    // before it adds the default suffix; so a folder typed by name would become a new file
    // "<folder>.<suffix>". Open it instead, as the file dialog does for a folder it recognises.
    if (auto* nameEdit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
        const QString typed = nameEdit->text().trimmed();
        const QFileInfo typedInfo(QDir(directory()).absoluteFilePath(typed));
        if (!typed.isEmpty() && typedInfo.isDir()) {
            setDirectory(typedInfo.absoluteFilePath());
            nameEdit->clear();
            return;
        }
    }
    Busy busy(exchanging_);
    if (!UpdateData(true))
        return;
    const bool ok = core::ExportDialogFileNameOK(state_, ui_);
    UpdateData(false);
    if (!ok)
        return;
    acceptedPath_ = QFile::encodeName(files.first()).toStdString();
    QFileDialog::accept();
}

std::optional<core::ConversionOptions> CExportImageFileDlg::Options() const
{
    if (result() != QDialog::Accepted)
        return std::nullopt;
    return core::ExportDialogResult(state_, acceptedPath_);
}

namespace {

OptionsPrompter& CurrentOptionsPrompter()
{
    static OptionsPrompter prompter;
    return prompter;
}

} // namespace

OptionsPrompter SetOptionsPrompter(OptionsPrompter prompter)
{
    return std::exchange(CurrentOptionsPrompter(), std::move(prompter));
}

std::optional<core::ConversionOptions> ShowConversionOptions(
    QWidget* parent, const codec::CxImage& image, std::uint32_t targetType, core::Ui& ui)
{
    if (const OptionsPrompter& prompter = CurrentOptionsPrompter())
        return prompter(parent, image, targetType, ui);
    CExportImageFileDlg dialog(parent, image, targetType, ui);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.Options();
}

} // namespace app
