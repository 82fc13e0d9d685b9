#include "crypt/ui/cipher_bridge.h"

// No Qt header may come in here (see the header).
#include "crypt/cipher_run.h"

namespace cryptui {

namespace {

crypt::CipherInputProblem ToEngine(InputProblem problem)
{
    switch (problem) {
    case InputProblem::None:
        return crypt::CipherInputProblem::None;
    case InputProblem::Password:
        return crypt::CipherInputProblem::Password;
    case InputProblem::Destination:
        return crypt::CipherInputProblem::Destination;
    case InputProblem::Files:
        return crypt::CipherInputProblem::Files;
    }
    return crypt::CipherInputProblem::None;
}

} // namespace

InputProblem CheckInputs(
    const std::string& password, const std::string& destination, const std::vector<std::string>& files)
{
    switch (crypt::CheckCipherInputs(password, destination, files)) {
    case crypt::CipherInputProblem::None:
        return InputProblem::None;
    case crypt::CipherInputProblem::Password:
        return InputProblem::Password;
    case crypt::CipherInputProblem::Destination:
        return InputProblem::Destination;
    case crypt::CipherInputProblem::Files:
        return InputProblem::Files;
    }
    return InputProblem::None;
}

const char* InputMessage(InputProblem problem)
{
    return crypt::CipherInputMessage(ToEngine(problem));
}

batch::ConversionResults Run(RunKind kind,
    const std::vector<std::string>& files,
    const std::string& destination,
    const std::string& password,
    core::Ui& ui)
{
    const crypt::CipherRunKind engineKind
        = kind == RunKind::Encrypt ? crypt::CipherRunKind::Encrypt : crypt::CipherRunKind::Decrypt;
    return crypt::RunCipher(engineKind, files, destination, password, ui);
}

} // namespace cryptui
