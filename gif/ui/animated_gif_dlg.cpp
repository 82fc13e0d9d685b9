#include "gif/ui/animated_gif_dlg.h"

#include "app/file_prompt.h"
#include "core/paths.h"
#include "core/registry.h"
#include "widgets/control_name.h"
#include "widgets/list_rows.h"
#include "widgets/resources.h"
#include "widgets/cross_thread.h"
#include "widgets/to_qimage.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QToolButton>

#include <chrono>
#include <optional>
#include <set>

namespace gif_ui {

namespace {

constexpr const char* kParseUnsignedPrompt = "Please enter a positive integer.";
constexpr const char* kParseIntPrompt = "Please enter an integer.";

using widgets::ControlName;

// The data exchange's readings: blanks around the digits allowed, the value must fit.
std::optional<std::uint32_t> ParseUnsigned(const QString& text)
{
    bool ok = false;
    const qulonglong v = text.trimmed().toULongLong(&ok);
    if (!ok || text.trimmed().startsWith('-') || text.trimmed().startsWith('+') || v > 0xFFFFFFFFull)
        return std::nullopt;
    return static_cast<std::uint32_t>(v);
}

std::optional<int> ParseInt(const QString& text)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(v) : std::nullopt;
}

QStringList GifFilters()
{
    return app::ToQtNameFilters(core::ImageTypeFilter(codec::kTypeGif).filter);
}

} // namespace

CAnimatedGifDlg::CAnimatedGifDlg(QWidget* parent, core::Ui& ui, DocumentOpener opener)
    : QDialog(parent)
    , ui_(ui)
    , opener_(std::move(opener))
{
    setWindowTitle(QStringLiteral("Animate GIF Sequence"));
    setFixedSize(720, 470);
    auto named = [](QWidget* w, int id) {
        w->setObjectName(ControlName(id));
        return w;
    };

    (new QLabel(QStringLiteral("GIF Sequence"), this))->setGeometry(10, 8, 200, 18);
    list_ = new QTableWidget(0, 3, this);
    named(list_, kIdFrameList);
    list_->setGeometry(10, 28, 470, 220);
    list_->setHorizontalHeaderLabels(
        { QStringLiteral("Filename"), QStringLiteral("Filepath"), QStringLiteral("Frame delay") });
    list_->setColumnWidth(0, 150);
    list_->setColumnWidth(1, 200);
    list_->setColumnWidth(2, 114);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 4);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setShowGrid(true);
    list_->installEventFilter(this);
    connect(list_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { OnDoubleClick(row); });

    auto* up = new QToolButton(this);
    named(up, kIdRowUp);
    up->setIcon(QIcon(widgets::ResourcePath("icon", widgets::kIconRowUp)));
    up->setAutoRaise(true);
    up->setGeometry(486, 100, 28, 28);
    auto* down = new QToolButton(this);
    named(down, kIdRowDown);
    down->setIcon(QIcon(widgets::ResourcePath("icon", widgets::kIconRowDown)));
    down->setAutoRaise(true);
    down->setGeometry(486, 134, 28, 28);
    connect(up, &QToolButton::clicked, this, &CAnimatedGifDlg::OnRowUp);
    connect(down, &QToolButton::clicked, this, &CAnimatedGifDlg::OnRowDown);

    (new QLabel(QStringLiteral("Frame delay"), this))->setGeometry(10, 258, 80, 22);
    delayEdit_ = new QLineEdit(this);
    named(delayEdit_, kIdFrameDelay);
    delayEdit_->setGeometry(92, 258, 60, 22);
    (new QLabel(QStringLiteral("Milliseconds"), this))->setGeometry(158, 258, 90, 22);
    auto* add = new QPushButton(QStringLiteral("Add GIF"), this);
    named(add, kIdAddGif);
    add->setGeometry(390, 256, 90, 26);
    connect(add, &QPushButton::clicked, this, &CAnimatedGifDlg::OnAddGif);

    (new QLabel(QStringLiteral("Destination"), this))->setGeometry(10, 292, 80, 22);
    destinationEdit_ = new QLineEdit(this);
    named(destinationEdit_, kIdDestination);
    destinationEdit_->setReadOnly(true);
    destinationEdit_->setGeometry(92, 292, 350, 22);
    auto* browse = new QPushButton(QStringLiteral("..."), this);
    named(browse, kIdBrowse);
    browse->setGeometry(448, 290, 32, 26);
    connect(browse, &QPushButton::clicked, this, &CAnimatedGifDlg::OnBrowse);

    auto* loops = new QGroupBox(QStringLiteral("Loop repeating"), this);
    loops->setGeometry(10, 326, 300, 80);
    infinite_ = new QRadioButton(QStringLiteral("Infinite"), loops);
    named(infinite_, kIdInfinite);
    infinite_->setGeometry(10, 22, 120, 22);
    limitTo_ = new QRadioButton(QStringLiteral("Limit to"), loops);
    named(limitTo_, kIdLimitTo);
    limitTo_->setGeometry(10, 48, 80, 22);
    loopEdit_ = new QLineEdit(loops);
    named(loopEdit_, kIdLoopCount);
    loopEdit_->setGeometry(92, 48, 50, 22);
    loopEdit_->setEnabled(false);
    (new QLabel(QStringLiteral("loops"), loops))->setGeometry(148, 48, 50, 22);
    connect(infinite_, &QRadioButton::clicked, this, [this] { loopEdit_->setEnabled(false); });
    connect(limitTo_, &QRadioButton::clicked, this, [this] { loopEdit_->setEnabled(true); });

    auto* create = new QPushButton(QStringLiteral("Create"), this);
    named(create, kIdCreate);
    create->setDefault(true);
    create->setGeometry(520, 420, 90, 28);
    connect(create, &QPushButton::clicked, this, &CAnimatedGifDlg::OnCreate);
    auto* cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    named(cancel, kIdCancel);
    cancel->setGeometry(620, 420, 90, 28);
    connect(cancel, &QPushButton::clicked, this, &CAnimatedGifDlg::reject);

    (new QLabel(QStringLiteral("Preview"), this))->setGeometry(530, 8, 100, 18);
    preview_ = new QLabel(this);
    named(preview_, kIdPreview);
    preview_->setGeometry(530, 28, 180, 180);
    preview_->setAlignment(Qt::AlignCenter);
    preview_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    play_ = new QPushButton(QStringLiteral("&Play"), this);
    named(play_, kIdPlay);
    play_->setGeometry(530, 216, 85, 26);
    stop_ = new QPushButton(QStringLiteral("&Stop"), this);
    named(stop_, kIdStop);
    stop_->setGeometry(625, 216, 85, 26);
    stop_->setEnabled(false);
    progress_ = new QProgressBar(this);
    named(progress_, kIdProgress);
    progress_->setGeometry(530, 250, 180, 16);
    progress_->setTextVisible(false);
    progress_->setValue(0);
    connect(play_, &QPushButton::clicked, this, &CAnimatedGifDlg::OnPlay);
    connect(stop_, &QPushButton::clicked, this, &CAnimatedGifDlg::StopPreview);

    UpdateData(false);
}

CAnimatedGifDlg::~CAnimatedGifDlg()
{
    StopPreview(); // the thread ends before the images it reads go
}

bool CAnimatedGifDlg::UpdateData(bool saveAndValidate)
{
    if (!saveAndValidate) {
        destinationEdit_->setText(QString::fromStdString(destination_));
        delayEdit_->setText(QString::number(frameDelay_));
        loopEdit_->setText(QString::number(loopCount_));
        (loopMode_ == 0 ? infinite_ : limitTo_)->setChecked(true);
        return true;
    }
    const std::optional<std::uint32_t> delay = ParseUnsigned(delayEdit_->text());
    if (!delay) {
        ui_.MessageBox(kParseUnsignedPrompt, core::kAppTitle, core::MessageIcon::Warning, core::Owner::Dialog);
        delayEdit_->setFocus();
        return false;
    }
    const std::optional<int> loops = ParseInt(loopEdit_->text());
    if (!loops || *loops < gif::kMinLoops || *loops > gif::kMaxLoops) {
        ui_.MessageBox(loops ? gif::kLoopRangeMessage : kParseIntPrompt,
            core::kAppTitle,
            core::MessageIcon::Warning,
            core::Owner::Dialog);
        loopEdit_->setFocus();
        return false;
    }
    frameDelay_ = *delay;
    loopCount_ = *loops;
    loopMode_ = limitTo_->isChecked() ? 1 : 0;
    destination_ = destinationEdit_->text().toStdString();
    return true;
}

void CAnimatedGifDlg::ShowList()
{
    list_->setRowCount(0);
    for (const gif::GifFrameSource& frame : frames_) {
        const int row = list_->rowCount();
        list_->insertRow(row);
        list_->setItem(row, 0, new QTableWidgetItem(QString::fromStdString(core::PathFileName(frame.path))));
        list_->setItem(row, 1, new QTableWidgetItem(QString::fromStdString(frame.path)));
        list_->setItem(row, 2, new QTableWidgetItem(QString::number(frame.delay)));
    }
}

void CAnimatedGifDlg::OnAddGif()
{
    if (!UpdateData(true))
        return;
    app::FilePromptRequest request;
    request.mode = app::FilePromptRequest::OpenMany;
    request.owner = this;
    request.nameFilters = GifFilters();
    for (const QString& path : app::PromptForFiles(request)) {
        const std::string p = path.toStdString();
        if (core::ImageTypeFromExtension(p) == codec::kTypeGif) // other files are skipped silently
            frames_.push_back({ p, frameDelay_ });
    }
    ShowList();
    UpdateData(false);
}

void CAnimatedGifDlg::OnBrowse()
{
    if (!UpdateData(true))
        return;
    app::FilePromptRequest request;
    request.mode = app::FilePromptRequest::Open;
    request.owner = this;
    request.nameFilters = GifFilters();
    const QStringList chosen = app::PromptForFiles(request);
    if (!chosen.isEmpty())
        destination_ = chosen.front().toStdString();
    UpdateData(false);
}

void CAnimatedGifDlg::OnCreate()
{
    if (!UpdateData(true))
        return;
    if (const char* problem = gif::CheckAnimationCreate(static_cast<std::size_t>(list_->rowCount()), destination_)) {
        ui_.MessageBox(problem, core::kAppTitle, core::MessageIcon::Information, core::Owner::Dialog);
        return;
    }
    StopPreview();
    if (!UpdateData(true))
        return;
    if (loopMode_ == 0)
        loopCount_ = -1;
    accept();
}

void CAnimatedGifDlg::reject()
{
    StopPreview();
    QDialog::reject();
}

void CAnimatedGifDlg::OnDeleteSelected()
{
    std::set<int> selected;
    for (const QModelIndex& index : list_->selectionModel()->selectedRows())
        selected.insert(index.row());
    std::vector<gif::GifFrameSource> kept;
    for (std::size_t i = 0; i < frames_.size(); ++i)
        if (!selected.count(static_cast<int>(i)))
            kept.push_back(frames_[i]);
    frames_ = std::move(kept);
    ShowList();
}

void CAnimatedGifDlg::OnRowUp()
{
    widgets::MoveRowUp(*list_, frames_);
}

void CAnimatedGifDlg::OnRowDown()
{
    widgets::MoveRowDown(*list_, frames_);
}

void CAnimatedGifDlg::OnDoubleClick(int row)
{
    const QTableWidgetItem* item = list_->item(row, 1);
    if (!item || item->text().isEmpty() || !opener_)
        return;
    opener_(item->text().toStdString());
}

bool CAnimatedGifDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == list_ && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        OnDeleteSelected();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CAnimatedGifDlg::OnPlay()
{
    if (IsPreviewing())
        return; // Play is disabled while previewing
    previewImages_.clear();
    const int rows = list_->rowCount();
    if (rows <= 1) {
        ui_.MessageBox(
            gif::kTooFewPreviewFramesMessage, core::kAppTitle, core::MessageIcon::Information, core::Owner::Dialog);
        return;
    }
    progress_->setRange(0, rows);
    progress_->setValue(1);
    const QSize area = preview_->size();
    for (int i = 0; i < rows; ++i) {
        codec::CxImage image(list_->item(i, 1)->text().toStdString(), codec::kTypeGif);
        const std::uint32_t bpp = image.GetBpp();
        const std::uint32_t delay = ParseUnsigned(list_->item(i, 2)->text()).value_or(0);
        if (image.IsValid()
            && (image.GetWidth() > static_cast<std::uint32_t>(area.width())
                || image.GetHeight() > static_cast<std::uint32_t>(area.height())))
            image.Resample2(static_cast<std::uint32_t>(area.width()),
                static_cast<std::uint32_t>(area.height()),
                codec::kInterpolationBicubic,
                codec::kOverflowRepeat);
        if (bpp > 8)
            image.DecreaseBpp(8, true);
        image.SetFrameDelay(delay);
        previewImages_.push_back(std::move(image));
        progress_->setValue(i + 1);
    }
    stopPreview_ = false;
    previewThread_ = std::thread([this] { RunPreview(); });
    play_->setEnabled(false);
    stop_->setEnabled(true);
}

void CAnimatedGifDlg::ShowPreviewImage(std::size_t index)
{
    if (stopPreview_ || index >= previewImages_.size())
        return;
    preview_->setPixmap(QPixmap::fromImage(widgets::ToQImage(previewImages_[index])));
    preview_->repaint();
}

void CAnimatedGifDlg::RunPreview()
{
    std::size_t index = 0;
    const std::size_t count = previewImages_.size();
    while (!stopPreview_) {
        index = index + 1 < count ? index + 1 : 0; // the first frame shown is the second
        // The label belongs to the dialog's thread: the frame is shown from there.
        widgets::InvokeFromWorker(this, [this, index] { ShowPreviewImage(index); }, Qt::QueuedConnection);
        const std::uint32_t ms = previewImages_[index].GetFrameDelay() * 10;
        if (waitObserver_)
            waitObserver_(ms);
        std::unique_lock lock(previewLock_);
        previewWake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopPreview_.load(); });
    }
}

void CAnimatedGifDlg::StopPreview()
{
    if (!previewThread_.joinable())
        return;
    play_->setEnabled(true);
    stop_->setEnabled(false);
    {
        std::lock_guard lock(previewLock_);
        stopPreview_ = true;
    }
    previewWake_.notify_all();
    progress_->setValue(0);
    // Its display requests are queued, never waited for, so joining cannot block them.
    previewThread_.join();
}

void OnAnimateGif(QWidget* mainWindow, core::Ui& ui, CAnimatedGifDlg::DocumentOpener opener)
{
    CAnimatedGifDlg dialog(mainWindow, ui, std::move(opener));
    if (dialog.exec() != QDialog::Accepted)
        return;
    // The builder reports nothing to the user, as the command always has.
    gif::BuildAnimatedGif(dialog.Frames(), dialog.Destination(), dialog.LoopCount());
}

} // namespace gif_ui
