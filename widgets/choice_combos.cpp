#include "widgets/choice_combos.h"

#include "core/registry.h"

#include <QComboBox>
#include <QString>

#include <span>
#include <string_view>

namespace widgets {

namespace {

void Append(QComboBox* box, std::span<const std::string_view> entries)
{
    for (std::string_view entry : entries)
        box->addItem(QString::fromUtf8(entry.data(), static_cast<qsizetype>(entry.size())));
}

} // namespace

void FillZoomCombo(QComboBox* box)
{
    if (!box)
        return;
    Append(box, core::ZoomLevels());
    box->setCurrentIndex(box->count() - static_cast<int>(core::ZoomLevels().size() - core::kInitialZoomIndex));
}

void FillBppCombo(QComboBox* box)
{
    if (!box)
        return;
    // A fresh drop-down list selects its first entry as soon as it gets one; this list starts
    // with nothing chosen, so the caller decides.
    const int before = box->currentIndex();
    Append(box, core::BppChoices());
    box->setCurrentIndex(before);
}

void FillDpiCombo(QComboBox* box)
{
    if (!box)
        return;
    const int before = box->currentIndex();
    Append(box, core::DpiChoices());
    box->setCurrentIndex(before);
}

} // namespace widgets
