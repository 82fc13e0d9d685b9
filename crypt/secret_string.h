#pragma once

// Passwords in ordinary strings: wiped when done with, so that the text does not linger in memory
// that is later handed out again.

#include <string>

namespace cipher {

/// Overwrites the whole buffer of `text` (its capacity, not only its length) and empties it.
void WipeString(std::string& text);

/// A password's copy in a writable buffer, for the cipher's C functions; wiped when it goes.
class PasswordCopy {
public:
    explicit PasswordCopy(const std::string& password)
        : text_(password)
    {
    }
    ~PasswordCopy() { WipeString(text_); }
    PasswordCopy(const PasswordCopy&) = delete;
    PasswordCopy& operator=(const PasswordCopy&) = delete;
    char* data() { return text_.data(); }

private:
    std::string text_;
};

} // namespace cipher
