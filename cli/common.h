#pragma once

// Shared pieces of pelmora-cli's commands: argument walking, FORMAT parsing, JSON text, the
// decoder's warnings.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cli {

enum ExitCode : int { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitInterrupted = 130 };

/// The arguments of one command, walked left to right.
class Args {
public:
    Args(std::vector<std::string> args)
        : args_(std::move(args))
    {
    }
    bool Done() const { return pos_ >= args_.size(); }
    const std::string& Peek() const { return args_[pos_]; }
    std::string Next() { return args_[pos_++]; }
    /// The value of an option: "--name=value" or "--name value". Empty optional when `arg` is
    /// not this option; sets `missing` when the option has no value.
    std::optional<std::string> Value(const std::string& arg, const std::string& name, bool& missing);

private:
    std::vector<std::string> args_;
    std::size_t pos_ = 0;
};

/// A FORMAT argument: any recognised extension, with or without the dot, any letter case.
/// 0 when not recognised.
std::uint32_t ParseFormat(const std::string& text);

/// A whole non-negative decimal number that fits 32 bits, or nothing.
std::optional<std::uint32_t> ParseUnsigned(const std::string& text);
std::optional<std::int32_t> ParseInt(const std::string& text);

/// Prints "pelmora-cli: MESSAGE" on stderr and returns kExitUsage.
int UsageError(const std::string& message);

/// A JSON string literal (quotes included) for UTF-8 text.
std::string JsonString(const std::string& text);
/// A JSON array of string literals.
std::string JsonStringArray(const std::vector<std::string>& texts);

/// Prints "PATH: warning: TEXT" on stderr for each warning the decoder left on a file it read
/// (CxImage::GetWarnings): damaged data that still decoded. Every command that reads images
/// calls it, quiet or not, since the picture it used is not all the file promised.
void PrintWarnings(const std::string& path, const std::vector<std::string>& warnings);

} // namespace cli
