#include "ui/viewer/Record_table.h"

#include "lib/Float_text.h"
#include "storage/Export.h"
#include "storage/Realtimedatareader.h"

#include <algorithm>
#include <cmath>

namespace viewer {

QString value_text(float value)
{
    if (!std::isfinite(value))
        return {};
    return QString::fromStdString(lib::float_text(value));
}

QString time_text(std::uint32_t time)
{
    QString text = QString::fromStdString(data_export::iso_date_time(time));
    text[10] = QLatin1Char(' ');
    return text;
}

RecordTable::RecordTable(const FileStorage& model, QObject* parent)
    : QAbstractTableModel(parent), model_(model),
      params_(std::clamp(model.param_count, 0, static_cast<int>(model.params.size())))
{
}

int RecordTable::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(model_.records.size());
}

int RecordTable::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : fixed_columns + params_;
}

QVariant RecordTable::data(const QModelIndex& index, int role) const
{
    if (role == Qt::TextAlignmentRole && index.column() > 0)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole || !index.isValid())
        return {};
    const auto& record = model_.records[static_cast<std::size_t>(index.row())];
    if (!record)
        return {};
    switch (index.column()) {
    case 0: return time_text(record->time);
    case 1: return value_text(record->depth_z);
    case 2: return value_text(record->depth_cur);
    case 3: return value_text(record->lag_depth);
    case 4: return static_cast<int>(record->operation);
    default: {
        const auto column = static_cast<std::size_t>(index.column() - fixed_columns);
        return column < record->values.size() ? value_text(record->values[column]) : QString();
    }
    }
}

QVariant RecordTable::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    static const char* const fixed[fixed_columns] = {"Время", "Глубина Z", "Глубина тек.", "Глубина отст.", "Операция"};
    if (section < fixed_columns)
        return QString::fromUtf8(fixed[section]);
    const FileStorageParam& param = model_.params[static_cast<std::size_t>(section - fixed_columns)];
    QString caption = QString::fromStdString(param.name);
    if (!param.text1.empty())
        caption += ", " + QString::fromStdString(param.text1);
    return caption;
}

} // namespace viewer
