#pragma once

// The one EXIF tag the pixels depend on: the orientation, which says how the camera was held.
// A phone stores the picture as the sensor saw it and this tag says how to turn it; every viewer
// people know turns it upright, and so do we, at load. The parser reads only what it needs (the
// first directory of the TIFF structure EXIF is) and checks every offset against the bytes: the
// block comes straight from the file.

#include "codec/metadata.h"
#include "codec/result.h"
#include "codec/ximage.h"

#include <cstdint>
#include <span>

namespace codec {

namespace exif {

/// The orientation (1 to 8) in the first directory of TIFF-structured EXIF bytes; 0 when there
/// is none, the bytes are damaged or the value is out of range.
int Orientation(ByteView tiff);

/// Overwrites the first directory's orientation entry with `value` (1 to 8); false when there is
/// no such entry. The block keeps its size, so it can be patched inside a file.
bool SetOrientation(std::span<std::uint8_t> tiff, int value);

/// The EXIF bytes (TIFF-structured, without "Exif\0\0") of a JPEG's first Exif APP1 segment, as a
/// view into `jpeg`; empty when the segments before the first scan hold none.
ByteView FindInJpeg(ByteView jpeg);

/// Sets every XMP `tiff:Orientation` value (attribute or element) to 1, in place.
void MarkXmpUpright(std::span<char> xmp);

/// Marks a JPEG's EXIF and XMP segments upright (orientation 1), in place.
void MarkJpegUpright(std::span<std::uint8_t> jpeg);

} // namespace exif

/// An orientation as the turn that makes the picture upright: a horizontal mirror first (when
/// `mirror`), then `quarters` clockwise quarter turns.
struct Orientation {
    bool mirror = false;
    int quarters = 0;
};
/// The turn that makes a picture with EXIF/TIFF orientation `value` upright (1 and out-of-range
/// values: none).
Orientation UprightTurn(int value);
/// The turn `first`, then `quarters` more clockwise quarter turns.
Orientation ThenTurn(Orientation first, int quarters);

/// Mirrors the picture left to right in place.
void MirrorHorizontally(CxImage& image);

/// Turns `image` upright for orientation `value` and marks its EXIF and XMP upright. False (with
/// the image's last error) only when memory runs out.
bool TurnUpright(CxImage& image, int value);

/// Turns `image` upright by the orientation its own EXIF block gives (see TurnUpright).
bool TurnUprightByExif(CxImage& image);

} // namespace codec
