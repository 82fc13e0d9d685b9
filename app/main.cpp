// The desktop program's entry point.
#include "app/varden_app.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvane Pelmora"));
    QApplication::setOrganizationName(QStringLiteral("Korvane Lumbrix"));
    QApplication::setDesktopFileName(QStringLiteral("pelmora"));

    app::CVardenApp theApp;
    // The splash screen stays up for five seconds while the program starts.
    if (!theApp.InitInstance(5000))
        return 1;
    return QApplication::exec();
}
