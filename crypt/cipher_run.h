#pragma once

// The encryption and decryption runs: one password, one destination folder, a list of files, one
// cipher call per entry, and the closing question that offers the report.


#include "batch/conversion_results.h"
#include "core/ui.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace cipher {

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

/// What a caller may watch of a run: the command line's progress bar and its error texts.
struct CipherRunObserver {
    /// Before entry `index` (of `count`) is processed.
    std::function<void(std::size_t index, std::size_t count, const std::string& path)> fileStarted;
    /// Bytes of the current entry's source read so far, and its size.
    std::function<void(std::uint64_t done, std::uint64_t total)> bytes;
    /// After each entry: its result and, for a failure, why.
    std::function<void(const std::string& path, bool ok, const std::string& why)> fileDone;
};

/// RunCipher, watched.
batch::ConversionResults RunCipher(CipherRunKind kind,
    const std::vector<std::string>& files,
    const std::string& destination,
    const std::string& password,
    core::Ui& ui,
    const CipherRunObserver& observer);

} // namespace cipher
