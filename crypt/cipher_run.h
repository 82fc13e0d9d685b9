#pragma once

// The encryption and decryption runs: one password, one destination folder, a list of files, one
// cipher call per entry, and the closing question that offers the report.

#include "batch/conversion_results.h"
#include "core/ui.h"

#include <string>
#include <vector>

namespace crypt {

enum class CipherRunKind { Encrypt, Decrypt };

/// What the dialog's OK (and the command line) refuses, in the order it is checked.
enum class CipherInputProblem { None, Password, Destination, Files };

/// Checks password (at least 4 bytes), destination (longer than 3 bytes) and files (not empty), in
/// that order, and says which check failed first.
CipherInputProblem CheckCipherInputs(
    const std::string& password, const std::string& destination, const std::vector<std::string>& files);

/// The message of a failed check ("Please select a password with at least 4 characters!", ...).
const char* CipherInputMessage(CipherInputProblem problem);

/// Runs the cipher over `files` into `destination` (no trailing separator): the destination path
/// of each entry is destination + "/" + its file name. Asks the closing question through `ui`,
/// shows the report on Yes, and sets the closing status text. Returns the results keyed by source
/// path.
batch::ConversionResults RunCipher(CipherRunKind kind,
    const std::vector<std::string>& files,
    const std::string& destination,
    const std::string& password,
    core::Ui& ui);

} // namespace crypt
