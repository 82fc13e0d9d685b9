#pragma once

// The keyboard's lock states (Caps Lock, Num Lock, Scroll Lock) for the status bar's CAP, NUM and
// SCRL panes. Only the X server tells them to a client (through its keyboard extension); on other
// platforms (Wayland, offscreen) they are unknown and the panes stay greyed.

#include <array>
#include <functional>
#include <optional>

struct _XDisplay; // Xlib's Display, kept out of this header: its macros clash with Qt and ours

namespace app {

/// On or off for Caps Lock, Num Lock and Scroll Lock, in that order.
using LockStates = std::array<bool, 3>;

/// The lock states of the keyboard of `display`, read from the keyboard extension's named
/// indicators ("Caps Lock", "Num Lock", "Scroll Lock"; a keymap without one reads as off).
/// Nothing when the display has no keyboard extension.
std::optional<LockStates> ReadLockStates(_XDisplay* display);

/// The lock states of the application's own display: the X11 display when the program runs on
/// the xcb platform, nothing elsewhere.
std::optional<LockStates> ReadApplicationLockStates();

/// What the main frame reads the states with; tests put their own in. Answers the previous one.
using LockStateReader = std::function<std::optional<LockStates>()>;
LockStateReader SetLockStateReader(LockStateReader reader);
const LockStateReader& CurrentLockStateReader();

} // namespace app
