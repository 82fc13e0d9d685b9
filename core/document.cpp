#include "core/document.h"

#include "codec/exif.h"
#include "codec/fileio.h"
#include "codec/formats/jpeg.h"

#include "core/paths.h"
#include "core/registry.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace core {

namespace {

/// What the framework checked before a save: can the target be written? It reports a refusal
/// but, unlike the original framework step, never creates or empties the file, so a save that
/// fails later cannot destroy what was there.
bool TargetWritable(const std::string& path)
{
    struct stat st { };
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return false;
        return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 && ::access(path.c_str(), W_OK) == 0;
    }
    std::string folder = PathDirectory(path);
    if (folder.empty())
        folder = path.front() == '/' ? "/" : ".";
    return ::access(folder.c_str(), W_OK) == 0;
}

} // namespace

void FitTo255(std::uint32_t width, std::uint32_t height, std::uint32_t& newWidth, std::uint32_t& newHeight)
{
    if (width > height) {
        newWidth = 255;
        newHeight = static_cast<std::uint32_t>(height / (width / 255.0));
    } else {
        newWidth = static_cast<std::uint32_t>(width / (height / 255.0));
        newHeight = 255;
    }
}

bool CVardenDoc::OnNewDocument()
{
    image_ = codec::CxImage();
    zoom_ = 1.0f;
    sourceJpeg_.clear();
    turned_ = false;
    quarterTurns_ = 0;
    return true;
}

void CVardenDoc::Turn(int quarters)
{
    if (!image_.IsValid())
        return;
    const bool ok = quarters == 1 ? image_.RotateRight() : quarters == 2 ? image_.Rotate180() : image_.RotateLeft();
    if (!ok)
        return;
    turned_ = true;
    quarterTurns_ = (quarterTurns_ + quarters) % 4;
}

std::uint64_t CVardenDoc::TurnInvariantPrint(const codec::CxImage& image)
{
    // A sum over pixels does not depend on their order; each pixel is mixed first so that
    // changes cannot cancel out as easily as in a plain byte sum.
    const std::size_t step = image.GetBytesPerPixel();
    const std::vector<std::uint8_t>& pixels = image.Pixels();
    std::uint64_t sum = image.GetBpp();
    for (std::size_t i = 0; i + step <= pixels.size(); i += step) {
        std::uint64_t v = 0;
        for (std::size_t k = 0; k < step; ++k)
            v = v << 8 | pixels[i + k];
        v = (v + 0x9E3779B97F4A7C15ull) * 0xBF58476D1CE4E5B9ull;
        sum += v ^ (v >> 31);
    }
    return sum;
}

codec::Result CVardenDoc::SaveTurnedJpeg(const std::string& target) const
{
    if (sourceJpeg_.empty() || !turned_)
        return codec::Unsupported("the picture is not a loaded JPEG turned by the rotation commands");
    const bool sideways = quarterTurns_ % 2 != 0;
    const std::uint32_t width = sideways ? sourceHeight_ : sourceWidth_;
    const std::uint32_t height = sideways ? sourceWidth_ : sourceHeight_;
    if (image_.GetWidth() != width || image_.GetHeight() != height || TurnInvariantPrint(image_) != sourcePrint_)
        return codec::Unsupported("the picture has changed since it was loaded");
    // The file may be stored sideways with an orientation tag, which the load applied.
    const int stored = codec::exif::Orientation(codec::exif::FindInJpeg(sourceJpeg_));
    const codec::Orientation turn = codec::ThenTurn(codec::UprightTurn(stored), quarterTurns_);
    std::vector<std::uint8_t> bytes;
    if (codec::Result r = codec::JpegTurnLossless(sourceJpeg_, turn, bytes); !r)
        return r.status == codec::Status::Malformed ? codec::Unsupported(r.message) : r;
    return codec::WriteFileAtomic(target, bytes);
}

bool CVardenDoc::OnOpenDocument(const std::string& path)
{
    // The framework's own open step: the file must be readable, or there is no document.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st { };
    const bool readable = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (fd >= 0)
        ::close(fd);
    if (!readable) {
        ui_.MessageBox("Failed to open document.", kAppTitle, MessageIcon::Warning, Owner::MainWindow);
        return false;
    }

    ui_.SetStatusText(Format("Loading file %s", path.c_str()));
    const ImageType type = ImageTypeFromExtension(path);
    const std::int64_t start = clock_();
    // The file's bytes are read here rather than by Load so that a JPEG's can be kept: turning
    // it later is then lossless (SaveTurnedJpeg).
    std::vector<std::uint8_t> bytes;
    const codec::Result read = codec::ReadWholeFile(path, bytes);
    bool loaded = false;
    if (read) {
        loaded = image_.Decode(bytes, type);
    } else {
        image_.Destroy();
        image_.ClearWarnings();
        image_.Report(read);
    }
    sourceJpeg_.clear();
    turned_ = false;
    quarterTurns_ = 0;
    if (loaded && image_.GetType() == codec::kTypeJpg) {
        sourceJpeg_ = std::move(bytes);
        sourcePrint_ = TurnInvariantPrint(image_);
        sourceWidth_ = image_.GetWidth();
        sourceHeight_ = image_.GetHeight();
    }
    const std::int64_t end = clock_();
    if (loaded) {
        ui_.SetStatusText(
            Format("File %s successfully loaded in %d seconds.", path.c_str(), static_cast<int>(end - start)));
        return true;
    }
    const std::string text = Format("Error while opening file %s\n%s", path.c_str(), image_.GetLastError());
    ui_.SetStatusText(text);
    ui_.MessageBox(text, "Error while loading file", MessageIcon::Error, Owner::None);
    return false;
}

std::string CVardenDoc::SaveTarget(const std::string& path, std::uint32_t* typeOut) const
{
    std::string name = PathFileName(path);
    const std::string folder = PathDirectory(path);
    ImageType type = ImageTypeFromExtension(name);
    if (type == 0) {
        // No recognised extension: keep the name and add the default one of the loaded format.
        type = image_.GetType();
        const std::string ext = type <= kLastImageType ? ImageTypeFilter(type).defaultExtension : std::string();
        name += "." + ext;
    }
    if (typeOut)
        *typeOut = type;
    return PathToForwardSlashes(folder + "/" + name);
}

bool CVardenDoc::OnSaveDocument(const std::string& path)
{
    WaitCursor wait(ui_);
    std::uint32_t type = 0;
    if (ImageTypeFromExtension(PathFileName(path)) != 0 && !TargetWritable(path))
        ui_.MessageBox(Format("Unable to write to %s, it is read-only or opened by someone else.", path.c_str()),
            kAppTitle,
            MessageIcon::Warning,
            Owner::MainWindow);
    const std::string target = SaveTarget(path, &type);
    ui_.SetStatusText(Format("Saving image file %s", target.c_str()));

    // Format constraints change the open picture itself; their results are not checked.
    if ((type == codec::kTypeIco || type == codec::kTypeWbmp)
        && (image_.GetHeight() > 255 || image_.GetWidth() > 255)) {
        image_.DecreaseBpp(8, true, nullptr, 0);
        std::uint32_t w = 0, h = 0;
        FitTo255(image_.GetWidth(), image_.GetHeight(), w, h);
        image_.Resample2(w, h, codec::kInterpolationNearest, codec::kOverflowBackground, nullptr, false);
    }
    if (type == codec::kTypeWbmp)
        image_.DecreaseBpp(1, true, nullptr, 0);
    if (type == codec::kTypePgx)
        image_.GrayScale();

    // A JPEG turned by the rotation commands is written without re-encoding when that gives
    // exactly the picture shown; otherwise (and on any other failure of that way) it is encoded.
    bool saved = false;
    bool written = false;
    if (type == codec::kTypeJpg && turned_) {
        const codec::Result r = SaveTurnedJpeg(target);
        written = static_cast<bool>(r) || r.status != codec::Status::Unsupported;
        saved = static_cast<bool>(r);
        if (!r && written)
            image_.Report(r);
    }
    if (!written)
        saved = image_.Save(target, type);
    // "Ê" (U+00CA) is part of the failure text as the program has always shown it.
    ui_.SetStatusText(
        Format(saved ? "Successfully saved file %s" : "\xC3\x8Arror while saving file %s", target.c_str()));
    return saved;
}

} // namespace core
