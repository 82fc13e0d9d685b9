#pragma once

// The format registry: the one place that relates an image type to its extensions, its file
// dialog filter, its default extension and its display name, plus the fixed choice lists.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace core {

using ImageType = std::uint32_t;

/// The fifteen original types, then WebP (16), AVIF (17) and JPEG XL (18).
inline constexpr ImageType kLastImageType = 18;
/// The last of the original types: the fixed texts (the full open filter, the document type
/// description) name these and no others.
inline constexpr ImageType kLastOriginalImageType = 15;

/// Filter ("text|patterns|...||") and default extension (no dot) of a type.
struct TypeFilter {
    std::string filter;
    std::string defaultExtension;
};

/// The save filter and default extension of a type; type 0 gives the full open filter and
/// "bmp". Callers test the type first: anything above kLastImageType gives empty strings.
TypeFilter ImageTypeFilter(ImageType type);
/// The type of a path by its extension (the last "." of the whole path), any letter case.
ImageType ImageTypeFromExtension(const std::string& path);
/// The type named in a display text, by the substrings the batch dialog's entries contain.
ImageType ImageTypeFromName(const std::string& text);
/// The display name of a type; "unknown" for 0 and anything outside 1 to kLastImageType.
std::string ImageTypeName(ImageType type);

/// The full open filter offered wherever image files are picked. Its text is fixed and names the
/// fifteen original types only; the modern ones open by name, by dropping and from the command line.
const std::string& FullOpenFilter();

/// The choice lists, in the order they are offered.
std::span<const std::string_view> ZoomLevels();
inline constexpr std::size_t kInitialZoomIndex = 3; ///< "100%"
std::span<const std::string_view> BppChoices();
std::span<const std::string_view> DpiChoices();

/// The leading decimal number of a zoom entry ("200%" -> 200); 0 when it does not start with
/// a digit (the C library's text-to-integer conversion).
int ZoomPercentFromText(const std::string& text);

/// The document type description: seven newline-separated fields.
const std::string& DocumentTypeDescription();

/// One field of a newline-separated description (0 = window title ... 6 = file type name).
std::string DocumentTypeField(int index);

/// Lower-cases ASCII letters only, which never touches the bytes of multibyte characters in
/// UTF-8 (every byte of those is above 0x7F).
std::string LowerCase(std::string text);

} // namespace core
