#pragma once

// POSIX declares a function crypt() in <unistd.h>, which C++20's <atomic> and <thread> include,
// and a function and a namespace cannot share a name in one translation unit. So that every file
// can use both, the function is declared here first, under its own name, and from then on the
// token "crypt" names this library's namespace (its symbols are pelmora_crypt::...). Every header
// of this library that opens the namespace includes this one first.

#include <unistd.h>

#define crypt pelmora_crypt
