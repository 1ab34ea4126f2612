#include "ui/Overview.h"

#include "ui/Controlworks.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

static_assert(TOverviewForm::column_count == catalogue::overview_column_count);

QString text_of(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace

TOverviewForm::TOverviewForm(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("Overview"));
    setWindowTitle(ui_text(overview_text::caption));
    Grid = new QTableWidget(0, column_count, this);
    Grid->setObjectName(QStringLiteral("OverviewGrid"));
    QStringList titles;
    for (const catalogue::OverviewColumnLook& column : catalogue::overview_columns)
        titles << ui_text(column.title);
    Grid->setHorizontalHeaderLabels(titles);
    Grid->verticalHeader()->hide();
    Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    Grid->setSelectionMode(QAbstractItemView::SingleSelection);
    Grid->horizontalHeader()->setStretchLastSection(true);
    Summary = new QLabel(this);
    btnRefresh = new QPushButton(ui_text(overview_text::refresh), this);
    btnClose = new QPushButton(ui_text(overview_text::close), this);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Summary, 1);
    buttons->addWidget(btnRefresh);
    buttons->addWidget(btnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Grid);
    layout->addLayout(buttons);
    resize(1000, 420);

    connect(btnRefresh, &QPushButton::clicked, this, &TOverviewForm::refresh_asked);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::close);
    connect(Grid, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        const QString folder = folder_of_row(row);
        if (!folder.isEmpty())
            emit well_chosen(folder);
    });
    apply_interface_style(*this);
}

void TOverviewForm::show_loading()
{
    Summary->setText(ui_text(overview_text::loading));
    btnRefresh->setEnabled(false);
}

void TOverviewForm::show_rows(const std::vector<catalogue::WellOverviewRow>& rows, int hours)
{
    Grid->setRowCount(0);
    Grid->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const catalogue::WellOverviewRow& row = rows[static_cast<std::size_t>(r)];
        QString tip;
        if (row.old)
            tip = row.age ? ui_text(overview_text::silent_tip).arg(hours) : ui_text(overview_text::no_data_tip);
        if (!row.unreadable.empty()) {
            QStringList names;
            for (const std::string& name : row.unreadable)
                names << text_of(name);
            tip += (tip.isEmpty() ? QString() : QStringLiteral("\n"))
                   + ui_text(overview_text::unreadable_tip).arg(names.join(QStringLiteral(", ")));
        }
        for (int c = 0; c < column_count; ++c) {
            auto* item = new QTableWidgetItem(text_of(catalogue::cell_text(row, static_cast<catalogue::OverviewColumn>(c))));
            if (catalogue::overview_columns[c].right_aligned)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (row.old)
                item->setBackground(silent_well_colour());
            if (!tip.isEmpty())
                item->setToolTip(tip);
            Grid->setItem(r, c, item);
        }
        Grid->item(r, area)->setData(Qt::UserRole, text_of(row.folder));
    }
    Grid->resizeColumnsToContents();
    // Some air between the columns, so that no text touches its neighbour.
    for (int c = 0; c + 1 < column_count; ++c)
        Grid->setColumnWidth(c, Grid->columnWidth(c) + 12);
    fit_width_to_columns();
    Summary->setText(text_of(catalogue::summary_text(rows, hours)));
    btnRefresh->setEnabled(true);
}

// The view grows to show every column, the mark last of all, as far as the screen allows;
// it never shrinks under the user's hand.
void TOverviewForm::fit_width_to_columns()
{
    int columns = 0;
    for (int c = 0; c < column_count; ++c)
        columns += Grid->columnWidth(c);
    const int chrome = width() - Grid->viewport()->width();
    const int wanted = columns + chrome + Grid->verticalScrollBar()->sizeHint().width();
    const QScreen* shown_on = screen();
    const int room = shown_on != nullptr ? shown_on->availableGeometry().width() : wanted;
    if (wanted > width())
        resize(std::min(wanted, room), height());
}

QString TOverviewForm::folder_of_row(int row) const
{
    const QTableWidgetItem* item = Grid->item(row, area);
    return item == nullptr ? QString() : item->data(Qt::UserRole).toString();
}
