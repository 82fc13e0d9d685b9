#include "crypt/cipher_run.h"

#include "core/paths.h"
#include "crypt/cipher_session.h"
#include "crypt/file_cipher.h"
#include "crypt/secret_string.h"

#include <map>
#include <set>
#include <sys/stat.h>
#include <utility>

namespace cipher {

namespace {

using FileId = std::pair<dev_t, ino_t>;

bool IdOf(const std::string& path, FileId& id)
{
    struct stat st { };
    if (::stat(path.c_str(), &st) != 0)
        return false;
    id = { st.st_dev, st.st_ino };
    return true;
}

} // namespace

CipherInputProblem CheckCipherInputs(
    const std::string& password, const std::string& destination, const std::vector<std::string>& files)
{
    if (password.size() <= 3)
        return CipherInputProblem::Password;
    if (destination.size() <= 3)
        return CipherInputProblem::Destination;
    if (files.empty())
        return CipherInputProblem::Files;
    return CipherInputProblem::None;
}

const char* CipherInputMessage(CipherInputProblem problem)
{
    switch (problem) {
    case CipherInputProblem::Password:
        return "Please select a password with at least 4 characters!";
    case CipherInputProblem::Destination:
        return "Please select a destination for the files";
    case CipherInputProblem::Files:
        return "Please select files for the crypting operation";
    case CipherInputProblem::None:
        break;
    }
    return "";
}

batch::ConversionResults RunCipher(CipherRunKind kind,
    const std::vector<std::string>& files,
    const std::string& destination,
    const std::string& password,
    core::Ui& ui)
{
    return RunCipher(kind, files, destination, password, ui, CipherRunObserver {});
}

batch::ConversionResults RunCipher(CipherRunKind kind,
    const std::vector<std::string>& files,
    const std::string& destination,
    const std::string& password,
    core::Ui& ui,
    const CipherRunObserver& observer)
{
    const bool encrypt = kind == CipherRunKind::Encrypt;
    // One key derivation for the whole run (one per distinct salt when decrypting).
    CipherSession session(observer.bytes);
    int option = 1; // the library's option integer: 1 for the whole run, never read

    // The files listed, as they were before the run: a destination that is one of them (other
    // than the entry's own source) would destroy a file the run has yet to read or has read.
    std::map<FileId, std::string> listed;
    std::vector<std::pair<bool, FileId>> ids;
    ids.reserve(files.size());
    for (const std::string& f : files) {
        FileId id;
        const bool known = IdOf(f, id);
        ids.emplace_back(known, id);
        if (known)
            listed.emplace(id, f);
    }

    batch::ConversionResults results;
    std::map<std::string, std::string> writtenFrom; // destination -> the source written there
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string& entry = files[i];
        if (observer.fileStarted)
            observer.fileStarted(i, files.size(), entry);
        const std::string target = destination + "/" + core::PathFileName(entry);

        std::string why;
        if (auto w = writtenFrom.find(target); w != writtenFrom.end() && w->second != entry) {
            why = target + " was already written in this run from " + w->second;
        } else if (FileId targetId; IdOf(target, targetId) && listed.count(targetId)
                   && !(ids[i].first && ids[i].second == targetId) && w == writtenFrom.end()) {
            why = target + " is " + listed[targetId] + ", a file of this run";
        }
        bool ok = false;
        if (why.empty()) {
            std::string source = entry, dest = target;
            PasswordCopy pwd(password);
            ok = (encrypt ? Encrypt(source.data(), dest.data(), pwd.data(), &option)
                          : Decrypt(source.data(), dest.data(), pwd.data(), &option))
                != 0;
            if (ok)
                writtenFrom[target] = entry;
            else
                why = LastCipherError();
        }
        results[entry] = ok;
        if (observer.fileDone)
            observer.fileDone(entry, ok, why);
    }

    if (ui.AskYesNo(encrypt ? "Completed the encryption. Click yes to show the status messages."
                            : "Completed the decryption. Click yes to show the status messages.",
            encrypt ? "Encryption completed" : "Decryption completed",
            core::MessageIcon::None,
            core::Owner::MainWindow))
        ui.ShowConversionReport(results);
    ui.SetStatusText(core::Format("Finished the conversion of %d files", static_cast<int>(files.size())));
    return results;
}

} // namespace cipher
