#include "tiff/ui/multipage_tiff_dlg.h"

#include "app/file_prompt.h"
#include "core/paths.h"
#include "core/registry.h"
#include "widgets/control_name.h"
#include "widgets/list_rows.h"
#include "widgets/resources.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace tiff_ui {

namespace {

struct Column {
    const char* title;
    int width;
};
constexpr Column kColumns[] = { { "Filename", 150 }, { "Filepath", 200 }, { "File type", 114 } };

QToolButton* IconButton(QWidget* parent, int iconId, int controlId)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(CMultipageTiffDlg::ControlName(controlId));
    button->setIcon(QIcon(widgets::ResourcePath("icon", iconId)));
    button->setIconSize(QSize(16, 16));
    button->setAutoRaise(true); // a static icon that reports clicks, not a push button
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QString ToQt(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace

CMultipageTiffDlg::CMultipageTiffDlg(QWidget* parent)
    : QDialog(parent ? parent : QApplication::activeWindow())
{
    setWindowTitle(QStringLiteral("Create multipage Tiff file"));

    auto* label = new QLabel(QStringLiteral("Pages"), this);
    list_ = new QTableWidget(0, 0, this);
    list_->setObjectName(ControlName(kIdList));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->verticalHeader()->hide();
    list_->horizontalHeader()->setStretchLastSection(false);
    list_->horizontalHeader()->setHighlightSections(false);
    list_->setWordWrap(false);
    // Rows as tight as a report-mode list view's, not a spreadsheet's.
    list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 6);
    list_->setMinimumSize(150 + 200 + 114 + 4, 220);

    auto* add = new QPushButton(QStringLiteral("Add..."), this);
    add->setObjectName(ControlName(kIdAdd));
    add->setAutoDefault(false);
    QToolButton* up = IconButton(this, widgets::kIconRowUp, kIdRowUp);
    QToolButton* down = IconButton(this, widgets::kIconRowDown, kIdRowDown);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(ControlName(kIdOk));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Abbrechen"), this);
    cancel->setObjectName(ControlName(kIdCancel));
    cancel->setAutoDefault(false);

    connect(add, &QPushButton::clicked, this, &CMultipageTiffDlg::OnAdd);
    connect(up, &QToolButton::clicked, this, &CMultipageTiffDlg::OnRowUp);
    connect(down, &QToolButton::clicked, this, &CMultipageTiffDlg::OnRowDown);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* side = new QVBoxLayout;
    side->addWidget(add);
    side->addSpacing(8);
    auto* arrows = new QHBoxLayout;
    arrows->addWidget(up);
    arrows->addWidget(down);
    arrows->addStretch();
    side->addLayout(arrows);
    side->addStretch();
    side->addWidget(ok);
    side->addWidget(cancel);

    auto* body = new QHBoxLayout;
    body->addWidget(list_, 1);
    body->addLayout(side);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addLayout(body, 1);
}

CMultipageTiffDlg::~CMultipageTiffDlg() = default;

QString CMultipageTiffDlg::ControlName(int id)
{
    return widgets::ControlName(id);
}

void CMultipageTiffDlg::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        OnInitDialog();
    QDialog::showEvent(event);
}

void CMultipageTiffDlg::OnInitDialog()
{
    list_->clear();
    list_->setRowCount(0);
    list_->setColumnCount(0);
    list_->setColumnCount(static_cast<int>(std::size(kColumns)));
    for (int c = 0; c < static_cast<int>(std::size(kColumns)); ++c) {
        auto* header = new QTableWidgetItem(QString::fromLatin1(kColumns[c].title));
        header->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        list_->setHorizontalHeaderItem(c, header);
        list_->setColumnWidth(c, kColumns[c].width);
    }
    list_->setShowGrid(true);
    RefillRows();
}

void CMultipageTiffDlg::RefillRows()
{
    if (!files_)
        return;
    list_->setRowCount(0);
    for (const std::string& path : *files_) {
        const int row = list_->rowCount();
        list_->insertRow(row);
        list_->setItem(row, 0, new QTableWidgetItem(ToQt(core::PathFileName(path))));
        list_->setItem(row, 1, new QTableWidgetItem(ToQt(path)));
        // The extension as written, the dot included: ".JPG" stays ".JPG".
        list_->setItem(row, 2, new QTableWidgetItem(ToQt(core::PathExtension(path))));
    }
}

void CMultipageTiffDlg::OnAdd()
{
    app::FilePromptRequest request;
    request.mode = app::FilePromptRequest::OpenMany;
    request.owner = this;
    request.title = QStringLiteral("Open");
    request.nameFilters = app::ToQtNameFilters(core::ImageTypeFilter(0).filter);
    const QStringList chosen = app::PromptForFiles(request);
    if (files_)
        for (const QString& path : chosen)
            files_->push_back(path.toStdString());
    RefillRows();
}

void CMultipageTiffDlg::OnRowUp()
{
    if (files_)
        widgets::MoveRowUp(*list_, *files_);
}

void CMultipageTiffDlg::OnRowDown()
{
    if (files_)
        widgets::MoveRowDown(*list_, *files_);
}

} // namespace tiff_ui
