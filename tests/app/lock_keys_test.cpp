#include "app_harness.h"

#include "app/lock_keys.h"

#include <QKeyEvent>
#include <QLabel>
#include <QTimer>

#include <X11/XKBlib.h>
// Xlib's event-type macros would replace Qt's names.
#undef KeyPress
#undef KeyRelease

#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using app_testing::Harness;

namespace {

/// A virtual X server of the test's own, on a display number it picks itself.
class VirtualXServer {
public:
    VirtualXServer()
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(fds[1], 3); // -displayfd writes the display number there once it listens
            ::close(fds[0]);
            const int devNull = ::open("/dev/null", O_WRONLY);
            ::dup2(devNull, 2);
            ::execlp("Xvfb", "Xvfb", "-displayfd", "3", "-nolisten", "tcp", "-screen", "0", "64x64x24", nullptr);
            ::_exit(127);
        }
        ::close(fds[1]);
        char buffer[16] = {};
        std::size_t got = 0;
        while (pid_ > 0 && got < sizeof buffer - 1) {
            const ssize_t n = ::read(fds[0], buffer + got, 1);
            if (n <= 0 || buffer[got] == '\n')
                break;
            got += static_cast<std::size_t>(n);
        }
        ::close(fds[0]);
        if (got > 0)
            name_ = ":" + std::string(buffer, got);
    }
    ~VirtualXServer()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    VirtualXServer(const VirtualXServer&) = delete;
    VirtualXServer& operator=(const VirtualXServer&) = delete;

    const std::string& Name() const { return name_; }
    /// Presses and releases a key through xdotool, as a person would.
    int Press(const char* key) const { return testing_support::RunCommand("DISPLAY=" + name_ + " xdotool key " + key); }

private:
    pid_t pid_ = -1;
    std::string name_;
};

} // namespace

TEST(LockKeys, TheStatesComeFromTheXKeyboardExtension)
{
    ASSERT_TRUE(testing_support::HaveTool("Xvfb")) << "xvfb is installed by scripts/setup";
    ASSERT_TRUE(testing_support::HaveTool("xdotool")) << "xdotool is installed by scripts/setup";
    VirtualXServer server;
    ASSERT_FALSE(server.Name().empty());
    Display* display = XOpenDisplay(server.Name().c_str());
    ASSERT_NE(display, nullptr);

    using States = app::LockStates;
    EXPECT_EQ(app::ReadLockStates(display), States({ false, false, false }));
    // Each key toggles its own indicator and no other; a second press puts it out again.
    const struct {
        const char* key;
        States lit;
    } cases[] = {
        { "Caps_Lock", { true, false, false } },
        { "Num_Lock", { false, true, false } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        ASSERT_EQ(server.Press(c.key), 0);
        EXPECT_EQ(app::ReadLockStates(display), c.lit);
        ASSERT_EQ(server.Press(c.key), 0);
        EXPECT_EQ(app::ReadLockStates(display), States({ false, false, false }));
    }
    // The default keymap binds Scroll Lock to no modifier, so its key lights nothing there; the
    // indicator is switched directly instead, as a keymap that binds it would.
    const Atom scroll = XInternAtom(display, "Scroll Lock", False);
    ASSERT_TRUE(XkbSetNamedIndicator(display, scroll, True, True, False, nullptr));
    XSync(display, False);
    EXPECT_EQ(app::ReadLockStates(display), States({ false, false, true }));
    ASSERT_TRUE(XkbSetNamedIndicator(display, scroll, True, False, False, nullptr));
    XSync(display, False);
    EXPECT_EQ(app::ReadLockStates(display), States({ false, false, false }));
    XCloseDisplay(display);
    EXPECT_EQ(app::ReadLockStates(nullptr), std::nullopt);
}

TEST(LockKeys, WithoutLockStatesThePanesStayGreyedAndNothingPolls)
{
    Harness h; // offscreen: the platform tells no lock states
    EXPECT_EQ(app::ReadApplicationLockStates(), std::nullopt);
    const QList<QLabel*> panes = h.Frame().StatusPanes();
    ASSERT_EQ(panes.size(), 4);
    for (int i = 1; i < 4; ++i)
        EXPECT_FALSE(panes[i]->isEnabled()) << i;
    EXPECT_EQ(h.Frame().findChild<QTimer*>(QStringLiteral("lockTimer")), nullptr);
}

TEST(LockKeys, ThePanesLightWithTheirKeysOnLockKeyEventsAndOnTheTimer)
{
    app::LockStates states { true, false, false };
    const app::LockStateReader previous
        = app::SetLockStateReader([&states] { return std::optional<app::LockStates>(states); });
    {
        Harness h;
        const QList<QLabel*> panes = h.Frame().StatusPanes();
        ASSERT_EQ(panes.size(), 4);
        EXPECT_TRUE(panes[1]->isEnabled());
        EXPECT_FALSE(panes[2]->isEnabled());
        EXPECT_FALSE(panes[3]->isEnabled());

        // A lock key released anywhere in the program updates the panes at once.
        states = { false, true, true };
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_NumLock, Qt::NoModifier);
        QApplication::sendEvent(h.Frame().MdiArea(), &release);
        EXPECT_FALSE(panes[1]->isEnabled());
        EXPECT_TRUE(panes[2]->isEnabled());
        EXPECT_TRUE(panes[3]->isEnabled());

        // Other keys do not read the states; the timer does, for keys pressed in other programs.
        states = { true, false, false };
        QKeyEvent other(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier);
        QApplication::sendEvent(h.Frame().MdiArea(), &other);
        EXPECT_TRUE(panes[2]->isEnabled());
        auto* timer = h.Frame().findChild<QTimer*>(QStringLiteral("lockTimer"));
        ASSERT_NE(timer, nullptr);
        EXPECT_TRUE(timer->isActive());
        QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection);
        EXPECT_TRUE(panes[1]->isEnabled());
        EXPECT_FALSE(panes[2]->isEnabled());
    }
    app::SetLockStateReader(previous);
}
