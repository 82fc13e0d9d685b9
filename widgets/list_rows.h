#pragma once

// The row-moving handlers shared by the dialogs whose list of files is reorderable (the animated
// GIF builder and the multipage TIFF builder): one click moves the first selected row, and its
// entry in the list behind the rows, one place.

#include <QTableWidget>

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace widgets {

/// The up and down icons of those dialogs (resource type "icon").
inline constexpr int kIconRowUp = 181;
inline constexpr int kIconRowDown = 182;

/// The first selected row, or -1 when none is.
int FirstSelectedRow(const QTableWidget& list);

/// Moves row `from` with all its cells to `to` and makes it the only selected row.
void MoveRow(QTableWidget& list, int from, int to);

/// Moves the first selected row by `step` (-1 up, +1 down), swapping its entry in `entries`
/// with the neighbour's. Nothing happens without a selection, past either end, or when the rows
/// and the entries disagree in number. True when something moved.
template <class Entry> bool MoveSelectedRow(QTableWidget& list, std::vector<Entry>& entries, int step)
{
    const int from = FirstSelectedRow(list);
    const int to = from + step;
    if (from < 0 || to < 0 || to >= list.rowCount() || static_cast<std::size_t>(list.rowCount()) != entries.size())
        return false;
    std::swap(entries[static_cast<std::size_t>(from)], entries[static_cast<std::size_t>(to)]);
    MoveRow(list, from, to);
    return true;
}

template <class Entry> bool MoveRowUp(QTableWidget& list, std::vector<Entry>& entries)
{
    return MoveSelectedRow(list, entries, -1);
}

template <class Entry> bool MoveRowDown(QTableWidget& list, std::vector<Entry>& entries)
{
    return MoveSelectedRow(list, entries, +1);
}

} // namespace widgets
