#pragma once

// Everything the engine needs from a person goes through Ui: the status-bar text, message
// boxes, Yes/No questions, and the wait cursor. The desktop program shows Qt dialogs, the
// command line answers from flags and prints to stderr, tests record and answer as scripted.

#include "batch/conversion_results.h"

#include <cstdint>
#include <functional>
#include <string>

namespace core {

/// The application's name, the caption of the framework's plain message boxes.
inline constexpr const char* kAppTitle = "Korvane Pelmora";

enum class MessageIcon { None, Information, Warning, Error };

/// Who a message box belongs to; the desktop program picks the parent window from it.
enum class Owner { None, MainWindow, View, Dialog };

class Ui {
public:
    virtual ~Ui() = default;
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void MessageBox(const std::string& text, const std::string& caption, MessageIcon icon, Owner owner) = 0;
    /// True for Yes.
    virtual bool AskYesNo(const std::string& text, const std::string& caption, MessageIcon icon, Owner owner) = 0;
    /// Shows the conversion report of a multi-file run, modally, owned by the main window.
    virtual void ShowConversionReport(const batch::ConversionResults& results) { (void)results; }
    virtual void BeginWaitCursor() { }
    virtual void EndWaitCursor() { }
};

/// Shows the wait cursor for its lifetime.
class WaitCursor {
public:
    explicit WaitCursor(Ui& ui)
        : ui_(ui)
    {
        ui_.BeginWaitCursor();
    }
    ~WaitCursor() { ui_.EndWaitCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    Ui& ui_;
};

/// Wall-clock time in whole seconds; replaceable so tests can make a load take 75 seconds.
using Clock = std::function<std::int64_t()>;
std::int64_t WallClockSeconds();

/// printf-style formatting into a std::string, for the system's message texts.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace core
