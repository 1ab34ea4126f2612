#pragma once
// "Обзор скважин": one row per well of the store, oldest newest-record first, a silent well
// marked by a colour and by the word in the last column, so that the table reads without
// colour too. A double click on a row asks the main window to select the well in its tree.
//
// The view only shows rows it is given: the main window builds them off the GUI thread
// (catalogue/Well_overview.h) and hands them over. GUI thread only.

#include "catalogue/Well_overview.h"

#include <QColor>
#include <QDialog>

#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;

namespace overview_text {
inline constexpr const char* caption = "Обзор скважин";
inline constexpr const char* loading = "Чтение хранилища...";
inline constexpr const char* refresh = "Обновить";
inline constexpr const char* close = "Закрыть";
inline constexpr const char* silent_tip = "Нет новых записей более %1 ч";
inline constexpr const char* no_data_tip = "В скважине нет ни одной записи";
inline constexpr const char* unreadable_tip = "Не прочитаны файлы: %1";
} // namespace overview_text

// The colour of a silent well's row in the view and of its item in the tree.
inline QColor silent_well_colour()
{
    return QColor(255, 218, 218);
}

class TOverviewForm : public QDialog {
    Q_OBJECT
public:
    enum Column { area, well, newest_time, newest_depth, depth, last_package, packages, age, mark, column_count };

    explicit TOverviewForm(QWidget* owner);

    // "Чтение хранилища..." until the rows come.
    void show_loading();
    void show_rows(const std::vector<catalogue::WellOverviewRow>& rows, int hours);
    // The well folder a row stands for ("" for none).
    QString folder_of_row(int row) const;

    QTableWidget* Grid = nullptr;
    QLabel* Summary = nullptr;
    QPushButton* btnRefresh = nullptr;
    QPushButton* btnClose = nullptr;

signals:
    void well_chosen(const QString& folder);
    void refresh_asked();

private:
    void fit_width_to_columns();
};
