// pelmora-cli gif-animate, gif-info and gif-extract: the GIF tools over the same engine as the
// desktop program's builder and frame viewer.

#include "cli/commands.h"
#include "codec/ximage.h"
#include "core/paths.h"
#include "core/registry.h"
#include "gif/gif_builder.h"
#include "gif/gif_extract.h"
#include "gif/gif_stream.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace cli {

namespace {

constexpr const char* kAnimateHelp
    = R"(Usage: pelmora-cli gif-animate --out FILE.gif [--loops N|infinite] [--delay N] FILES...

Builds one animated GIF, one frame per file, in the order given. The frames may
be GIF files or any other images Pelmora reads (PNG, JPEG, ...).

Options:
  --out FILE.gif     the animation to write (replaced only when it is complete)
  --loops N          show the animation N times (1 to 100); default: infinite
  --loops infinite   loop for ever
  --delay N          frame delay in hundredths of a second for the files that
                     follow it (default 22); may be repeated
  --palette MODE     how frames of more than 256 colours get theirs: "shared"
                     (one palette for all, steady colours), "per-frame" (each
                     its own), or "auto" (the default: shared unless it costs
                     clearly more colour error); GIF frames keep their own
  -q, --quiet        no notes on stderr

Files that are not images by their extension are skipped with a note. At least
two frames are needed. Exit status: 0 written; 1 the animation could not be
built (nothing changed at FILE.gif); 2 bad arguments.
)";

constexpr const char* kInfoHelp = R"(Usage: pelmora-cli gif-info FILE.gif

Prints the GIF's block information, one line per graphic control extension and
image, then the number of frames:
  Graphic control for frame N Delay D
  Image frame N Res: WxH Pos: Left L Top T
  frames: COUNT
)";

constexpr const char* kExtractHelp = R"(Usage: pelmora-cli gif-extract FILE.gif --out DIR [--coalesce]

Writes every frame of an animated GIF to DIR/NAME_N.gif (N from 1), each the
frame's own one-image GIF as stored in the animation.

Options:
  --out DIR      the folder for the frames
  --coalesce     write each frame as it appears on screen instead: the whole
                 picture with the earlier frames under it, disposal applied
  -q, --quiet    no status lines on stderr

Exit status: 0 written; 1 the file holds fewer than two frames; 2 bad arguments
or not a GIF by its extension.
)";

constexpr const char* kNotAnimation = "The selected file is not a valid GIF animation";

bool WantsHelp(const std::string& a)
{
    return a == "--help" || a == "-h";
}

} // namespace

int RunGifAnimate(Args& args)
{
    std::string out;
    int loops = -1;
    std::uint32_t delay = 22;
    bool quiet = false;
    gif::FramePalette palette = gif::FramePalette::kAuto;
    std::vector<gif::GifFrameSource> frames;
    std::vector<std::string> skipped;
    while (!args.Done()) {
        std::string a = args.Next();
        bool missing = false;
        if (WantsHelp(a)) {
            std::fputs(kAnimateHelp, stdout);
            return kExitOk;
        }
        if (auto v = args.Value(a, "--out", missing)) {
            if (missing)
                return UsageError(a + " needs a value");
            out = *v;
        } else if (auto v = args.Value(a, "--loops", missing)) {
            if (missing)
                return UsageError(a + " needs a value");
            if (*v == "infinite") {
                loops = -1;
            } else {
                auto n = ParseUnsigned(*v);
                if (!n || *n < 1 || *n > 100)
                    return UsageError("Please enter an integer between 1 and 100.");
                loops = static_cast<int>(*n);
            }
        } else if (auto v = args.Value(a, "--delay", missing)) {
            if (missing)
                return UsageError(a + " needs a value");
            auto n = ParseUnsigned(*v);
            if (!n || *n > 65535)
                return UsageError("gif-animate: --delay takes hundredths of a second from 0 to 65535");
            delay = *n;
        } else if (auto v = args.Value(a, "--palette", missing)) {
            if (!missing && *v == "shared")
                palette = gif::FramePalette::kShared;
            else if (!missing && *v == "per-frame")
                palette = gif::FramePalette::kPerFrame;
            else if (!missing && *v == "auto")
                palette = gif::FramePalette::kAuto;
            else
                return UsageError("gif-animate: --palette takes shared, per-frame or auto");
        } else if (a == "-q" || a == "--quiet") {
            quiet = true;
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            return UsageError("gif-animate: unknown option " + a);
        } else if (core::ImageTypeFromExtension(a) != 0) {
            frames.push_back({ a, delay });
        } else {
            skipped.push_back(a);
        }
    }
    if (out.empty())
        return UsageError("Please select a destination GIF file for the animation sequence");
    if (!quiet)
        for (const std::string& path : skipped)
            std::fprintf(stderr, "%s: warning: not an image file, skipped\n", path.c_str());
    if (frames.size() < 2)
        return UsageError("Please select at least two GIF files for the animation sequence");
    std::string why;
    gif::FramePalette used = gif::FramePalette::kPerFrame;
    if (!gif::BuildAnimatedGif(frames, out, loops, palette, &used, &why)) {
        std::fprintf(stderr, "%s: error: %s\n", out.c_str(), why.c_str());
        return kExitFailed;
    }
    if (!quiet && palette == gif::FramePalette::kAuto && used == gif::FramePalette::kShared)
        std::fprintf(stderr, "%s: the frames share one palette\n", out.c_str());
    return kExitOk;
}

int RunGifInfo(Args& args)
{
    std::string path;
    while (!args.Done()) {
        std::string a = args.Next();
        if (WantsHelp(a)) {
            std::fputs(kInfoHelp, stdout);
            return kExitOk;
        }
        if (a.size() > 1 && a[0] == '-')
            return UsageError("gif-info: unknown option " + a);
        if (!path.empty())
            return UsageError("gif-info: one file at a time");
        path = a;
    }
    if (path.empty())
        return UsageError("gif-info: no file given (see pelmora-cli gif-info --help)");
    gif::GifStreamDecoder decoder;
    const bool loaded = decoder.LoadPictureFile(path);
    if (decoder.InfoLines().empty())
        std::puts("No picture information available for this GIF file...");
    for (const std::string& line : decoder.InfoLines())
        std::puts(line.c_str());
    const std::size_t count = decoder.Frames().empty() ? (decoder.SinglePicture() ? 1 : 0) : decoder.Frames().size();
    std::printf("frames: %zu\n", count);
    return loaded ? kExitOk : kExitFailed;
}

int RunGifExtract(Args& args)
{
    std::string path, outDir;
    bool coalesce = false;
    bool quiet = false;
    while (!args.Done()) {
        std::string a = args.Next();
        bool missing = false;
        if (WantsHelp(a)) {
            std::fputs(kExtractHelp, stdout);
            return kExitOk;
        }
        if (auto v = args.Value(a, "--out", missing)) {
            if (missing)
                return UsageError(a + " needs a value");
            outDir = *v;
        } else if (a == "--coalesce") {
            coalesce = true;
        } else if (a == "-q" || a == "--quiet") {
            quiet = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return UsageError("gif-extract: unknown option " + a);
        } else if (!path.empty()) {
            return UsageError("gif-extract: one file at a time");
        } else {
            path = a;
        }
    }
    if (path.empty() || outDir.empty())
        return UsageError("gif-extract: FILE.gif and --out DIR are needed (see pelmora-cli gif-extract --help)");
    if (core::ImageTypeFromExtension(path) != codec::kTypeGif)
        return UsageError(kNotAnimation);
    // Full paths, as the desktop program hands them over: a frame's name comes from the path.
    std::error_code ec;
    path = std::filesystem::absolute(path, ec).string();
    outDir = std::filesystem::absolute(outDir, ec).string();
    while (outDir.size() > 1 && outDir.back() == '/')
        outDir.pop_back();

    gif::GifStreamDecoder decoder;
    decoder.LoadPictureFile(path); // a file that does not load has no frames: reported below
    const std::string base = outDir + "/" + core::PathFileName(path);
    std::vector<std::string> failed;
    const bool ok
        = coalesce ? gif::SaveCoalescedFramesAsFiles(decoder, base) : gif::SaveFramesAsFiles(decoder, base, &failed);
    // A frame that could not be written (a full disk, a folder gone) fails the command.
    for (const std::string& name : failed)
        std::fprintf(stderr, "%s: error: the frame cannot be written\n", name.c_str());
    if (!ok || !failed.empty()) {
        std::fprintf(stderr, "Error while saving the frames as images for the file %s\n", path.c_str());
        return kExitFailed;
    }
    if (!quiet)
        std::fprintf(stderr, "%zu frames written to %s\n", decoder.Frames().size(), outDir.c_str());
    return kExitOk;
}

} // namespace cli
