// pelmora-cli encrypt / decrypt: the encryption and decryption runs with the desktop checks.

#include "crypt/cipher_run.h"

#include "cli/cli_ui.h"
#include "cli/commands.h"
#include "cli/password.h"
#include "codec/fileio.h"
#include "crypt/secret_string.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace cli {

namespace {

constexpr const char* kCipherHelp = R"(Usage: pelmora-cli %s --out DIR [OPTIONS] FILES...

%s each FILE into DIR under its own name, as the desktop program's
"%s" command does. DIR is made when it does not exist. Two files of the
same name are not written over each other: the second one fails.

Options:
  --out DIR               destination folder (longer than 3 characters)
  --password-file F       read the password from the first line of F
                          (else the environment variable PELMORA_PASSWORD, else
                          a prompt without echo when stdin is a terminal)
  --report FILE           write the report lines to FILE instead of stdout
  --json                  one JSON object per file instead of the report lines
  -q, --quiet             no status lines or progress on stderr

The password has at least 4 characters; it is never taken from the command line.
Report lines: "Successfully converted file PATH" or "# Error while converting
file PATH", in path order. Exit status: 0 every file done; 1 at least one file
failed; 2 bad arguments or no password (nothing written).
)";

struct CipherArgs {
    std::string out;
    std::optional<std::string> passwordFile;
    std::string reportFile;
    bool json = false;
    bool quiet = false;
    std::vector<std::string> files;
};

std::optional<int> Parse(Args& args, const char* command, cipher::CipherRunKind kind, CipherArgs& c)
{
    while (!args.Done()) {
        const std::string a = args.Next();
        bool missing = false;
        if (a == "--help" || a == "-h") {
            const bool enc = kind == cipher::CipherRunKind::Encrypt;
            std::printf(kCipherHelp, command, enc ? "Encrypts" : "Decrypts", enc ? "Encrypt" : "Decrypt");
            return kExitOk;
        }
        if (auto v = args.Value(a, "--out", missing)) {
            if (missing)
                return UsageError(std::string(command) + ": --out needs a DIR");
            c.out = *v;
        } else if (auto p = args.Value(a, "--password-file", missing)) {
            if (missing)
                return UsageError(std::string(command) + ": --password-file needs a file");
            c.passwordFile = *p;
        } else if (auto r = args.Value(a, "--report", missing)) {
            if (missing)
                return UsageError(std::string(command) + ": --report needs a FILE");
            c.reportFile = *r;
        } else if (a == "--json") {
            c.json = true;
        } else if (a == "-q" || a == "--quiet") {
            c.quiet = true;
        } else if (a == "--") {
            while (!args.Done())
                c.files.push_back(args.Next());
        } else if (a.size() > 1 && a[0] == '-') {
            return UsageError(std::string(command) + ": unknown option " + a);
        } else {
            c.files.push_back(a);
        }
    }
    // The runs name files by full paths (and a bare name has no file name to the path rules).
    std::error_code ec;
    for (std::string& f : c.files)
        f = std::filesystem::absolute(f, ec).string();
    if (!c.out.empty()) {
        c.out = std::filesystem::absolute(c.out, ec).lexically_normal().string();
        while (c.out.size() > 1 && c.out.back() == '/')
            c.out.pop_back();
    }
    return std::nullopt;
}

/// The password from --password-file, PELMORA_PASSWORD or the terminal. An exit code when there
/// is none.
std::optional<int> GetPassword(const CipherArgs& c, cipher::CipherRunKind kind, const char* command, std::string& pw)
{
    // Nothing to ask for when the run would be refused anyway.
    if (PasswordWouldBePrompted(c.passwordFile))
        if (auto problem = cipher::CheckCipherInputs("xxxx", c.out, c.files);
            problem != cipher::CipherInputProblem::None)
            return UsageError(cipher::CipherInputMessage(problem));
    if (std::optional<std::string> why = ReadPassword(c.passwordFile, kind == cipher::CipherRunKind::Encrypt, pw))
        return UsageError(std::string(command) + ": " + *why);
    return std::nullopt;
}

/// One line on a terminal: a bar, the file count, the current file's name and its share done.
class ProgressBar {
public:
    void File(std::size_t index, std::size_t count, const std::string& path)
    {
        index_ = index;
        count_ = count;
        name_ = std::filesystem::path(path).filename().string();
        Draw(0, 1, true);
    }
    void Bytes(std::uint64_t done, std::uint64_t total) { Draw(done, total, false); }
    void Clear() { std::fputs("\r\033[K", stderr); }

private:
    void Draw(std::uint64_t done, std::uint64_t total, bool force)
    {
        const auto now = std::chrono::steady_clock::now();
        if (!force && now - last_ < std::chrono::milliseconds(100))
            return;
        last_ = now;
        const double share = total ? double(done) / double(total) : 1.0;
        const double overall = count_ ? (double(index_) + std::min(share, 1.0)) / double(count_) : 1.0;
        constexpr int kWidth = 30;
        const int filled = static_cast<int>(overall * kWidth);
        std::string bar(static_cast<std::size_t>(filled), '#');
        bar.resize(kWidth, '.');
        std::string name = name_.size() > 40 ? name_.substr(0, 37) + "..." : name_;
        std::fprintf(stderr,
            "\r\033[K[%s] %zu/%zu %s %3d%%",
            bar.c_str(),
            index_ + 1,
            count_,
            name.c_str(),
            static_cast<int>(share * 100));
        std::fflush(stderr);
    }
    std::size_t index_ = 0, count_ = 0;
    std::string name_;
    std::chrono::steady_clock::time_point last_ {};
};

/// The command line's Ui for these runs: no report dialog (the report goes to stdout), and the
/// bar's line is cleared before a status line is printed.
class BarUi : public CliUi {
public:
    BarUi(bool quiet, ProgressBar* bar)
        : CliUi(quiet, [](const std::string&, const std::string&) { return false; })
        , bar_(bar)
    {
    }
    void SetStatusText(const std::string& text) override
    {
        if (bar_)
            bar_->Clear();
        CliUi::SetStatusText(text);
    }

private:
    ProgressBar* bar_;
};

/// A bar is worth drawing for many files or large ones.
bool WantsProgress(const std::vector<std::string>& files)
{
    if (files.size() >= 8)
        return true;
    std::uint64_t total = 0;
    for (const std::string& f : files) {
        struct stat st { };
        if (::stat(f.c_str(), &st) == 0)
            total += static_cast<std::uint64_t>(st.st_size);
    }
    return total >= (32u << 20);
}

int RunCipherCommand(Args& args, const char* command, cipher::CipherRunKind kind)
{
    CipherArgs c;
    if (std::optional<int> stop = Parse(args, command, kind, c))
        return *stop;
    std::string password;
    struct Wipe {
        std::string& text;
        ~Wipe() { cipher::WipeString(text); }
    } wipe { password };
    if (std::optional<int> stop = GetPassword(c, kind, command, password))
        return *stop;
    if (auto problem = cipher::CheckCipherInputs(password, c.out, c.files); problem != cipher::CipherInputProblem::None)
        return UsageError(cipher::CipherInputMessage(problem));
    std::error_code ec;
    std::filesystem::create_directories(c.out, ec);
    if (!std::filesystem::is_directory(c.out, ec))
        return UsageError(std::string(command) + ": cannot use " + c.out + " as the destination folder");

    ProgressBar bar;
    const bool showBar = !c.quiet && ::isatty(STDERR_FILENO) && WantsProgress(c.files);
    BarUi ui(c.quiet, showBar ? &bar : nullptr);
    std::map<std::string, std::string> errors;
    cipher::CipherRunObserver observer;
    if (showBar) {
        observer.fileStarted = [&](std::size_t i, std::size_t n, const std::string& p) { bar.File(i, n, p); };
        observer.bytes = [&](std::uint64_t done, std::uint64_t total) { bar.Bytes(done, total); };
    }
    observer.fileDone = [&](const std::string& path, bool ok, const std::string& why) {
        if (ok) {
            errors.erase(path);
            return;
        }
        errors[path] = why;
        if (!c.quiet) {
            if (showBar)
                bar.Clear();
            std::fprintf(stderr, "%s: error: %s\n", path.c_str(), why.c_str());
        }
    };
    const batch::ConversionResults results = cipher::RunCipher(kind, c.files, c.out, password, ui, observer);
    std::string text;
    if (c.json) {
        for (const auto& [path, ok] : results) {
            text += "{\"path\": " + JsonString(path) + ", \"ok\": " + (ok ? "true" : "false");
            if (!ok)
                text += ", \"error\": " + JsonString(errors[path]);
            text += "}\n";
        }
    } else {
        for (const std::string& line : batch::ReportLines(results))
            text += line + "\n";
    }
    if (!c.reportFile.empty()) {
        const std::string path = std::filesystem::absolute(c.reportFile, ec).string();
        if (codec::Result r = codec::WriteFileAtomic(
                path, codec::ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
            !r) {
            std::fprintf(stderr, "pelmora-cli: %s\n", r.message.c_str());
            return kExitFailed;
        }
    } else {
        std::fputs(text.c_str(), stdout);
    }
    for (const auto& [path, ok] : results)
        if (!ok)
            return kExitFailed;
    return kExitOk;
}

} // namespace

int RunEncrypt(Args& args)
{
    return RunCipherCommand(args, "encrypt", cipher::CipherRunKind::Encrypt);
}

int RunDecrypt(Args& args)
{
    return RunCipherCommand(args, "decrypt", cipher::CipherRunKind::Decrypt);
}

} // namespace cli
