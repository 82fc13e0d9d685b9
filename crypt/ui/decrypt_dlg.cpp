#include "crypt/ui/decrypt_dlg.h"

#include "app/file_prompt.h"
#include "core/paths.h"
#include "crypt/cipher_run.h"
#include "widgets/control_name.h"
#include "widgets/folder_dialog.h"

#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>

namespace cryptui {

namespace {

// Both runs show this dialog; its title is the same for encryption.
constexpr char kTitle[] = "Decypt files";
constexpr char kFolderTitle[] = "Select a destination directory";
constexpr char kFilePromptTitle[] = "Open";
constexpr int kColumnWidth = 300;

QString FromLocal(const std::string& text)
{
    return QFile::decodeName(QByteArray::fromStdString(text));
}

std::string ToLocal(const QString& text)
{
    return QFile::encodeName(text).toStdString();
}

QPushButton* MakeButton(QWidget* parent, const char* text, int id)
{
    auto* button = new QPushButton(QString::fromUtf8(text), parent);
    button->setObjectName(CDecryptDlg::ControlName(id));
    button->setAutoDefault(false);
    return button;
}

} // namespace

QString CDecryptDlg::ControlName(int id)
{
    return widgets::ControlName(id);
}

CDecryptDlg::CDecryptDlg(QWidget* parent, core::Ui& ui)
    : QDialog(parent)
    , ui_(ui)
{
    setObjectName(ControlName(IDD));
    setWindowTitle(QString::fromUtf8(kTitle));

    auto* passwordLabel = new QLabel(QStringLiteral("Password for these files"), this);
    passwordEdit_ = new QLineEdit(this);
    passwordEdit_->setObjectName(ControlName(kIdPassword));
    passwordEdit_->setEchoMode(QLineEdit::Password);
    passwordLabel->setBuddy(passwordEdit_);

    auto* destinationLabel = new QLabel(QStringLiteral("Destination path for the files"), this);
    destinationEdit_ = new QLineEdit(this);
    destinationEdit_->setObjectName(ControlName(kIdDestination));
    destinationEdit_->setReadOnly(true);
    // Shown as read-only edits are, so nobody tries to type a folder there.
    QPalette readOnly = destinationEdit_->palette();
    readOnly.setColor(QPalette::Base, readOnly.color(QPalette::Window));
    destinationEdit_->setPalette(readOnly);
    QPushButton* pick = MakeButton(this, "...", kIdPickFolder);
    pick->setFixedWidth(pick->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);

    list_ = new QTableWidget(this);
    list_->setObjectName(ControlName(kIdFileList));
    list_->verticalHeader()->hide();
    list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list_->horizontalHeader()->setStretchLastSection(false);
    list_->horizontalHeader()->setHighlightSections(false);
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 4);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setWordWrap(false);
    list_->setMinimumSize(2 * kColumnWidth + 2 * list_->frameWidth() + 20, 180);

    QPushButton* add = MakeButton(this, "Add...", kIdAddFiles);
    QPushButton* ok = MakeButton(this, "OK", kIdOk);
    ok->setDefault(true);
    QPushButton* cancel = MakeButton(this, "Abbrechen", kIdCancel);

    auto* destinationRow = new QHBoxLayout;
    destinationRow->addWidget(destinationEdit_, 1);
    destinationRow->addWidget(pick);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* top = new QVBoxLayout(this);
    top->addWidget(passwordLabel);
    top->addWidget(passwordEdit_);
    top->addSpacing(6);
    top->addWidget(destinationLabel);
    top->addLayout(destinationRow);
    top->addSpacing(6);
    top->addWidget(list_, 1);
    top->addLayout(buttons);

    connect(pick, &QPushButton::clicked, this, &CDecryptDlg::OnPickFolder);
    connect(add, &QPushButton::clicked, this, &CDecryptDlg::OnAddFiles);
    connect(ok, &QPushButton::clicked, this, &CDecryptDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

CDecryptDlg::~CDecryptDlg() = default;

void CDecryptDlg::SetFiles(const std::vector<std::string>& files)
{
    files_ = files;
}

bool CDecryptDlg::UpdateData(bool saveAndValidate)
{
    if (saveAndValidate) {
        // The password's bytes are what the cipher gets and what the length check counts.
        password_ = passwordEdit_->text().toStdString();
        destination_ = ToLocal(destinationEdit_->text());
    } else {
        passwordEdit_->setText(QString::fromStdString(password_));
        destinationEdit_->setText(FromLocal(destination_));
    }
    return true;
}

void CDecryptDlg::showEvent(QShowEvent* event)
{
    if (!initialized_) {
        initialized_ = true;
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

bool CDecryptDlg::OnInitDialog()
{
    UpdateData(false);
    list_->clear();
    list_->setRowCount(0);
    list_->setColumnCount(2);
    list_->setHorizontalHeaderLabels({ QStringLiteral("File- name"), QStringLiteral("File- path") });
    list_->setColumnWidth(0, kColumnWidth);
    list_->setColumnWidth(1, kColumnWidth);
    // Grid lines and whole rows selected, as the list's extended style asks.
    list_->setShowGrid(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    FillRows();
    return true;
}

void CDecryptDlg::FillRows()
{
    list_->clearSelection();
    list_->setRowCount(0);
    if (!files_)
        return;
    list_->setRowCount(static_cast<int>(files_->size()));
    for (int row = 0; row < static_cast<int>(files_->size()); ++row) {
        const std::string& path = (*files_)[static_cast<std::size_t>(row)];
        list_->setItem(row, 0, new QTableWidgetItem(FromLocal(core::PathFileName(path))));
        list_->setItem(row, 1, new QTableWidgetItem(FromLocal(path)));
    }
    list_->scrollToTop();
}

void CDecryptDlg::OnPickFolder()
{
    UpdateData(true);
    widgets::CFolderDialog picker(this, kFolderTitle, destination_);
    if (picker.DoModal() != 1)
        return;
    destination_ = picker.selectedPath;
    UpdateData(false);
}

void CDecryptDlg::OnAddFiles()
{
    // The members are not read here: a password typed so far stays in its control.
    app::FilePromptRequest request;
    request.mode = app::FilePromptRequest::OpenMany;
    request.owner = this;
    request.title = QString::fromUtf8(kFilePromptTitle);
    const QStringList chosen = app::PromptForFiles(request);
    if (!chosen.isEmpty()) {
        if (!files_)
            files_.emplace();
        for (const QString& path : chosen)
            files_->push_back(ToLocal(path));
    }
    // Rebuilt also after a cancel, which resets the selection and the scrolling.
    FillRows();
}

void CDecryptDlg::accept()
{
    UpdateData(true);
    const cipher::CipherInputProblem problem
        = cipher::CheckCipherInputs(password_, destination_, files_ ? *files_ : std::vector<std::string>());
    switch (problem) {
    case cipher::CipherInputProblem::Password:
        ui_.MessageBox(
            cipher::CipherInputMessage(problem), core::kAppTitle, core::MessageIcon::Error, core::Owner::Dialog);
        password_.clear();
        break;
    case cipher::CipherInputProblem::Destination:
        ui_.MessageBox(
            cipher::CipherInputMessage(problem), core::kAppTitle, core::MessageIcon::Information, core::Owner::Dialog);
        destination_.clear();
        break;
    case cipher::CipherInputProblem::Files:
        ui_.MessageBox(
            cipher::CipherInputMessage(problem), core::kAppTitle, core::MessageIcon::Information, core::Owner::Dialog);
        break;
    case cipher::CipherInputProblem::None:
        UpdateData(true);
        QDialog::accept();
        return;
    }
    UpdateData(false);
}

} // namespace cryptui
