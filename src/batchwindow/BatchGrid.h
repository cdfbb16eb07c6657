// How the "Envio em lote" grid lays out its columns and rows so its texts
// read whole at the window's first size: times and protocols whole, file
// names and months up to a bound, the column of checks or of states (the one
// that holds text) taking the spare width, and a check or a state too long
// for its column wrapping onto more lines of its row. Tab leaves the grid.
#pragma once

class QString;
class QTableWidget;

namespace BatchGrid {

// Prepares the columns of the window's new grid (BatchWindow::Column order).
void setUp(QTableWidget* grid);

// After lines were added, queued or ended. `checks`: some line not yet
// queued shows its checks; `states`: some line has a state.
void fitColumns(QTableWidget* grid, bool checks, bool states);

// A row one line high, unless its check or state needs more lines to read
// whole.
void fitRow(QTableWidget* grid, int row);

// The protocol column grows to show `protocol` whole.
void fitProtocol(QTableWidget* grid, const QString& protocol);

} // namespace BatchGrid
