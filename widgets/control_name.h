#pragma once

// Every dialog's control carries its control id as its object name ("id1019"), so tests and
// screenshots find a control by the number the dialog's layout gives it.

#include <QString>

namespace widgets {

inline QString ControlName(int id)
{
    return QStringLiteral("id%1").arg(id);
}

} // namespace widgets
