#pragma once

// The conversion options dialog: a save-file dialog with the options panel below it.

#include "codec/ximage.h"
#include "core/conversion.h"
#include "core/ui.h"

#include <optional>

class QWidget;

namespace app {

/// Shows the options dialog for converting `image` to `targetType`; nothing when cancelled.
std::optional<core::ConversionOptions> ShowConversionOptions(QWidget* parent,
    const codec::CxImage& image,
    std::uint32_t targetType,
    core::Ui& ui);

} // namespace app
