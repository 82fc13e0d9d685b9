#include "cli/password.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <termios.h>
#include <unistd.h>

namespace cli {

namespace {

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
    password.clear();
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
        std::ifstream in(*passwordFile, std::ios::binary);
        if (!in)
            return "cannot read the password file " + *passwordFile;
        std::getline(in, password);
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
        if (!PromptPassword("Repeat the password: ", again) || again != password)
            return std::string("the passwords differ");
    }
    return std::nullopt;
}

} // namespace cli
