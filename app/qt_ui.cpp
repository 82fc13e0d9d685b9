#include "app/qt_ui.h"

#include "app/main_frame.h"
#include "app/varden_view.h"
#include "batch/ui/status_dlg.h"

#include <QApplication>
#include <QCursor>

namespace app {

void QtUi::SetStatusText(const std::string& text)
{
    if (frame_)
        frame_->SetMessageText(QString::fromStdString(text));
}

QWidget* QtUi::OwnerWidget(core::Owner owner) const
{
    switch (owner) {
    case core::Owner::None:
        return nullptr;
    case core::Owner::MainWindow:
        return frame_.data();
    case core::Owner::View:
        if (frame_ && frame_->ActiveView())
            return frame_->ActiveView();
        return frame_.data();
    case core::Owner::Dialog:
        if (QWidget* modal = QApplication::activeModalWidget())
            return modal;
        if (QWidget* active = QApplication::activeWindow())
            return active;
        return frame_.data();
    }
    return nullptr;
}

QMessageBox::Icon QtUi::ToQtIcon(core::MessageIcon icon)
{
    switch (icon) {
    case core::MessageIcon::None:
        return QMessageBox::NoIcon;
    case core::MessageIcon::Information:
        return QMessageBox::Information;
    case core::MessageIcon::Warning:
        return QMessageBox::Warning;
    case core::MessageIcon::Error:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

void QtUi::MessageBox(const std::string& text, const std::string& caption, core::MessageIcon icon, core::Owner owner)
{
    QMessageBox box(ToQtIcon(icon),
        QString::fromStdString(caption),
        QString::fromStdString(text),
        QMessageBox::Ok,
        OwnerWidget(owner));
    // A box shown under the wait cursor must still be answerable with a normal pointer.
    if (waitDepth_ > 0)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    if (waitDepth_ > 0)
        QApplication::restoreOverrideCursor();
}

bool QtUi::AskYesNo(const std::string& text, const std::string& caption, core::MessageIcon icon, core::Owner owner)
{
    QMessageBox box(ToQtIcon(icon),
        QString::fromStdString(caption),
        QString::fromStdString(text),
        QMessageBox::Yes | QMessageBox::No,
        OwnerWidget(owner));
    box.setDefaultButton(QMessageBox::Yes);
    if (waitDepth_ > 0)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int answer = box.exec();
    if (waitDepth_ > 0)
        QApplication::restoreOverrideCursor();
    return answer == QMessageBox::Yes;
}

void QtUi::ShowConversionReport(const batch::ConversionResults& results)
{
    batch::ui::CStatusDlg report(frame_.data());
    report.results = &results;
    report.exec();
}

void QtUi::BeginWaitCursor()
{
    ++waitDepth_;
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtUi::EndWaitCursor()
{
    if (waitDepth_ == 0)
        return;
    --waitDepth_;
    QApplication::restoreOverrideCursor();
}

} // namespace app
