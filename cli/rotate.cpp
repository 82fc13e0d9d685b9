// pelmora-cli rotate: the Edit menu's rotations followed by Save, for files.

#include "cli/cli_ui.h"
#include "cli/commands.h"
#include "core/document.h"
#include "core/registry.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace cli {

namespace {

constexpr const char* kRotateHelp = R"(Usage: pelmora-cli rotate [--left|--right|--180] [--lossless] [-q] IN OUT

Turns one image a quarter turn clockwise (--right, the default), counter-clockwise
(--left) or half round (--180), as the desktop program's Edit menu does, and saves
it as OUT, as its Save does (the format from OUT's extension). A photo stored
sideways with an EXIF orientation is upright before it is turned, as everywhere.

A JPEG saved as JPEG is turned without re-encoding: its compressed blocks are
moved, so it loses nothing, and its EXIF orientation says upright. That needs a
width and height that end on a whole JPEG block (8 or 16 pixels); other JPEGs are
encoded again.
  --lossless   never encode again: fail, writing nothing, when the turn cannot
               be made without it (or IN or OUT is not a JPEG)
  -q, --quiet  no status lines on stderr

Exit status: 0 written; 1 IN could not be read, OUT could not be written, or
--lossless could not be honoured; 2 bad arguments (nothing written).
)";

} // namespace

int RunRotate(Args& args)
{
    int quarters = 0;
    bool lossless = false, quiet = false;
    std::vector<std::string> positional;
    while (!args.Done()) {
        const std::string a = args.Next();
        const int turn = a == "--right" ? 1 : a == "--180" ? 2 : a == "--left" ? 3 : 0;
        if (a == "--help" || a == "-h") {
            std::fputs(kRotateHelp, stdout);
            return kExitOk;
        }
        if (turn != 0) {
            if (quarters != 0 && quarters != turn)
                return UsageError("rotate: give one of --left, --right and --180");
            quarters = turn;
        } else if (a == "--lossless") {
            lossless = true;
        } else if (a == "-q" || a == "--quiet") {
            quiet = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return UsageError("rotate: unknown option " + a);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2)
        return UsageError("rotate: give IN and OUT (see pelmora-cli rotate --help)");
    std::error_code ec;
    const std::string source = std::filesystem::absolute(positional[0], ec).string();
    const std::string dest = std::filesystem::absolute(positional[1], ec).string();
    const core::ImageType type = core::ImageTypeFromExtension(dest);
    if (type == 0)
        return UsageError("rotate: cannot tell the format of " + dest);
    if (lossless && type != codec::kTypeJpg)
        return UsageError("rotate: --lossless writes JPEG only");

    CliUi ui(quiet);
    core::CVardenDoc doc(ui);
    if (!doc.OnOpenDocument(source)) {
        std::fprintf(stderr, "pelmora-cli: cannot read %s\n", source.c_str());
        return kExitFailed;
    }
    PrintWarnings(positional[0], doc.Image().GetWarnings());
    if (quarters == 0)
        quarters = 1;
    if (quarters == 1)
        doc.RotateRight();
    else if (quarters == 2)
        doc.Rotate180();
    else
        doc.RotateLeft();

    if (lossless) {
        if (const codec::Result r = doc.SaveTurnedJpeg(dest); !r) {
            std::fprintf(stderr, "pelmora-cli: %s: %s\n", dest.c_str(), r.message.c_str());
            return kExitFailed;
        }
        ui.SetStatusText(core::Format("Successfully saved file %s", dest.c_str()));
        return kExitOk;
    }
    if (!doc.OnSaveDocument(dest)) {
        std::fprintf(stderr, "pelmora-cli: %s: %s\n", dest.c_str(), doc.Image().GetLastError());
        return kExitFailed;
    }
    return kExitOk;
}

} // namespace cli
