#pragma once

// The image document: one image loaded from one file, and its zoom factor. Loading and saving
// report through the status bar; a failed load also shows a message box.

#include "codec/ximage.h"
#include "core/ui.h"

#include <string>

namespace core {

class CVardenDoc {
public:
    explicit CVardenDoc(Ui& ui, Clock clock = WallClockSeconds)
        : ui_(ui)
        , clock_(std::move(clock))
    {
    }
    virtual ~CVardenDoc() = default;

    /// A new untitled document with an empty image.
    virtual bool OnNewDocument();
    /// True when the image was loaded from `path`.
    virtual bool OnOpenDocument(const std::string& path);
    /// True when the image was written to `path` (or to path + "." + default extension when
    /// the name has no recognised extension).
    virtual bool OnSaveDocument(const std::string& path);

    codec::CxImage& Image() { return image_; }
    const codec::CxImage& Image() const { return image_; }
    float Zoom() const { return zoom_; }
    void SetZoom(float zoom) { zoom_ = zoom; }
    /// The document never marks itself modified, so closing never asks to save.
    bool IsModified() const { return false; }
    Ui& GetUi() const { return ui_; }
    const Clock& GetClock() const { return clock_; }

    /// Where a save of `path` writes, after the default extension rule and the slash rule.
    std::string SaveTarget(const std::string& path, std::uint32_t* type) const;

private:
    Ui& ui_;
    Clock clock_;
    codec::CxImage image_;
    float zoom_ = 1.0f;
};

/// Fits a size into 255 x 255 keeping the proportion (the ICO and WBMP limit).
void FitTo255(std::uint32_t width, std::uint32_t height, std::uint32_t& newWidth, std::uint32_t& newHeight);

} // namespace core
