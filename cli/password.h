#pragma once

// Where the command line takes a password from: never the command line itself.

#include <optional>
#include <string>

namespace cli {

/// True when a password would be asked for on the terminal (no file, no environment variable).
bool PasswordWouldBePrompted(const std::optional<std::string>& passwordFile);

/// --password-file F's first line (newline stripped), else $PELMORA_PASSWORD, else a line typed
/// without echo when stdin is a terminal (typed twice when `confirm`). Nothing when `password` was
/// set; otherwise the reason there is none.
std::optional<std::string> ReadPassword(
    const std::optional<std::string>& passwordFile, bool confirm, std::string& password);

} // namespace cli
