#pragma once

// Palettes for several images at once: one palette that serves every frame of an animation, and
// how well a palette serves an image.

#include "codec/ximage.h"

#include <span>
#include <vector>

namespace codec {

/// At most `maxColors` (1 to 256) colours chosen for the pixels of all `images` together, each
/// pixel weighing the same; alpha is ignored. Empty when there are no pixels.
std::vector<RGBQuad> SharedPalette(std::span<const CxImage* const> images, std::size_t maxColors);

/// The palette DecreaseBpp would choose for `image` alone at `maxColors` colours.
std::vector<RGBQuad> OwnPalette(const CxImage& image, std::size_t maxColors);

/// Mean squared RGB distance from each pixel of `image` to its nearest entry of `palette`
/// (without error diffusion), per channel: 0 when every colour is in the palette.
double PaletteError(const CxImage& image, std::span<const RGBQuad> palette);

} // namespace codec
