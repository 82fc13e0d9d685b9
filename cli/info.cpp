// pelmora-cli info FILE...: what the codec reads from each file.

#include "cli/commands.h"
#include "codec/ximage.h"
#include "core/registry.h"

#include <cstdio>
#include <string>
#include <vector>

namespace cli {

namespace {

constexpr const char* kInfoHelp = R"(Usage: pelmora-cli info [--json] FILE...

Reads each FILE and prints one line per file:
  PATH: TYPE-NAME WxH BPP bpp DPI dpi
TYPE-NAME is the format the file was read as (found from its content when the
extension is unknown or wrong); DPI is the horizontal resolution, 0 when the
file stores none. A file that cannot be read prints
  PATH: error: REASON
and the command exits with status 1 after the other files. A damaged file that
still decodes (a JPEG cut short) is shown as decoded, with a line
  PATH: warning: TEXT
on stderr for each of the decoder's warnings.

Options:
  --json    print one JSON object per file instead; each has a "warnings" list
)";

} // namespace

int RunInfo(Args& args)
{
    bool json = false;
    std::vector<std::string> files;
    while (!args.Done()) {
        std::string a = args.Next();
        if (a == "--help" || a == "-h") {
            std::fputs(kInfoHelp, stdout);
            return kExitOk;
        }
        if (a == "--json") {
            json = true;
        } else if (a == "--") {
            while (!args.Done())
                files.push_back(args.Next());
        } else if (a.size() > 1 && a[0] == '-') {
            return UsageError("info: unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (files.empty())
        return UsageError("info: no file given (see pelmora-cli info --help)");

    int status = kExitOk;
    for (const std::string& path : files) {
        codec::CxImage image;
        const bool ok = image.Load(path, core::ImageTypeFromExtension(path));
        if (!ok)
            status = kExitFailed;
        PrintWarnings(path, image.GetWarnings());
        if (json) {
            if (ok)
                std::printf("{\"path\": %s, \"ok\": true, \"type\": %s, \"width\": %u, \"height\": %u, \"bpp\": %u, "
                            "\"dpi\": %d, \"warnings\": %s}\n",
                    JsonString(path).c_str(),
                    JsonString(core::ImageTypeName(image.GetType())).c_str(),
                    image.GetWidth(),
                    image.GetHeight(),
                    image.GetBpp(),
                    image.GetXDPI(),
                    JsonStringArray(image.GetWarnings()).c_str());
            else
                std::printf("{\"path\": %s, \"ok\": false, \"error\": %s, \"warnings\": %s}\n",
                    JsonString(path).c_str(),
                    JsonString(image.GetLastError()).c_str(),
                    JsonStringArray(image.GetWarnings()).c_str());
        } else if (ok) {
            std::printf("%s: %s %ux%u %u bpp %d dpi\n",
                path.c_str(),
                core::ImageTypeName(image.GetType()).c_str(),
                image.GetWidth(),
                image.GetHeight(),
                image.GetBpp(),
                image.GetXDPI());
        } else {
            std::printf("%s: error: %s\n", path.c_str(), image.GetLastError());
        }
    }
    return status;
}

} // namespace cli
