#pragma once

// The image document: one image loaded from one file, and its zoom factor. Loading and saving
// report through the status bar; a failed load also shows a message box.

#include "codec/ximage.h"
#include "core/ui.h"

#include <cstdint>
#include <string>
#include <vector>

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

    /// The Edit menu's three rotations. They keep count, so that a JPEG turned by them is saved
    /// as JPEG by moving its compressed blocks rather than encoding it again (see SaveTurnedJpeg).
    void RotateLeft() { Turn(3); }
    void RotateRight() { Turn(1); }
    void Rotate180() { Turn(2); }

    /// Writes the loaded JPEG file, turned as the rotations turned the picture, to `target`
    /// without re-encoding it. Unsupported when that cannot give exactly the picture shown: no
    /// rotation since the load, not a JPEG, the picture changed otherwise since (red eyes, a save's
    /// format rule), or edges that end inside a JPEG block. Other failures are the write's own.
    codec::Result SaveTurnedJpeg(const std::string& target) const;

private:
    void Turn(int quarters);
    /// A value that any change of the pixels changes and a turn does not.
    static std::uint64_t TurnInvariantPrint(const codec::CxImage& image);

    Ui& ui_;
    Clock clock_;
    codec::CxImage image_;
    float zoom_ = 1.0f;
    // The loaded JPEG file, kept while the picture is that file turned (empty otherwise).
    std::vector<std::uint8_t> sourceJpeg_;
    std::uint64_t sourcePrint_ = 0;
    std::uint32_t sourceWidth_ = 0, sourceHeight_ = 0; ///< as loaded (upright)
    int quarterTurns_ = 0; ///< clockwise, by the rotation commands since the load
    bool turned_ = false; ///< a rotation command ran since the load
};

/// Fits a size into 255 x 255 keeping the proportion (the ICO and WBMP limit).
void FitTo255(std::uint32_t width, std::uint32_t height, std::uint32_t& newWidth, std::uint32_t& newHeight);

} // namespace core
