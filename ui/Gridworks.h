#pragma once
// The file grid's model and helpers: rows of three texts whose background the grid's owner
// decides per row, column widths fitted to their texts, and the colour rule of the rows.
//
// The model keeps plain texts and builds no item objects, so a well of thousands of files
// fills the grid at once.

#include <QAbstractTableModel>
#include <QColor>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <vector>

class QPalette;
class QTableView;

class FileGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using Row = std::array<QString, 3>;
    // Asked for the background of a data row, given the row's number.
    using RowColour = std::function<QColor(int row)>;

    FileGridModel(QStringList titles, RowColour colour, QObject* parent);

    void set_rows(std::vector<Row> rows);
    const QString& cell(int row, int column) const { return rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)]; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QStringList titles_;
    RowColour colour_;
    std::vector<Row> rows_;
};

// Each column as wide as its widest text (header included, two blanks appended, never
// below " # "); with `stretch_last` the last column takes the rest of the grid's width.
// A `min_width` above 0 is the least width of every column.
void fit_grid_columns(QTableView& grid, bool stretch_last, int min_width = 0);

// The run number a grid's run cell shows (leading blanks allowed), or -1 for anything else.
int run_number_of_cell(const QString& text);

// Light cyan for rows without a run number, the window colour for odd runs, light green
// for even ones: runs alternate by their number, not by their row.
QColor run_row_colour(const QString& run_text, const QPalette& palette);
