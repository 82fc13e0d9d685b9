// pelmora-cli tiff --out FILE.tiff FILES...: the multipage TIFF builder, page i = file i.

#include "cli/cli_ui.h"
#include "cli/commands.h"
#include "tiff/multipage_tiff.h"

#include <cstdio>
#include <string>
#include <vector>

namespace cli {

namespace {

constexpr const char* kTiffHelp = R"(Usage: pelmora-cli tiff --out FILE.tiff [-q] FILES...

Joins the files into one multi-page TIFF, as the desktop program's "Multipage
Tiff" command does: page i is the i-th file, each page keeps its own size and
colour depth. Every file is read, also after one fails; if any fails, nothing
is written and whatever was at FILE.tiff stays. An existing FILE.tiff is
replaced without a question, and FILE.tiff may be one of the FILES.

Options:
  --out FILE     the TIFF file to write (required)
  -q, --quiet    accepted for symmetry; this command prints nothing on success

Each file that cannot be read is named on stderr as "PATH: error: REASON".
Exit status: 0 written; 1 a file could not be read or the TIFF not written;
2 bad arguments (nothing written).
)";

} // namespace

int RunTiff(Args& args)
{
    std::string out;
    std::vector<std::string> files;
    bool quiet = false;
    bool onlyFiles = false;
    while (!args.Done()) {
        const std::string a = args.Next();
        bool missing = false;
        if (onlyFiles) {
            files.push_back(a);
        } else if (a == "--help" || a == "-h") {
            std::fputs(kTiffHelp, stdout);
            return kExitOk;
        } else if (a == "--") {
            onlyFiles = true;
        } else if (a == "-q" || a == "--quiet") {
            quiet = true;
        } else if (auto v = args.Value(a, "--out", missing)) {
            if (missing || v->empty())
                return UsageError("tiff: --out needs a FILE");
            out = *v;
        } else if (a.size() > 1 && a[0] == '-') {
            return UsageError("tiff: unknown option '" + a + "'");
        } else {
            files.push_back(a);
        }
    }
    if (out.empty())
        return UsageError("tiff: --out FILE is required");
    if (files.empty())
        return UsageError("tiff: no files given");

    CliUi ui(quiet);
    std::vector<tiff::BuildError> errors;
    if (tiff::BuildMultipageTiff(&files, out, &errors))
        return kExitOk;
    // The files first, then the desktop program's message.
    for (const tiff::BuildError& e : errors)
        std::fprintf(stderr, "%s: error: %s\n", e.path.c_str(), e.reason.c_str());
    ui.MessageBox(tiff::kBuildErrorText, tiff::kBuildErrorCaption, core::MessageIcon::Warning, core::Owner::MainWindow);
    return kExitFailed;
}

} // namespace cli
