#include "cli/password.h"

#include "crypt/secret_string.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace cli {

namespace {

constexpr std::size_t kRoom = 4096;

/// The first line of a file, read straight into `password`: a stream's buffer would keep a copy
/// that nobody wipes.
bool ReadFirstLine(const std::string& path, std::string& password)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    password.clear();
    password.reserve(kRoom);
    char buffer[256];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ok = false;
            break;
        }
        const char* end = static_cast<const char*>(std::memchr(buffer, '\n', static_cast<std::size_t>(n)));
        password.append(buffer, end ? static_cast<std::size_t>(end - buffer) : static_cast<std::size_t>(n));
        if (n == 0 || end)
            break;
    }
    ::close(fd);
    ::explicit_bzero(buffer, sizeof buffer);
    return ok;
}

/// Reads a line from the terminal without echo; false when nothing was typed before the end.
bool PromptPassword(const char* prompt, std::string& password)
{
    std::fputs(prompt, stderr);
    std::fflush(stderr);
    termios old {};
    const bool terminal = ::tcgetattr(STDIN_FILENO, &old) == 0;
    if (terminal) {
        termios quiet = old;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    // Room enough up front: a growing string would leave copies of the start in freed memory.
    password.clear();
    password.reserve(kRoom);
    bool ended = false;
    for (int ch; (ch = std::fgetc(stdin)) != EOF;) {
        if (ch == '\n') {
            ended = true;
            break;
        }
        password.push_back(static_cast<char>(ch));
    }
    if (terminal)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
    std::fputc('\n', stderr);
    return ended || !password.empty();
}

} // namespace

bool PasswordWouldBePrompted(const std::optional<std::string>& passwordFile)
{
    return !passwordFile && !std::getenv("PELMORA_PASSWORD") && ::isatty(STDIN_FILENO);
}

std::optional<std::string> ReadPassword(
    const std::optional<std::string>& passwordFile, bool confirm, std::string& password)
{
    if (passwordFile) {
        if (!ReadFirstLine(*passwordFile, password))
            return "cannot read the password file " + *passwordFile;
        if (!password.empty() && password.back() == '\r')
            password.pop_back();
        return std::nullopt;
    }
    if (const char* env = std::getenv("PELMORA_PASSWORD")) {
        password = env;
        return std::nullopt;
    }
    if (!::isatty(STDIN_FILENO))
        return std::string("no password: give --password-file F or set PELMORA_PASSWORD");
    if (!PromptPassword("Password: ", password))
        return std::string("no password given");
    if (confirm && password.size() > 3) {
        std::string again;
        const bool same = PromptPassword("Repeat the password: ", again) && again == password;
        cipher::WipeString(again);
        if (!same)
            return std::string("the passwords differ");
    }
    return std::nullopt;
}

} // namespace cli
