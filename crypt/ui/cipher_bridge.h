#pragma once

// The engine's cipher runs under the names the desktop's dialogs use.

#include "crypt/cipher_run.h"

namespace cryptui {

using RunKind = cipher::CipherRunKind;
using InputProblem = cipher::CipherInputProblem;

inline InputProblem CheckInputs(
    const std::string& password, const std::string& destination, const std::vector<std::string>& files)
{
    return cipher::CheckCipherInputs(password, destination, files);
}

inline const char* InputMessage(InputProblem problem)
{
    return cipher::CipherInputMessage(problem);
}

inline batch::ConversionResults Run(RunKind kind,
    const std::vector<std::string>& files,
    const std::string& destination,
    const std::string& password,
    core::Ui& ui)
{
    return cipher::RunCipher(kind, files, destination, password, ui);
}

} // namespace cryptui
