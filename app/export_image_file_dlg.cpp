#include "app/export_image_file_dlg.h"

namespace app {

std::optional<core::ConversionOptions> ShowConversionOptions(QWidget*, const codec::CxImage&, std::uint32_t, core::Ui&)
{
    return std::nullopt; // the dialog lands with its own change
}

} // namespace app
