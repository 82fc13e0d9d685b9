#include "batch/ui/status_dlg.h"

#include "batch/ui/hlist_box.h"

#include <QBoxLayout>
#include <QFile>
#include <QFontMetrics>
#include <QPushButton>
#include <QShowEvent>

namespace batch::ui {

namespace {

constexpr char kTitle[] = "Conversion report";
constexpr int kWidthUnits = 401;
constexpr int kHeightUnits = 186;

QSize DialogUnitsToPixels(const QWidget& widget, int width, int height)
{
    // A dialog unit is a quarter of the font's average letter width across and an eighth of its
    // height down.
    const QFontMetrics metrics(widget.font());
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int baseX = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
    const int baseY = metrics.height();
    return { width * baseX / 4, height * baseY / 8 };
}

} // namespace

CStatusDlg::CStatusDlg(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("id%1").arg(IDD));
    setWindowTitle(QString::fromUtf8(kTitle));

    reportList_ = new CHListBox(this);
    reportList_->setObjectName(QStringLiteral("id%1").arg(kIdReportList));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("id%1").arg(kIdOk));
    ok->setDefault(true);
    ok->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    auto* top = new QVBoxLayout(this);
    top->addWidget(reportList_, 1);
    top->addLayout(buttons);

    resize(DialogUnitsToPixels(*this, kWidthUnits, kHeightUnits));
}

CStatusDlg::~CStatusDlg() = default;

void CStatusDlg::showEvent(QShowEvent* event)
{
    if (!initialized_) {
        initialized_ = true;
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

bool CStatusDlg::OnInitDialog()
{
    if (results) {
        reportList_->ResetContent();
        for (const std::string& line : ReportLines(*results)) {
            const QString text = QFile::decodeName(QByteArray::fromStdString(line));
            if (reportList_->AddString(text) >= 0)
                reportList_->UpdateExtent(text);
        }
    }
    reportList_->setFocus(Qt::OtherFocusReason);
    return true;
}

} // namespace batch::ui
