#pragma once

class QTableView;

namespace kestrune {

// Narrower cell margins for a record grid, so that a date and time stays
// whole in the log's 2000-twip column.
void useCompactCells(QTableView* grid);

}  // namespace kestrune
