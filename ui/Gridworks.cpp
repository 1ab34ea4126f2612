#include "ui/Gridworks.h"

#include <QFontMetrics>
#include <QHash>
#include <QHeaderView>
#include <QPalette>
#include <QTableView>

#include <algorithm>

namespace {

// Shaping every text of a large column costs far more than listing the files, so widths
// are estimated from cached character advances and only the widest few are measured.
constexpr std::size_t measured_candidates = 8;
// A grid narrower than its other columns still shows a sliver of the last one.
constexpr int narrowest_stretched = 20;

class TextWidths {
public:
    explicit TextWidths(const QFont& font) : metrics_(font) {}

    int estimate(const QString& text)
    {
        int width = 0;
        for (const QChar c : text) {
            auto found = advances_.find(c.unicode());
            if (found == advances_.end())
                found = advances_.insert(c.unicode(), metrics_.horizontalAdvance(c));
            width += *found;
        }
        return width;
    }

    int exact(const QString& text) const { return metrics_.horizontalAdvance(text); }

private:
    QFontMetrics metrics_;
    QHash<char16_t, int> advances_;
};

int cell_width(int text_width)
{
    return text_width + 1;
}

int widest_text(const QTableView& grid, int column)
{
    const QAbstractItemModel& model = *grid.model();
    const QString padding = QStringLiteral("  ");
    TextWidths widths(grid.font());
    std::vector<std::pair<int, QString>> estimates;
    estimates.reserve(static_cast<std::size_t>(model.rowCount()));
    for (int row = 0; row < model.rowCount(); ++row) {
        QString text = model.data(model.index(row, column), Qt::DisplayRole).toString() + padding;
        const int estimate = widths.estimate(text);
        estimates.emplace_back(estimate, std::move(text));
    }
    const std::size_t candidates = std::min(measured_candidates, estimates.size());
    std::partial_sort(estimates.begin(), estimates.begin() + static_cast<std::ptrdiff_t>(candidates), estimates.end(),
                      [](const auto& a, const auto& b) { return a.first > b.first; });
    int width = widths.exact(QStringLiteral(" # ") + padding);
    for (std::size_t i = 0; i < candidates; ++i)
        width = std::max({width, estimates[i].first, widths.exact(estimates[i].second)});
    const QString title = model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    width = std::max(width, QFontMetrics(grid.horizontalHeader()->font()).horizontalAdvance(title + padding));
    return cell_width(width);
}

} // namespace

FileGridModel::FileGridModel(QStringList titles, RowColour colour, QObject* parent)
    : QAbstractTableModel(parent), titles_(std::move(titles)), colour_(std::move(colour))
{
}

void FileGridModel::set_rows(std::vector<Row> rows)
{
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

int FileGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int FileGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(titles_.size());
}

QVariant FileGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= 3)
        return {};
    if (role == Qt::DisplayRole)
        return cell(index.row(), index.column());
    if (role == Qt::BackgroundRole && colour_)
        return colour_(index.row());
    return {};
}

QVariant FileGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < titles_.size())
        return titles_[section];
    return QAbstractTableModel::headerData(section, orientation, role);
}

void fit_grid_columns(QTableView& grid, bool stretch_last, int min_width)
{
    const int line_width = grid.showGrid() ? 1 : 0;
    int sum = line_width;
    const int columns = grid.model()->columnCount();
    for (int column = 0; column < columns; ++column) {
        int width = widest_text(grid, column);
        const bool stretched = stretch_last && column == columns - 1;
        if (stretched)
            width = std::max(grid.viewport()->width() - sum - line_width - 1, narrowest_stretched);
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
