#include "batch/batch_settings_check.h"

#include "core/registry.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <limits>

namespace batch {

namespace {

constexpr std::array<std::string_view, kOriginalFormatEntries + 3> kFormatEntries = {
    "Bitmap File (.bmp)",
    "Graphics Interchange Format File (.gif)",
    "Joint Photographic Experts Group File (.jpg, .jpeg)",
    "Icon File (.ico)",
    "Portable Network Graphics File (.png)",
    "Tagged Image File Format (.tif, .tiff)",
    "Targa Image File (.tga)",
    "Picture Exchange Image File (.pcx)",
    "Wireless Bitmap File (.wbmp)",
    "JPEG 2000 File (.jp2)",
    "Japan Picture Format File (.jpc)",
    "Binary Property Page File (.pgx)",
    "Sun Raster Graphic File (.ras)",
    "Portable Any Map Graphic Bitmap File (.pnm, .ppm, .pgm)",
    "WebP Image File (.webp)",
    "AV1 Image File (.avif)",
    "JPEG XL File (.jxl)",
};

} // namespace

std::span<const std::string_view> BatchFormatEntries()
{
    return kFormatEntries;
}

SettingsCheck CheckBatchSettings(const BatchDialogValues& values, std::size_t rowsShown)
{
    if (values.files.empty() || rowsShown == 0)
        return SettingsCheck::NoFiles;
    if (values.formatText.empty())
        return SettingsCheck::NoFormat;
    if (values.destination.empty())
        return SettingsCheck::NoDestination;
    if (values.encrypt && values.password.empty())
        return SettingsCheck::NoPassword;
    return SettingsCheck::Passed;
}

SettingsCheckMessage MessageFor(SettingsCheck check)
{
    switch (check) {
    case SettingsCheck::NoFiles:
        return { "Please select files to convert.", "No files selected" };
    case SettingsCheck::NoFormat:
        return { "Please select a format for the conversion from the dropdown- field.", "No format selected" };
    case SettingsCheck::NoDestination:
        return { "Please select a destination path for the conversion.", "No destination selected" };
    case SettingsCheck::NoPassword:
        // The password message has always carried the destination message's caption.
        return { "Please specify a password or deactivate the encryption.", "No destination selected" };
    case SettingsCheck::Passed:
        break;
    }
    return {};
}

SettingsCheck ValidateBatchSettings(const BatchDialogValues& values, std::size_t rowsShown, core::Ui& ui)
{
    const SettingsCheck check = CheckBatchSettings(values, rowsShown);
    if (check != SettingsCheck::Passed) {
        const SettingsCheckMessage message = MessageFor(check);
        ui.MessageBox(message.text, message.caption, core::MessageIcon::Information, core::Owner::Dialog);
    }
    return check;
}

std::vector<std::string> RemoveRows(const std::vector<std::string>& files, const std::vector<int>& selectedRows)
{
    std::vector<std::string> kept;
    kept.reserve(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        const bool selected
            = std::find(selectedRows.begin(), selectedRows.end(), static_cast<int>(i)) != selectedRows.end();
        if (!selected)
            kept.push_back(files[i]);
    }
    return kept;
}

BatchJob MakeBatchJob(const BatchDialogValues& values)
{
    BatchJob job;
    job.files = values.files;
    job.imageType = core::ImageTypeFromName(values.formatText);
    job.destination = values.destination;
    job.resizeEnabled = values.changeMaxSide;
    // The size edit takes digits only, so a negative size never gets here.
    job.maxSide = static_cast<std::uint32_t>(std::max<std::int32_t>(values.maxSide, 0));
    job.depthEnabled = values.changeBpp;
    job.targetBpp = LeadingNumber(values.bppText);
    job.suffix = values.suffix;
    job.encrypt = values.encrypt;
    job.password = values.password;
    return job;
}

std::uint32_t LeadingNumber(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    if (i < text.size() && text[i] == '+')
        ++i;
    std::uint64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (value > std::numeric_limits<std::uint32_t>::max())
            return std::numeric_limits<std::uint32_t>::max();
    }
    return static_cast<std::uint32_t>(value);
}

} // namespace batch
