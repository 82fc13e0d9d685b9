#include "crypt/secret_string.h"

#include <sodium.h>

namespace cipher {

void WipeString(std::string& text)
{
    // Growing to the capacity never moves the buffer, and makes all of it ours to overwrite.
    text.resize(text.capacity());
    sodium_memzero(text.data(), text.size());
    text.clear();
}

} // namespace cipher
