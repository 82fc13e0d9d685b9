// pelmora-cli convert SRC DEST: the single-image conversion with the options dialog's rules.

#include "cli/cli_ui.h"
#include "cli/commands.h"
#include "core/conversion.h"
#include "core/registry.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

namespace cli {

namespace {

constexpr const char* kConvertHelp = R"(Usage: pelmora-cli convert SRC DEST [OPTIONS]

Converts one image into another format, as the desktop program's "Convert to"
commands do. The format of DEST comes from --type, else from DEST's extension.
Every option defaults to what the source image has, so a plain
  pelmora-cli convert photo.png photo.jpg
keeps the size, depth and resolution.

Options:
  --type FORMAT            target format: bmp gif jpg png ico tif tga pcx wbmp wmf
                           jp2 jpc pgx pnm ras webp avif jxl (also jpeg tiff ppm
                           pgm; any case)
  --width W, --height H    output size in pixels; giving only one of them computes
                           the other from the source proportions (see below)
  --keep-proportions       recompute the other side from the source (default)
  --no-keep-proportions    take --width/--height as given
  --bpp N                  bits per pixel: 1, 8, 16, 24, 32 (or the source's own)
  --dpi N                  resolution written on both axes
  --gray                   convert to gray scale
  --rgb                    for JPEG, JPEG 2000, PNM and RAS at 8 bpp or less: write
                           24-bit colour (the default; without --rgb or --gray a note
                           says so)
  --gif-keep-bpp           keep more than 8 bpp for GIF (default: reduce to 8)
  --strip-metadata         leave out the source's EXIF, XMP and ICC profile (kept
                           by default where both formats hold them)
  -q, --quiet              no status lines on stderr

ICO and WBMP images are at most 255 x 255: larger sizes are fitted, keeping the
proportion, with a note on stderr. WBMP is always 1 bit per pixel. PGX is always
gray.

A damaged source that still decodes (a JPEG cut short) is converted as decoded,
with a line "SRC: warning: TEXT" on stderr for each of the decoder's warnings.

The result message is printed on stdout. Exit status: 0 converted; 1 the source
could not be read or the target not written; 2 bad arguments (nothing written).
)";

struct ConvertArgs {
    std::string sourceArg; ///< as given, for the warning lines
    std::string source;
    std::string dest;
    std::uint32_t type = 0;
    std::optional<std::uint32_t> width, height, bpp;
    std::optional<std::int32_t> dpi;
    bool keepProportions = true;
    bool gray = false;
    bool rgb = false;
    bool gifKeepBpp = false;
    bool stripMetadata = false;
    bool quiet = false;
};

/// Parses the arguments; returns an exit code when the command must stop (help or error).
std::optional<int> Parse(Args& args, ConvertArgs& c)
{
    std::vector<std::string> positional;
    while (!args.Done()) {
        const std::string a = args.Next();
        bool missing = false;
        if (a == "--help" || a == "-h") {
            std::fputs(kConvertHelp, stdout);
            return kExitOk;
        }
        if (auto v = args.Value(a, "--type", missing)) {
            if (missing)
                return UsageError("convert: --type needs a FORMAT");
            c.type = ParseFormat(*v);
            if (c.type == 0)
                return UsageError("convert: unknown format '" + *v + "'");
        } else if (auto w = args.Value(a, "--width", missing)) {
            c.width = ParseUnsigned(*w);
            if (missing || !c.width)
                return UsageError("Please enter a positive integer.");
        } else if (auto h = args.Value(a, "--height", missing)) {
            c.height = ParseUnsigned(*h);
            if (missing || !c.height)
                return UsageError("Please enter a positive integer.");
        } else if (auto b = args.Value(a, "--bpp", missing)) {
            c.bpp = ParseUnsigned(*b);
            if (missing || !c.bpp)
                return UsageError("Please enter a positive integer.");
        } else if (auto d = args.Value(a, "--dpi", missing)) {
            c.dpi = ParseInt(*d);
            if (missing || !c.dpi)
                return UsageError("Please enter an integer.");
        } else if (a == "--keep-proportions") {
            c.keepProportions = true;
        } else if (a == "--no-keep-proportions") {
            c.keepProportions = false;
        } else if (a == "--gray") {
            c.gray = true;
        } else if (a == "--rgb") {
            c.rgb = true;
        } else if (a == "--gif-keep-bpp") {
            c.gifKeepBpp = true;
        } else if (a == "--strip-metadata") {
            c.stripMetadata = true;
        } else if (a == "-q" || a == "--quiet") {
            c.quiet = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return UsageError("convert: unknown option " + a);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2)
        return UsageError("convert: give SRC and DEST (see pelmora-cli convert --help)");
    if (c.gray && c.rgb)
        return UsageError("convert: --gray and --rgb exclude each other");
    // The desktop program always hands over full paths, and the messages name files by them.
    std::error_code ec;
    c.sourceArg = positional[0];
    c.source = std::filesystem::absolute(positional[0], ec).string();
    c.dest = std::filesystem::absolute(positional[1], ec).string();
    if (c.type == 0)
        c.type = core::ImageTypeFromExtension(c.dest);
    if (c.type == 0)
        return UsageError("convert: cannot tell the format of " + c.dest + " (give --type FORMAT)");
    return std::nullopt;
}

} // namespace

int RunConvert(Args& args)
{
    ConvertArgs c;
    if (std::optional<int> stop = Parse(args, c))
        return *stop;

    bool askedRgb = false;
    CliUi ui(c.quiet, [&](const std::string&, const std::string& caption) {
        if (caption == "Gray- scale or RGB image?") {
            askedRgb = true;
            return !c.gray;
        }
        if (caption == "GIF with more than 8 bpp detected.")
            return !c.gifKeepBpp;
        return true;
    });

    core::CVardenDoc doc(ui);
    if (!doc.OnOpenDocument(c.source)) {
        std::fprintf(stderr, "pelmora-cli: cannot read %s\n", c.source.c_str());
        return kExitFailed;
    }
    PrintWarnings(c.sourceArg, doc.Image().GetWarnings());
    if (c.stripMetadata)
        doc.Image().Metadata().Clear();

    // The options dialog, driven by the flags instead of a person.
    core::ExportDialogState state = core::PrepareConversionOptions(doc.Image(), c.type);
    core::ExportDialogInit(state);
    state.keepProportions = c.keepProportions;
    state.grayScale = c.gray;
    if (c.width) {
        state.width = *c.width;
        if (!c.height)
            core::ExportDialogLeaveWidth(state);
    }
    if (c.height) {
        state.height = *c.height;
        if (!c.width)
            core::ExportDialogLeaveHeight(state);
    }
    if (c.bpp) {
        const std::string text = std::to_string(*c.bpp);
        bool offered = false;
        for (const std::string& entry : state.bppList)
            offered |= entry == text;
        if (!offered) {
            std::string list;
            for (const std::string& entry : state.bppList)
                list += (list.empty() ? "" : ", ") + entry;
            return UsageError("convert: --bpp must be one of " + list);
        }
        if (state.bppEnabled)
            state.bppText = text;
        else if (text != state.bppText)
            ui.MessageBox(".wbmp files must have 1 bit per pixel color- depth.",
                core::kAppTitle,
                core::MessageIcon::Information,
                core::Owner::Dialog);
    }
    if (c.dpi)
        state.dpiText = std::to_string(*c.dpi);
    // A refused name keeps the dialog open with the size fitted; the second check passes.
    if (!core::ExportDialogFileNameOK(state, ui))
        core::ExportDialogFileNameOK(state, ui);
    if (state.width == 0 || state.height == 0)
        return UsageError("Please enter a positive integer.");

    core::ConversionOptions options = core::DecideColourDepth(core::ExportDialogResult(state, c.dest), ui);
    if (askedRgb && !c.rgb && !c.gray)
        std::fprintf(stderr,
            "note: %s needs RGB or gray scale at %s bpp; writing 24-bit RGB (use --gray for gray)\n",
            core::ImageTypeName(c.type).c_str(),
            state.bppText.c_str());

    ui.SetQuiet(true); // the outcome is printed on stdout below, once
    const core::ConversionOutcome outcome = core::ConvertImage(doc, options);
    std::printf("%s\n", outcome.message.c_str());
    return outcome.ok ? kExitOk : kExitFailed;
}

} // namespace cli
