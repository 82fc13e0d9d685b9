#pragma once

// The about box: the product, its version, the maker with a link to its web page and one to
// write to it, the about picture and the company name in its own face.

#include <QDialog>
#include <QFont>
#include <QUrl>

#include <functional>

class QLabel;

namespace widgets {

class CImageCtrl;

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 100 };
    enum ControlId { kIdWebsite = 1007, kIdContact = 1008, kIdPicture = 1028, kIdCompany = 1029 };

    /// Without a parent the dialog is a window of its own.
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

    /// Opens a link with the desktop's handler; the answer is ignored. Tests replace it.
    using UrlOpener = std::function<bool(const QUrl&)>;
    /// An empty function brings back QDesktopServices::openUrl. Answers the opener set before.
    static UrlOpener SetUrlOpener(UrlOpener opener);

    static QUrl WebsiteUrl();
    static QUrl ContactUrl();

    /// The font made for the company name at this showing.
    const QFont& CompanyFont() const { return companyFont_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void BuildTemplate();
    bool OnInitDialog();
    void OnWebsite();
    void OnContact();
    /// Fills the gap in the information sentence so the web link reads as part of it, and puts
    /// the link there.
    void LayOutWebsiteLink();

    QLabel* information_ = nullptr;
    QLabel* website_ = nullptr;
    QLabel* contact_ = nullptr;
    CImageCtrl* picture_ = nullptr;
    CImageCtrl* company_ = nullptr;
    QFont companyFont_;
};

} // namespace widgets
