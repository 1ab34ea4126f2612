#pragma once
// The records of a loaded file as a read-only table: time, the three depths, the operation
// code and every parameter, in file order. Cells are formatted when shown, so a file of
// 200,000 records costs nothing until it is scrolled.

#include <QAbstractTableModel>

class FileStorage;

namespace viewer {

class RecordTable : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int fixed_columns = 5;

    // The model must outlive the table.
    explicit RecordTable(const FileStorage& model, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    const FileStorage& model_;
    int params_;
};

// The text of a value as the table and the cursor show it: shortest exact form, empty for
// a value that is not a number.
QString value_text(float value);
// The station's time as "2020-09-13 12:26:40".
QString time_text(std::uint32_t time);

} // namespace viewer
