#pragma once

// The single-image conversion: the options, the rules of the options dialog (shared by the
// desktop dialog and the command line), the questions about colour depth, and the conversion.

#include "codec/ximage.h"
#include "core/document.h"
#include "core/ui.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace core {

struct ConversionOptions {
    std::uint32_t targetType = 0;
    std::string path;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t bpp = 0;
    std::int32_t dpi = 0;
    bool grayScale = false;
};

/// The members of the options dialog and the state of its two lists; the dialog copies its
/// controls into this and back, the rules below work on it alone.
struct ExportDialogState {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool keepProportions = true;
    bool grayScale = false;
    const codec::CxImage* sourceImage = nullptr;
    std::string bppText = "32";
    std::string dpiText = "0";
    std::uint32_t sourceType = 0;
    std::uint32_t targetType = 0;

    std::vector<std::string> bppList;
    int bppSelected = -1;
    bool bppEnabled = true;
    std::vector<std::string> dpiList;
    int dpiSelected = -1;
};

/// The dialog's starting values from the document's image (valid or not) and the target type.
ExportDialogState PrepareConversionOptions(const codec::CxImage& image, std::uint32_t targetType);
/// Fills the lists (select-or-append), then applies the WBMP depth rule and the 255 size rule.
void ExportDialogInit(ExportDialogState& s);
/// Selects the entry equal to `text`, appending it first when the list has none.
int SelectOrAppend(std::vector<std::string>& list, const std::string& text);
/// Keep proportions after the width (or height) edit loses focus.
void ExportDialogLeaveWidth(ExportDialogState& s);
void ExportDialogLeaveHeight(ExportDialogState& s);
/// The accept check of a chosen file name; false keeps the dialog open.
bool ExportDialogFileNameOK(ExportDialogState& s, Ui& ui);
/// The options the dialog hands over on OK.
ConversionOptions ExportDialogResult(const ExportDialogState& s, const std::string& path);

/// The result of a conversion: success and the message shown for it.
struct ConversionOutcome {
    bool ok = false;
    std::string message;
};

/// Converts the document's image: resize, then depth, then resolution, then gray scale, then
/// save. The document's image is never changed; a failed save leaves no file behind and any
/// earlier file at the path as it was.
ConversionOutcome ConvertImage(CVardenDoc& doc, const ConversionOptions& options);

/// Applies the gray-scale decision and the GIF question to the dialog's options.
ConversionOptions DecideColourDepth(ConversionOptions options, Ui& ui);

/// The convert command: show the options (null = cancelled), decide, convert, report.
using ShowOptionsFn = std::function<std::optional<ConversionOptions>(std::uint32_t targetType)>;
void ConvertImageCommand(CVardenDoc& doc, std::uint32_t targetType, const ShowOptionsFn& showOptions, Ui& ui);

} // namespace core
