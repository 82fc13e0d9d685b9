// pelmora-cli: the command-line face of the converter, over the same engine as the desktop program.

#include "cli/commands.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifndef PELMORA_VERSION
#define PELMORA_VERSION "0.1.0"
#endif

namespace {

constexpr const char* kHelp = R"(Usage: pelmora-cli COMMAND [OPTIONS] [FILES...]

Reads and converts images in 18 formats: BMP, GIF, JPEG, PNG, ICO, TIFF, TGA,
PCX, WBMP, WMF, JPEG 2000 (JP2 and JPC), PGX, PNM, Sun raster (RAS), WebP, AVIF
and JPEG XL.

Commands:
  info FILE...                 each file's format, size, depth and resolution
  convert SRC DEST             convert one image (size, depth, dpi, gray scale)
  batch --to FORMAT --out DIR FILES_OR_DIRS...
                               convert many images into one format
  report merge REPORTS...      join the reports of a batch plan's shards
  gif-animate --out FILE.gif FILES...
                               build an animated GIF from GIF files
  gif-info FILE.gif            an animated GIF's block information and frames
  gif-extract FILE.gif --out DIR
                               write each frame of an animated GIF to a file
  rotate [--left|--right|--180] [--lossless] IN OUT
                               turn an image (a JPEG without re-encoding)
  tiff --out FILE.tiff FILES...
                               join images into one multi-page TIFF
  encrypt --out DIR FILES...   encrypt files with a password into DIR
  decrypt --out DIR FILES...   decrypt them again

Run 'pelmora-cli COMMAND --help' for a command's options.

Exit status: 0 success; 1 at least one file failed; 2 usage or validation error.
)";

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> rest(argv + std::min(argc, 2), argv + argc);
    if (argc < 2) {
        std::fputs(kHelp, stderr);
        return cli::kExitUsage;
    }
    const std::string command = argv[1];
    cli::Args args(rest);
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kHelp, stdout);
        return cli::kExitOk;
    }
    if (command == "--version") {
        std::printf("pelmora-cli %s\n", PELMORA_VERSION);
        return cli::kExitOk;
    }
    if (command == "info")
        return cli::RunInfo(args);
    if (command == "convert")
        return cli::RunConvert(args);
    if (command == "encrypt")
        return cli::RunEncrypt(args);
    if (command == "decrypt")
        return cli::RunDecrypt(args);
    if (command == "gif-animate")
        return cli::RunGifAnimate(args);
    if (command == "gif-info")
        return cli::RunGifInfo(args);
    if (command == "gif-extract")
        return cli::RunGifExtract(args);
    if (command == "rotate")
        return cli::RunRotate(args);
    if (command == "tiff")
        return cli::RunTiff(args);
    if (command == "batch")
        return cli::RunBatchWithPresets(rest);
    if (command == "report")
        return cli::RunReport(args);
    return cli::UsageError("unknown command '" + command + "' (see pelmora-cli --help)");
}
