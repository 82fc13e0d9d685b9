#pragma once

// Directories of TIFF-structured metadata, read out of one file and written into another. An
// EXIF block is a small TIFF of its own; a TIFF file keeps the same tags in its first directory
// and in the sub-directories that directory points to (EXIF, GPS), with values anywhere in the
// file. Carrying them from one to the other means reading each entry with its value and writing
// it out again at new offsets, in the destination's byte order. The values come straight from
// files: every offset is checked against the bytes, and counts, depth and sizes are capped.

#include "codec/result.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace codec::ifd {

constexpr std::uint16_t kExifIfdTag = 34665;
constexpr std::uint16_t kGpsIfdTag = 34853;
constexpr std::uint16_t kInteropIfdTag = 40965;
constexpr std::uint16_t kMakerNoteTag = 37500;
constexpr std::uint16_t kTypeAscii = 2;

struct Directory;

struct Entry {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    /// The `count` values, each stored little-endian; empty for a pointer to a sub-directory.
    std::vector<std::uint8_t> value;
    /// The directory a pointer tag (EXIF, GPS, interoperability) leads to.
    std::shared_ptr<Directory> sub;
};

struct Directory {
    /// In ascending tag order, each tag once.
    std::vector<Entry> entries;

    const Entry* Find(std::uint16_t tag) const;
    /// Removes `tag` here and in every sub-directory.
    void Drop(std::uint16_t tag);
};

/// Reads the directory at `offset` of the classic TIFF structure `tiff` (byte order from its
/// header), following pointers to sub-directories two levels down. `keep` picks the entries of
/// this directory (not those below). Entries of unknown types, with values outside the bytes, or
/// pointing nowhere are left out; nothing when the header or the directory itself is not there.
std::optional<Directory> Read(ByteView tiff, std::uint64_t offset, const std::function<bool(std::uint16_t)>& keep = {});

/// The bytes of `dir` to be placed at file offset `base` of a TIFF in the given byte order: the
/// directory, a next-directory link of 0, then the values that do not fit in their entries and the
/// sub-directories, each at an even offset. Empty when an offset would pass 4 GB.
std::vector<std::uint8_t> Write(const Directory& dir, std::uint64_t base, bool bigEndian);

/// An EXIF block (TIFF-structured, little-endian) whose first directory is `ifd0`.
std::vector<std::uint8_t> Block(const Directory& ifd0);

/// The first directory of an EXIF block, with its sub-directories.
std::optional<Directory> ReadBlock(ByteView block);

} // namespace codec::ifd
