#pragma once

// The cipher runs as the desktop's dialogs reach them. The engine's names live in namespace
// crypt, which a translation unit that sees <unistd.h> (every Qt one) cannot name: glibc
// declares a function crypt() there. So the Qt side goes through these, defined in a unit
// without Qt.

#include "batch/conversion_results.h"
#include "core/ui.h"

#include <string>
#include <vector>

namespace cryptui {

enum class RunKind { Encrypt, Decrypt };
enum class InputProblem { None, Password, Destination, Files };

/// The engine's checks of the dialog's inputs, in their order.
InputProblem CheckInputs(
    const std::string& password, const std::string& destination, const std::vector<std::string>& files);
/// The message of a failed check.
const char* InputMessage(InputProblem problem);
/// The engine's run: one cipher call per file, the closing question, the report, the status text.
batch::ConversionResults Run(RunKind kind,
    const std::vector<std::string>& files,
    const std::string& destination,
    const std::string& password,
    core::Ui& ui);

} // namespace cryptui
