#pragma once

// The encryption and decryption commands of the desktop program: the files chosen in an open
// prompt, the dialog that extends the list and takes the password and destination, then the run.

#include "batch/conversion_results.h"
#include "core/ui.h"
#include "crypt/cipher_run.h"

#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace cryptui {

class CDecryptDlg;

/// One command: cancelling the open prompt or the dialog ends it with nothing changed. `owner`
/// (the main window) owns the prompt and the dialog; the run's question, report and status text
/// go through `ui`.
void OnCipherCommand(cipher::CipherRunKind kind, QWidget* owner, core::Ui& ui);

/// Shows the dialog modally and answers its result; tests replace it to answer the real dialog
/// without a modal wait. An empty function brings back exec(). Answers the one set before.
using DialogRunner = std::function<int(CDecryptDlg& dialog)>;
DialogRunner SetDialogRunner(DialogRunner runner);

/// The run behind the command (the engine's); tests replace it. An empty function brings the
/// engine's back. Answers the one set before.
using CipherRunner = std::function<batch::ConversionResults(cipher::CipherRunKind kind,
    const std::vector<std::string>& files,
    const std::string& destination,
    const std::string& password,
    core::Ui& ui)>;
CipherRunner SetCipherRunner(CipherRunner runner);

} // namespace cryptui
