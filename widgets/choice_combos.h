#pragma once

// The registry's fixed choice lists put into drop-down lists. Every list that offers zoom
// levels, bits per pixel or resolutions is filled through these, so they all read the same.

class QComboBox;

namespace widgets {

/// Appends the zoom levels and selects "100%". Nothing happens for a null box.
void FillZoomCombo(QComboBox* box);
/// Appends "1", "8", "16", "24", "32"; selects nothing. Nothing happens for a null box.
void FillBppCombo(QComboBox* box);
/// Appends "72", "96", "150", "300", "600"; selects nothing. Nothing happens for a null box.
void FillDpiCombo(QComboBox* box);

} // namespace widgets
