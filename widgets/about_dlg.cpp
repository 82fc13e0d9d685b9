#include "widgets/about_dlg.h"

#include "widgets/hyperlink.h"
#include "widgets/image_ctrl.h"
#include "widgets/resources.h"

#include <QBoxLayout>
#include <QDesktopServices>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include <cmath>
#include <utility>

namespace widgets {

namespace {

constexpr char kTitle[] = "About Korvane Pelmora";
constexpr char kVersion[] = "Korvane Pelmora Version 1.0";
constexpr char kNotice[] = "Copyright (C) 2024 Korvane Software Solutions Ltd. All rights reserved.";
constexpr char kMakerLine[] = "Korvane Pelmora is developed by Korvane Software Solutions Ltd.";
constexpr char kInformationLine[] = "Further information about Korvane and it's members is available at the";
constexpr char kWebsite[] = "Korvane Website";
constexpr char kContactText[]
    = "For additional feature request, bug reports or any other requests feel free to contact "
      "the members of Korvane Software Solutions Ltd.";
constexpr char kContact[] = "Korvane contact";
constexpr char kCompany[] = "Korvane Software Solutions Ltd.";
constexpr char kCompanyFace[] = "Sylfaen";

constexpr char kWebsiteAddress[] = "https://www.korvane.example/";
constexpr char kWebsiteQuery[] = "?app=Velk";
constexpr char kContactAddress[] = "mailto:office@korvane.example";

CAboutDlg::UrlOpener& CurrentOpener()
{
    static CAboutDlg::UrlOpener opener;
    return opener;
}

// A link the desktop cannot open fails silently.
void OpenUrl(const QUrl& url)
{
    if (const CAboutDlg::UrlOpener& opener = CurrentOpener())
        opener(url);
    else
        QDesktopServices::openUrl(url);
}

QLabel* MakeStatic(QWidget* parent, const char* text, int id = 0)
{
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    // Static texts show ampersands as they are; only the controls with an id get a name.
    label->setTextFormat(Qt::PlainText);
    if (id != 0)
        label->setObjectName(QStringLiteral("id%1").arg(id));
    return label;
}

} // namespace

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent)
{
    BuildTemplate();
    OnInitDialog();
}

CAboutDlg::~CAboutDlg() = default;

CAboutDlg::UrlOpener CAboutDlg::SetUrlOpener(UrlOpener opener)
{
    return std::exchange(CurrentOpener(), std::move(opener));
}

QUrl CAboutDlg::WebsiteUrl()
{
    return QUrl(QString::fromLatin1(kWebsiteAddress) + QLatin1String(kWebsiteQuery));
}

QUrl CAboutDlg::ContactUrl()
{
    return QUrl(QString::fromLatin1(kContactAddress));
}

void CAboutDlg::BuildTemplate()
{
    setObjectName(QStringLiteral("id%1").arg(IDD));
    setWindowTitle(QString::fromUtf8(kTitle));

    auto* icon = new QLabel(this);
    icon->setPixmap(QPixmap(ResourcePath("icon", kIconApp)));
    icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    QLabel* version = MakeStatic(this, kVersion);
    QLabel* notice = MakeStatic(this, kNotice);
    // Two lines; the web link is laid over the gap left in the second so the sentence reads on
    // through it. LayOutWebsiteLink sizes the gap for the font in use.
    information_ = MakeStatic(this, kMakerLine);
    information_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    website_ = MakeStatic(this, kWebsite, kIdWebsite);
    QLabel* contactText = MakeStatic(this, kContactText);
    contactText->setWordWrap(true);
    contact_ = MakeStatic(this, kContact, kIdContact);

    picture_ = new CImageCtrl(this);
    picture_->setObjectName(QStringLiteral("id%1").arg(kIdPicture));
    // Qt's own reader: the picture is one of ours, not a file a user gave.
    const QPixmap bitmap(ResourcePath("bitmap", kBitmapAbout));
    picture_->setPixmap(bitmap);
    picture_->setFixedSize(bitmap.size());
    company_ = new CImageCtrl(QString::fromUtf8(kCompany), this);
    company_->setObjectName(QStringLiteral("id%1").arg(kIdCompany));
    company_->setTextFormat(Qt::PlainText);
    company_->setAlignment(Qt::AlignCenter);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("id1"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    texts->addWidget(version);
    texts->addWidget(notice);
    texts->addSpacing(12);
    texts->addWidget(information_);
    texts->addSpacing(12);
    texts->addWidget(contactText);
    texts->addWidget(contact_, 0, Qt::AlignLeft);
    texts->addSpacing(12);
    texts->addWidget(picture_, 0, Qt::AlignHCenter);
    texts->addWidget(company_, 0, Qt::AlignHCenter);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addStretch(1);

    auto* top = new QHBoxLayout(this);
    top->setContentsMargins(14, 14, 14, 14);
    top->setSpacing(14);
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(texts, 1);
    top->addLayout(buttons);
    top->setSizeConstraint(QLayout::SetFixedSize);

    LayOutWebsiteLink();
    information_->installEventFilter(this);
}

bool CAboutDlg::OnInitDialog()
{
    AttachHyperlink(website_);
    AttachHyperlink(contact_);
    connect(FindHyperlink(website_), &HyperlinkStatic::clicked, this, &CAboutDlg::OnWebsite);
    connect(FindHyperlink(contact_), &HyperlinkStatic::clicked, this, &CAboutDlg::OnContact);

    // Only the face changes; size, weight and the rest stay the control's. Where Sylfaen is not
    // installed Qt's font matching picks the nearest face.
    companyFont_ = company_->font();
    companyFont_.setFamilies({ QString::fromLatin1(kCompanyFace) });
    company_->setFont(companyFont_);
    company_->repaint();
    return true;
}

void CAboutDlg::OnWebsite()
{
    OpenUrl(WebsiteUrl());
}

void CAboutDlg::OnContact()
{
    OpenUrl(ContactUrl());
}

void CAboutDlg::LayOutWebsiteLink()
{
    // Fractional advances, as the label lays its text out; whole pixels would drift by one.
    const QFontMetricsF metrics(information_->font());
    const QString lead = QString::fromUtf8(kInformationLine) + QLatin1Char(' ');
    const int linkLeft = static_cast<int>(std::ceil(metrics.horizontalAdvance(lead)));
    const qreal linkRight = linkLeft + QFontMetricsF(website_->font()).horizontalAdvance(website_->text());
    // One space before the link is part of `lead`; the gap is the fewest spaces that take the
    // full stop to the link's end. A pixel short is allowed: the glyphs' own side bearings keep
    // them apart, and a whole space more would show as a gap before the stop.
    QString line = lead;
    while (metrics.horizontalAdvance(line) < linkRight - 1 && line.size() < lead.size() + 200)
        line += QLatin1Char(' ');
    information_->setText(QString::fromUtf8(kMakerLine) + QLatin1Char('\n') + line + QLatin1Char('.'));

    website_->adjustSize();
    const QPoint at = information_->pos() + information_->contentsRect().topLeft()
        + QPoint(linkLeft, static_cast<int>(std::lround(metrics.lineSpacing())));
    website_->move(at);
    website_->raise();
}

bool CAboutDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == information_ && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        LayOutWebsiteLink();
    return QDialog::eventFilter(watched, event);
}

void CAboutDlg::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::FontChange && information_)
        LayOutWebsiteLink();
}

} // namespace widgets
