#pragma once
// Helpers for the file grid: column widths fitted to their texts, and the background of a
// row by the parity of its run number.

#include <QColor>
#include <QString>

class QPalette;
class QTableWidget;

// Each column as wide as its widest text (header included, two blanks appended, never
// below " # "); with `stretch_last` the last column takes the rest of the grid's width.
// A `min_width` above 0 is the least width of every column.
void fit_grid_columns(QTableWidget& grid, bool stretch_last, int min_width = 0);

// The run number a grid's run cell shows (leading blanks allowed), or -1 for anything else.
int run_number_of_cell(const QString& text);

// Light cyan for rows without a run number, the window colour for odd runs, light green
// for even ones: runs alternate by their number, not by their row.
QColor run_row_colour(const QString& run_text, const QPalette& palette);
