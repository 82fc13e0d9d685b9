#include "widgets/resources.h"

#include <QFile>

// The resources are compiled into a static library: nothing refers to their registration
// object, so the linker would drop it unless it is called by name.
static void RegisterPelmoraResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(pelmora);
        return true;
    }();
    (void)registered;
}

namespace widgets {

QString ResourcePath(const char* type, int id)
{
    RegisterPelmoraResources();
    return QStringLiteral(":/%1/%2").arg(QLatin1String(type)).arg(id);
}

QByteArray ResourceBytes(const char* type, int id)
{
    QFile file(ResourcePath(type, id));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace widgets
