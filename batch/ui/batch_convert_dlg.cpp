#include "batch/ui/batch_convert_dlg.h"

#include "app/file_prompt.h"
#include "app/main_frame.h"
#include "app/varden_app.h"
#include "batch/batch_convert.h"
#include "batch/ui/up_dialog.h"
#include "core/registry.h"
#include "widgets/choice_combos.h"
#include "widgets/control_name.h"
#include "widgets/folder_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>
#include <optional>
#include <utility>

namespace batch_ui {

namespace {

const char* const kTitle = "Batch convert files";
const char* const kFolderTitle = "Select a destination directory";
const char* const kParseIntPrompt = "Please enter an integer.";
constexpr int kPathColumnWidth = 300;

// The data exchange's reading of a signed edit: an optional sign and digits, blanks around
// them allowed, and the value must fit 32 bits.
std::optional<std::int32_t> ParseInt(const QString& text)
{
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok, 10);
    if (!ok || value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

QString ToQt(const std::string& text)
{
    return QString::fromStdString(text);
}

// Paths keep the file system's bytes; everything else is UTF-8 text.
std::string PathFromQt(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

QString PathToQt(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

} // namespace

QString CBatchConvertDlg::ControlName(int id)
{
    return widgets::ControlName(id);
}

CBatchConvertDlg::CBatchConvertDlg(QWidget* parent, core::Ui& ui)
    : QDialog(parent)
    , ui_(ui)
{
    setWindowTitle(QString::fromUtf8(kTitle));
    BuildControls();

    // The initialisation: members to controls, then the list, the disabled options and the
    // depth list with nothing chosen.
    UpdateData(false);
    FillList();
    bpp_->setEnabled(false);
    maxSide_->setEnabled(false);
    widgets::FillBppCombo(bpp_);
}

void CBatchConvertDlg::BuildControls()
{
    auto label = [this](const char* text) { return new QLabel(QString::fromUtf8(text), this); };
    auto named = [](QWidget* widget, int id) {
        widget->setObjectName(ControlName(id));
        return widget;
    };

    fileList_ = new QTableWidget(0, 1, this);
    named(fileList_, kIdFileList);
    auto* header = new QTableWidgetItem(QStringLiteral("File- path"));
    header->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    fileList_->setHorizontalHeaderItem(0, header);
    fileList_->setColumnWidth(0, kPathColumnWidth);
    fileList_->horizontalHeader()->setStretchLastSection(false);
    fileList_->verticalHeader()->hide();
    // Rows as close as a list view's: one line of text each.
    fileList_->verticalHeader()->setMinimumSectionSize(fileList_->fontMetrics().height() + 4);
    fileList_->verticalHeader()->setDefaultSectionSize(fileList_->fontMetrics().height() + 4);
    fileList_->setShowGrid(true);
    fileList_->setSelectionBehavior(QAbstractItemView::SelectRows);
    fileList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    fileList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    fileList_->setWordWrap(false);
    fileList_->installEventFilter(this);

    auto* add = new QPushButton(QStringLiteral("Add..."), this);
    named(add, kIdAdd);
    auto* remove = new QPushButton(QStringLiteral("Remove"), this);
    named(remove, kIdRemove);

    format_ = new QComboBox(this);
    named(format_, kIdFormat);
    format_->setEditable(false);
    // The list is sorted the way the platform sorts a list: without regard to letter case.
    std::vector<QString> entries;
    for (std::string_view entry : batch::BatchFormatEntries())
        entries.push_back(QString::fromUtf8(entry.data(), static_cast<qsizetype>(entry.size())));
    // Only the original entries are sorted; the modern formats follow them in their own order.
    const auto originalEnd
        = entries.begin() + static_cast<std::ptrdiff_t>(std::min(batch::kOriginalFormatEntries, entries.size()));
    std::sort(entries.begin(), originalEnd, [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    for (const QString& entry : entries)
        format_->addItem(entry);
    format_->setMaxVisibleItems(static_cast<int>(entries.size()));
    format_->setCurrentIndex(-1);

    destination_ = new QLineEdit(this);
    named(destination_, kIdDestination);
    destination_->setReadOnly(true);
    auto* browse = new QPushButton(QStringLiteral("..."), this);
    named(browse, kIdBrowse);
    browse->setFixedWidth(browse->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);

    suffix_ = new QLineEdit(this);
    named(suffix_, kIdSuffix);

    auto* options = new QGroupBox(QStringLiteral("Options"), this);
    changeBpp_ = new QCheckBox(QStringLiteral("Change Bpp to"), options);
    named(changeBpp_, kIdChangeBpp);
    bpp_ = new QComboBox(options);
    named(bpp_, kIdBpp);
    bpp_->setEditable(false);
    changeMaxSide_ = new QCheckBox(QStringLiteral("Change max. side size to"), options);
    named(changeMaxSide_, kIdChangeMaxSide);
    maxSide_ = new QLineEdit(options);
    named(maxSide_, kIdMaxSide);
    maxSide_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), maxSide_));
    encrypt_ = new QCheckBox(QStringLiteral("Encrypt with password"), options);
    named(encrypt_, kIdEncrypt);
    password_ = new QLineEdit(options);
    named(password_, kIdPassword);
    password_->setReadOnly(true); // shown in clear, as typed

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    named(ok, kIdOk);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    named(cancel, kIdCancel);

    auto* listButtons = new QHBoxLayout;
    listButtons->addStretch(1);
    listButtons->addWidget(add);
    listButtons->addWidget(remove);

    auto* fields = new QGridLayout;
    fields->addWidget(label("Convert to"), 0, 0);
    fields->addWidget(format_, 0, 1, 1, 2);
    fields->addWidget(label("Destination"), 1, 0);
    fields->addWidget(destination_, 1, 1);
    fields->addWidget(browse, 1, 2);
    fields->addWidget(label("Suffix"), 2, 0);
    fields->addWidget(suffix_, 2, 1, 1, 2);
    fields->setColumnStretch(1, 1);

    auto* optionsGrid = new QGridLayout(options);
    optionsGrid->addWidget(changeBpp_, 0, 0);
    optionsGrid->addWidget(bpp_, 0, 1);
    optionsGrid->addWidget(changeMaxSide_, 1, 0);
    optionsGrid->addWidget(maxSide_, 1, 1);
    optionsGrid->addWidget(encrypt_, 2, 0);
    optionsGrid->addWidget(password_, 2, 1);
    optionsGrid->setColumnStretch(1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label("Files to convert"));
    layout->addWidget(fileList_, 1);
    layout->addLayout(listButtons);
    layout->addLayout(fields);
    layout->addWidget(options);
    layout->addLayout(buttons);

    connect(add, &QPushButton::clicked, this, &CBatchConvertDlg::OnAdd);
    connect(remove, &QPushButton::clicked, this, &CBatchConvertDlg::OnRemove);
    connect(browse, &QPushButton::clicked, this, &CBatchConvertDlg::OnBrowse);
    connect(ok, &QPushButton::clicked, this, &CBatchConvertDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CBatchConvertDlg::reject);
    // Each check box governs its control from the first click on; what was typed there stays.
    connect(changeBpp_, &QCheckBox::clicked, this, [this](bool on) { bpp_->setEnabled(on); });
    connect(changeMaxSide_, &QCheckBox::clicked, this, [this](bool on) { maxSide_->setEnabled(on); });
    connect(encrypt_, &QCheckBox::clicked, this, [this](bool on) { password_->setReadOnly(!on); });

    resize(460, 500);
}

void CBatchConvertDlg::SetFileList(const std::vector<std::string>& files)
{
    values_.files = files;
    FillList();
}

void CBatchConvertDlg::FillList()
{
    fileList_->setRowCount(0);
    fileList_->setRowCount(static_cast<int>(values_.files.size()));
    for (std::size_t i = 0; i < values_.files.size(); ++i)
        fileList_->setItem(static_cast<int>(i), 0, new QTableWidgetItem(PathToQt(values_.files[i])));
}

bool CBatchConvertDlg::UpdateData(bool saveAndValidate)
{
    if (!saveAndValidate) {
        destination_->setText(PathToQt(values_.destination));
        format_->setCurrentIndex(
            format_->findText(ToQt(values_.formatText), Qt::MatchExactly | Qt::MatchCaseSensitive));
        suffix_->setText(ToQt(values_.suffix));
        changeBpp_->setChecked(values_.changeBpp);
        bpp_->setCurrentIndex(bpp_->findText(ToQt(values_.bppText), Qt::MatchExactly | Qt::MatchCaseSensitive));
        changeMaxSide_->setChecked(values_.changeMaxSide);
        maxSide_->setText(QString::number(values_.maxSide));
        encrypt_->setChecked(values_.encrypt);
        password_->setText(ToQt(values_.password));
        return true;
    }

    const std::optional<std::int32_t> maxSide = ParseInt(maxSide_->text());
    if (!maxSide) {
        ui_.MessageBox(kParseIntPrompt, core::kAppTitle, core::MessageIcon::Warning, core::Owner::Dialog);
        maxSide_->setFocus(Qt::OtherFocusReason);
        maxSide_->selectAll();
        return false;
    }
    values_.maxSide = *maxSide;
    values_.destination = PathFromQt(destination_->text());
    values_.formatText = format_->currentText().toStdString();
    values_.suffix = suffix_->text().toStdString();
    values_.changeBpp = changeBpp_->isChecked();
    values_.bppText = bpp_->currentText().toStdString();
    values_.changeMaxSide = changeMaxSide_->isChecked();
    values_.encrypt = encrypt_->isChecked();
    values_.password = password_->text().toStdString();
    return true;
}

void CBatchConvertDlg::OnAdd()
{
    app::FilePromptRequest request;
    request.mode = app::FilePromptRequest::OpenMany;
    request.owner = this;
    request.title = QStringLiteral("Open");
    request.nameFilters = app::ToQtNameFilters(core::FullOpenFilter());
    for (const QString& path : app::PromptForFiles(request))
        values_.files.push_back(PathFromQt(path));
    FillList();
}

void CBatchConvertDlg::OnRemove()
{
    std::vector<int> selected;
    for (const QModelIndex& index : fileList_->selectionModel()->selectedRows())
        selected.push_back(index.row());
    if (selected.empty() || values_.files.empty())
        return;
    values_.files = batch::RemoveRows(values_.files, selected);
    FillList();
}

void CBatchConvertDlg::OnBrowse()
{
    // A size being typed must not stop the choice of a folder; the picker starts in the
    // destination shown.
    values_.destination = PathFromQt(destination_->text());
    widgets::CFolderDialog picker(this, kFolderTitle, values_.destination);
    if (picker.DoModal() != 1)
        return;
    values_.destination = picker.selectedPath;
    destination_->setText(PathToQt(values_.destination));
}

void CBatchConvertDlg::accept()
{
    if (!UpdateData(true))
        return;
    if (batch::ValidateBatchSettings(values_, static_cast<std::size_t>(fileList_->rowCount()), ui_)
        != batch::SettingsCheck::Passed)
        return;
    QDialog::accept();
}

bool CBatchConvertDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == fileList_ && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        OnRemove();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

namespace {

BatchDialogPrompter& CurrentPrompter()
{
    static BatchDialogPrompter prompter;
    return prompter;
}

} // namespace

BatchDialogPrompter SetBatchDialogPrompter(BatchDialogPrompter prompter)
{
    return std::exchange(CurrentPrompter(), std::move(prompter));
}

std::optional<batch::BatchDialogValues> ShowBatchConvertDialog(
    QWidget* parent, const std::vector<std::string>& files, core::Ui& ui)
{
    if (const BatchDialogPrompter& prompter = CurrentPrompter())
        return prompter(parent, files, ui);
    CBatchConvertDlg dialog(parent, ui);
    dialog.SetFileList(files);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.Values();
}

void BatchConvertCommand(app::CVardenApp& app)
{
    std::vector<std::string> files;
    if (!app.PromptForImageFiles(files))
        return;
    const std::optional<batch::BatchDialogValues> values = ShowBatchConvertDialog(app.MainFrame(), files, app.GetUi());
    if (!values || values->files.empty())
        return;
    batch::BatchJob job = batch::MakeBatchJob(*values);
    CUPDialog progress(app.MainFrame());
    batch::RunBatchConversion(job, app.GetUi(), progress);
}

} // namespace batch_ui
