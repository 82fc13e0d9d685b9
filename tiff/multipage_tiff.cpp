#include "tiff/multipage_tiff.h"

#include "codec/fileio.h"
#include "codec/ximage.h"
#include "codec/ximagetif.h"
#include "codec/xiofile.h"
#include "core/registry.h"

#include <climits>

namespace tiff {

bool BuildMultipageTiff(
    const std::vector<std::string>* files, const std::string& target, std::vector<BuildError>* errors)
{
    auto note = [errors](const std::string& path, std::string reason) {
        if (errors)
            errors->push_back({ path, std::move(reason) });
    };
    if (!files || files->empty())
        return false;
    if (files->size() > static_cast<std::size_t>(INT_MAX)) {
        note(target, "too many pages");
        return false;
    }
    // The pages go to a temporary file that replaces the target only when complete: a failed
    // build leaves nothing behind, and a target that is also a page is still there to be read.
    codec::AtomicFile out(target);
    if (codec::Result r = out.Open(); !r) {
        note(target, r.message);
        return false;
    }
    codec::CxIOFile stream(out.stream());
    codec::CxImageTIF writer; // after `out`: an unfinished writer lets go of the stream first
    bool loaded = true;
    bool writing = writer.BeginPages(&stream, static_cast<int>(files->size()));
    if (!writing)
        note(target, writer.GetLastError());
    for (const std::string& path : *files) {
        // One decoded page at a time: load, write, free. After a failure the remaining files
        // are still loaded, so that every unreadable one is found in one run.
        codec::CxImage page;
        if (!page.Load(path, core::ImageTypeFromExtension(path))) {
            loaded = false;
            note(path, page.GetLastError());
            writing = false; // the temporary file goes when `out` does
            continue;
        }
        if (writing && !writer.WritePage(page)) {
            writing = false;
            note(target, writer.GetLastError());
        }
    }
    if (!loaded || !writing)
        return false;
    if (!writer.EndPages()) {
        note(target, writer.GetLastError());
        return false;
    }
    if (codec::Result r = out.Commit(); !r) {
        note(target, r.message);
        return false;
    }
    return true;
}

bool CreateMultipageTiff(
    core::Ui& ui, const std::vector<std::string>& files, const std::string& target, std::vector<BuildError>* errors)
{
    if (BuildMultipageTiff(&files, target, errors))
        return true;
    ui.MessageBox(kBuildErrorText, kBuildErrorCaption, core::MessageIcon::Warning, core::Owner::MainWindow);
    return false;
}

} // namespace tiff
