#include "widgets/list_rows.h"

#include <QItemSelectionModel>

namespace widgets {

int FirstSelectedRow(const QTableWidget& list)
{
    const QItemSelectionModel* selection = list.selectionModel();
    if (!selection)
        return -1;
    int first = -1;
    for (const QModelIndex& index : selection->selectedIndexes())
        if (first < 0 || index.row() < first)
            first = index.row();
    return first;
}

void MoveRow(QTableWidget& list, int from, int to)
{
    if (from == to || from < 0 || to < 0 || from >= list.rowCount() || to >= list.rowCount())
        return;
    const int columns = list.columnCount();
    std::vector<QTableWidgetItem*> cells(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c)
        cells[static_cast<std::size_t>(c)] = list.takeItem(from, c);
    list.removeRow(from);
    list.insertRow(to);
    for (int c = 0; c < columns; ++c)
        list.setItem(to, c, cells[static_cast<std::size_t>(c)]);
    list.clearSelection();
    list.setCurrentCell(to, 0);
    list.selectRow(to);
}

} // namespace widgets
