#include "app/lock_keys.h"

#include <QGuiApplication>
#include <qguiapplication_platform.h>

#include <X11/XKBlib.h>

#include <utility>

namespace app {

std::optional<LockStates> ReadLockStates(Display* display)
{
    if (!display)
        return std::nullopt;
    int opcode = 0, event = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    if (!XkbQueryExtension(display, &opcode, &event, &error, &major, &minor))
        return std::nullopt;
    unsigned int lit = 0;
    if (XkbGetIndicatorState(display, XkbUseCoreKbd, &lit) != Success)
        return std::nullopt;
    // The indicators' places in the state mask belong to the keymap, so they are looked up by
    // name each time: a keymap change moves them.
    const char* names[] = { "Caps Lock", "Num Lock", "Scroll Lock" };
    LockStates states {};
    for (std::size_t i = 0; i < states.size(); ++i) {
        const Atom atom = XInternAtom(display, names[i], True);
        int index = -1;
        if (atom != None && XkbGetNamedIndicator(display, atom, &index, nullptr, nullptr, nullptr) && index >= 0
            && index < XkbNumIndicators)
            states[i] = (lit >> index) & 1u;
    }
    return states;
}

std::optional<LockStates> ReadApplicationLockStates()
{
#if QT_CONFIG(xcb)
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (x11)
        return ReadLockStates(x11->display());
#endif
    return std::nullopt;
}

namespace {

LockStateReader& Reader()
{
    static LockStateReader reader = ReadApplicationLockStates;
    return reader;
}

} // namespace

LockStateReader SetLockStateReader(LockStateReader reader)
{
    return std::exchange(Reader(), std::move(reader));
}

const LockStateReader& CurrentLockStateReader()
{
    return Reader();
}

} // namespace app
