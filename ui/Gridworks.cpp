#include "ui/Gridworks.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QPalette>
#include <QTableWidget>

#include <algorithm>

namespace {

int text_width(const QFontMetrics& metrics, const QString& text)
{
    return metrics.horizontalAdvance(text + QStringLiteral("  ")) + 1;
}

int widest_text(const QTableWidget& grid, int column)
{
    const QFontMetrics metrics(grid.font());
    int width = text_width(metrics, QStringLiteral(" # "));
    if (const QTableWidgetItem* header = grid.horizontalHeaderItem(column))
        width = std::max(width, text_width(QFontMetrics(grid.horizontalHeader()->font()), header->text()));
    for (int row = 0; row < grid.rowCount(); ++row) {
        if (const QTableWidgetItem* cell = grid.item(row, column))
            width = std::max(width, text_width(metrics, cell->text()));
    }
    return width;
}

} // namespace

void fit_grid_columns(QTableWidget& grid, bool stretch_last, int min_width)
{
    const int line_width = grid.showGrid() ? 1 : 0;
    int sum = line_width;
    const int columns = grid.columnCount();
    for (int column = 0; column < columns; ++column) {
        int width = widest_text(grid, column);
        const bool stretched = stretch_last && column == columns - 1;
        if (stretched)
            width = grid.viewport()->width() - sum - line_width - 1;
        if (min_width > 0 && width < min_width)
            width = min_width;
        grid.setColumnWidth(column, width);
        if (!stretched)
            sum += width;
    }
}

int run_number_of_cell(const QString& text)
{
    bool ok = false;
    const int number = text.trimmed().toInt(&ok);
    return ok ? number : -1;
}

QColor run_row_colour(const QString& run_text, const QPalette& palette)
{
    const int run = run_number_of_cell(run_text);
    if (run == -1)
        return QColor(225, 255, 255);
    if (run % 2 != 0)
        return palette.color(QPalette::Base);
    return QColor(232, 255, 232);
}
