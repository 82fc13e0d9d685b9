#include "codec/tiff_ifd.h"

#include "codec/tiff_view.h"

#include <algorithm>
#include <iterator>
#include <limits>

namespace codec::ifd {

namespace {

// Far beyond what cameras write (a few hundred entries, a MakerNote of some tens of KB), small
// enough that a hostile file costs nothing.
constexpr std::size_t kMaxEntries = 1000;
constexpr std::size_t kMaxValueBytes = std::size_t { 1 } << 20;
constexpr int kMaxDepth = 2; // IFD0 -> EXIF -> interoperability
// Each directory points to at most one of each kind, so a real file has at most four.
constexpr int kMaxDirectories = 8;

// What one Read may still take, shared by the directories it follows.
struct Budget {
    std::size_t valueBytes = kMaxValueBytes;
    int directories = kMaxDirectories;
};

/// The size of one value of `type`; 0 for types this code does not know. By type number: BYTE,
/// ASCII, SHORT, LONG, RATIONAL, SBYTE, UNDEFINED, SSHORT, SLONG, SRATIONAL, FLOAT, DOUBLE, IFD.
std::size_t TypeSize(std::uint16_t type)
{
    constexpr std::uint8_t kSizes[] = { 0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4 };
    return type < std::size(kSizes) ? kSizes[type] : 0;
}

/// The unit whose bytes a change of byte order reverses: a rational is two 4-byte numbers.
std::size_t SwapUnit(std::uint16_t type)
{
    return type == 5 || type == 10 ? 4 : TypeSize(type);
}

bool IsPointer(std::uint16_t tag)
{
    return tag == kExifIfdTag || tag == kGpsIfdTag || tag == kInteropIfdTag;
}

/// Copies `n` bytes of values, reversing each unit when the orders differ.
void CopyValues(const std::uint8_t* from, std::size_t n, std::size_t unit, bool swap, std::uint8_t* to)
{
    std::copy_n(from, n, to);
    if (swap && unit > 1)
        for (std::size_t i = 0; i + unit <= n; i += unit)
            std::reverse(to + i, to + i + unit);
}

std::optional<Directory> ReadDirectory(
    const TiffView& v, std::uint64_t offset, const std::function<bool(std::uint16_t)>& keep, int depth, Budget& budget)
{
    if (!v.Has(offset, 2) || budget.directories == 0)
        return std::nullopt;
    --budget.directories;
    const std::size_t at = static_cast<std::size_t>(offset);
    // Entries past the end of the bytes are not there, whatever the count says.
    const std::size_t count = std::min({ std::size_t { v.U16(at) }, (v.data.size() - at - 2) / 12, kMaxEntries });
    Directory dir;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t e = at + 2 + 12 * i;
        Entry entry { v.U16(e), v.U16(e + 2), v.U32(e + 4), {}, {} };
        if (keep && !keep(entry.tag))
            continue;
        if (IsPointer(entry.tag)) {
            // A second pointer of a kind (a loop, or a fan of them) is not followed.
            if (depth >= kMaxDepth || entry.count != 1 || (entry.type != 4 && entry.type != 13)
                || std::any_of(
                    dir.entries.begin(), dir.entries.end(), [&](const Entry& e) { return e.tag == entry.tag; }))
                continue;
            std::optional<Directory> sub = ReadDirectory(v, v.U32(e + 8), {}, depth + 1, budget);
            if (!sub)
                continue;
            entry.type = 4; // written as LONG, which every reader takes
            entry.sub = std::make_shared<Directory>(std::move(*sub));
            dir.entries.push_back(std::move(entry));
            continue;
        }
        const std::size_t size = TypeSize(entry.type);
        if (size == 0 || entry.count == 0 || entry.count > budget.valueBytes / size)
            continue;
        const std::size_t bytes = entry.count * size;
        const std::uint64_t where = bytes <= 4 ? e + 8 : v.U32(e + 8);
        if (!v.Has(where, bytes))
            continue;
        entry.value.resize(bytes);
        CopyValues(v.data.data() + where, bytes, SwapUnit(entry.type), !v.little, entry.value.data());
        budget.valueBytes -= bytes;
        dir.entries.push_back(std::move(entry));
    }
    std::stable_sort(
        dir.entries.begin(), dir.entries.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
    dir.entries.erase(
        std::unique(
            dir.entries.begin(), dir.entries.end(), [](const Entry& a, const Entry& b) { return a.tag == b.tag; }),
        dir.entries.end());
    return dir;
}

class Writer {
public:
    explicit Writer(bool big)
        : big_(big)
    {
    }
    void U16(std::vector<std::uint8_t>& out, std::uint16_t x) const
    {
        big_ ? out.insert(out.end(), { std::uint8_t(x >> 8), std::uint8_t(x) })
             : out.insert(out.end(), { std::uint8_t(x), std::uint8_t(x >> 8) });
    }
    void U32(std::vector<std::uint8_t>& out, std::uint32_t x) const
    {
        big_ ? (U16(out, std::uint16_t(x >> 16)), U16(out, std::uint16_t(x)))
             : (U16(out, std::uint16_t(x)), U16(out, std::uint16_t(x >> 16)));
    }
    bool Table(const Directory& dir, std::uint64_t base, std::vector<std::uint8_t>& out) const
    {
        const std::uint64_t tableBytes = 2 + 12 * std::uint64_t { dir.entries.size() } + 4;
        std::vector<std::uint8_t> tail; // what follows the table, starting at base + tableBytes
        auto tailOffset = [&]() -> std::uint64_t {
            if (tail.size() % 2)
                tail.push_back(0);
            return base + tableBytes + tail.size();
        };
        out.clear();
        U16(out, static_cast<std::uint16_t>(dir.entries.size()));
        for (const Entry& e : dir.entries) {
            U16(out, e.tag);
            U16(out, e.type);
            if (e.sub) {
                U32(out, 1);
                const std::uint64_t at = tailOffset();
                std::vector<std::uint8_t> sub;
                if (at > std::numeric_limits<std::uint32_t>::max() || !Table(*e.sub, at, sub))
                    return false;
                U32(out, static_cast<std::uint32_t>(at));
                tail.insert(tail.end(), sub.begin(), sub.end());
                continue;
            }
            U32(out, e.count);
            std::uint8_t value[4] = {};
            if (e.value.size() <= 4) {
                CopyValues(e.value.data(), e.value.size(), SwapUnit(e.type), big_, value);
                out.insert(out.end(), value, value + 4);
                continue;
            }
            const std::uint64_t at = tailOffset();
            if (at > std::numeric_limits<std::uint32_t>::max())
                return false;
            U32(out, static_cast<std::uint32_t>(at));
            const std::size_t start = tail.size();
            tail.resize(start + e.value.size());
            CopyValues(e.value.data(), e.value.size(), SwapUnit(e.type), big_, tail.data() + start);
        }
        U32(out, 0);
        out.insert(out.end(), tail.begin(), tail.end());
        return base + out.size() <= std::numeric_limits<std::uint32_t>::max();
    }

private:
    bool big_;
};

} // namespace

const Entry* Directory::Find(std::uint16_t tag) const
{
    for (const Entry& e : entries)
        if (e.tag == tag)
            return &e;
    return nullptr;
}

void Directory::Drop(std::uint16_t tag)
{
    std::erase_if(entries, [tag](const Entry& e) { return e.tag == tag; });
    for (Entry& e : entries)
        if (e.sub)
            e.sub->Drop(tag);
}

std::optional<Directory> Read(ByteView tiff, std::uint64_t offset, const std::function<bool(std::uint16_t)>& keep)
{
    TiffView v;
    std::uint32_t first = 0;
    if (!v.Open(tiff, first))
        return std::nullopt;
    Budget budget;
    return ReadDirectory(v, offset, keep, 0, budget);
}

std::vector<std::uint8_t> Write(const Directory& dir, std::uint64_t base, bool bigEndian)
{
    std::vector<std::uint8_t> out;
    if (base > std::numeric_limits<std::uint32_t>::max() || !Writer(bigEndian).Table(dir, base, out))
        out.clear();
    return out;
}

std::vector<std::uint8_t> Block(const Directory& ifd0)
{
    std::vector<std::uint8_t> block { 'I', 'I', 42, 0, 8, 0, 0, 0 };
    const std::vector<std::uint8_t> body = Write(ifd0, 8, false);
    if (body.empty())
        return {};
    block.insert(block.end(), body.begin(), body.end());
    return block;
}

std::optional<Directory> ReadBlock(ByteView block)
{
    TiffView v;
    std::uint32_t first = 0;
    if (!v.Open(block, first))
        return std::nullopt;
    return Read(block, first);
}

} // namespace codec::ifd
