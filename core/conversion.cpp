#include "core/conversion.h"

#include "core/paths.h"
#include "core/registry.h"

#include <cstdlib>

namespace core {

namespace {

bool NeedsRgbOrGray(std::uint32_t type)
{
    return type == codec::kTypeJpg || type == codec::kTypeJp2 || type == codec::kTypeJpc || type == codec::kTypePnm
        || type == codec::kTypeRas;
}

void FitSize(ExportDialogState& s)
{
    const codec::CxImage& src = *s.sourceImage;
    const double w = src.GetWidth(), h = src.GetHeight();
    s.width = 255;
    s.height = static_cast<std::uint32_t>(h / (w / 255.0));
    if (s.height > 255) {
        s.height = 255;
        s.width = static_cast<std::uint32_t>(w / (h / 255.0));
    }
}

bool Oversized(const ExportDialogState& s)
{
    return (s.targetType == codec::kTypeIco || s.targetType == codec::kTypeWbmp) && (s.width > 255 || s.height > 255);
}

} // namespace

ExportDialogState PrepareConversionOptions(const codec::CxImage& image, std::uint32_t targetType)
{
    ExportDialogState s;
    if (image.IsValid()) {
        s.width = image.GetWidth();
        s.height = image.GetHeight();
    }
    s.sourceImage = &image;
    s.bppText = Format("%d", static_cast<int>(image.GetBpp()));
    s.dpiText = Format("%d", image.GetXDPI());
    s.sourceType = image.GetType();
    s.targetType = targetType;
    return s;
}

int SelectOrAppend(std::vector<std::string>& list, const std::string& text)
{
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i] == text)
            return static_cast<int>(i);
    list.push_back(text);
    return static_cast<int>(list.size() - 1);
}

void ExportDialogInit(ExportDialogState& s)
{
    s.bppList.assign(BppChoices().begin(), BppChoices().end());
    s.bppSelected = SelectOrAppend(s.bppList, s.bppText);
    s.dpiList.assign(DpiChoices().begin(), DpiChoices().end());
    s.dpiSelected = SelectOrAppend(s.dpiList, s.dpiText);

    if (s.targetType == codec::kTypeWbmp && std::atoi(s.bppText.c_str()) > 1) {
        s.bppText = "1";
        s.bppSelected = SelectOrAppend(s.bppList, "1");
        s.bppEnabled = false;
    }
    if (Oversized(s) && s.sourceImage && s.sourceImage->IsValid())
        FitSize(s);
}

void ExportDialogLeaveWidth(ExportDialogState& s)
{
    if (!s.keepProportions || !s.sourceImage || !s.sourceImage->IsValid())
        return;
    const double w = s.sourceImage->GetWidth(), h = s.sourceImage->GetHeight();
    s.height = s.width == 0 ? 0 : static_cast<std::uint32_t>(h / (w / s.width) + 0.5);
}

void ExportDialogLeaveHeight(ExportDialogState& s)
{
    if (!s.keepProportions || !s.sourceImage || !s.sourceImage->IsValid())
        return;
    const double w = s.sourceImage->GetWidth(), h = s.sourceImage->GetHeight();
    s.width = s.height == 0 ? 0 : static_cast<std::uint32_t>(w / (h / s.height) + 0.5);
}

bool ExportDialogFileNameOK(ExportDialogState& s, Ui& ui)
{
    if (s.targetType == codec::kTypeWbmp && std::atoi(s.bppText.c_str()) > 1) {
        ui.MessageBox(
            ".wbmp files must have 1 bit per pixel color- depth.", kAppTitle, MessageIcon::Information, Owner::Dialog);
        s.bppText = "1";
        s.bppSelected = SelectOrAppend(s.bppList, "1");
    }
    if (Oversized(s)) {
        ui.MessageBox("Files with the ico or wbmp format can't have a dimension bigger than 255 x 255",
            kAppTitle,
            MessageIcon::Information,
            Owner::Dialog);
        if (s.sourceImage && s.sourceImage->IsValid())
            FitSize(s);
        return false;
    }
    return true;
}

ConversionOptions ExportDialogResult(const ExportDialogState& s, const std::string& path)
{
    ConversionOptions o;
    o.targetType = s.targetType;
    o.path = path;
    o.width = s.width;
    o.height = s.height;
    o.bpp = static_cast<std::uint32_t>(std::atoi(s.bppText.c_str()));
    o.dpi = std::atoi(s.dpiText.c_str());
    o.grayScale = s.grayScale;
    return o;
}

ConversionOutcome ConvertImage(CVardenDoc& doc, const ConversionOptions& o)
{
    codec::CxImage& source = doc.Image();
    if (!source.IsValid())
        return { false, {} };
    const std::int64_t start = doc.GetClock()();

    codec::CxImage image(o.width, o.height, source.GetBpp(), o.targetType);
    // Resample into the blank image even when the size is unchanged: it makes the copy.
    if (!source.Resample2(o.width, o.height, codec::kInterpolationNearest, codec::kOverflowBackground, &image, false))
        return { false,
            Format("Error while resampling image from %d:%d to %d:%d",
                static_cast<int>(source.GetWidth()),
                static_cast<int>(source.GetHeight()),
                static_cast<int>(o.width),
                static_cast<int>(o.height)) };
    // The new file carries the source's EXIF, XMP and ICC profile where its format holds them.
    image.SetMetadata(source.GetMetadata());

    if (image.GetBpp() > o.bpp)
        image.DecreaseBpp(o.bpp, true, nullptr, 0);
    else if (image.GetBpp() < o.bpp)
        image.IncreaseBpp(o.bpp);
    image.SetXDPI(o.dpi);
    image.SetYDPI(o.dpi);
    if (o.targetType == codec::kTypePgx || o.grayScale)
        image.GrayScale();

    // The codec writes through a temporary file, so a failed save leaves nothing behind and
    // never removes a file the person already had at this path.
    const bool saved = image.Save(o.path, o.targetType);
    const int elapsed = static_cast<int>(doc.GetClock()() - start);
    ConversionOutcome outcome;
    outcome.ok = saved;
    outcome.message = saved
        ? Format("Successfully converted file %s with a size of %d x %d in %d seconds",
            PathFileName(o.path).c_str(),
            static_cast<int>(o.width),
            static_cast<int>(o.height),
            elapsed)
        : Format("Error while saving image file to: %s\nError:\t%s", o.path.c_str(), image.GetLastError());
    doc.GetUi().SetStatusText(outcome.message);
    return outcome;
}

ConversionOptions DecideColourDepth(ConversionOptions o, Ui& ui)
{
    const std::uint32_t type = o.targetType;
    if (o.grayScale) {
        o.grayScale = true;
    } else if (type == codec::kTypePgx) {
        o.grayScale = true;
    } else if (NeedsRgbOrGray(type) && o.bpp <= 8) {
        const std::string text
            = Format("You have selected %s which either must be in RGB or gray- scale format.\nShould "
                     "the target image be converted as RGB or gray- scale image?\nPress YES for RGB "
                     "mode (changing %d to 24 bpp) or NO for gray- scale mode.",
                ImageTypeName(type).c_str(),
                static_cast<int>(o.bpp));
        if (ui.AskYesNo(text, "Gray- scale or RGB image?", MessageIcon::Information, Owner::View)) {
            o.grayScale = false;
            o.bpp = 24;
        } else {
            o.grayScale = true;
        }
    } else {
        o.grayScale = false;
    }
    if (type == codec::kTypeGif && o.bpp > 8) {
        const std::string text = std::string("Your are about to convert a gif image with more than 8 bits per pixel.\n")
            + "These images can't be displayed by the most conventional image viewers.\n"
            + "Click YES if you want to convert the image with 8 bpp otherwise NO.";
        if (ui.AskYesNo(text, "GIF with more than 8 bpp detected.", MessageIcon::Information, Owner::View))
            o.bpp = 8;
    }
    return o;
}

void ConvertImageCommand(CVardenDoc& doc, std::uint32_t targetType, const ShowOptionsFn& showOptions, Ui& ui)
{
    std::optional<ConversionOptions> chosen = showOptions(targetType);
    if (!chosen)
        return;
    ConversionOptions options = DecideColourDepth(*chosen, ui);
    ConversionOutcome outcome;
    {
        WaitCursor wait(ui);
        outcome = ConvertImage(doc, options);
    }
    if (outcome.ok)
        ui.MessageBox(outcome.message, "Successfully converted file", MessageIcon::Information, Owner::View);
    else
        ui.MessageBox(outcome.message, "Error while converting file", MessageIcon::Error, Owner::View);
}

} // namespace core
