#include "ui/viewer/Log_viewer.h"

#include "settings/Configuration.h"
#include "lib/io/Binary_io.h"
#include "storage/Data_file.h"
#include "storage/Load_warnings.h"
#include "storage/Realtime_prefix.h"
#include "storage/Realtimedatareader.h"
#include "ui/viewer/Record_table.h"
#include "ui/viewer/Track_view.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QToolButton>
#include <QApplication>
#include <QGuiApplication>
#include <QDialog>
#include <QDir>
#include <QKeySequence>
#include <QProgressBar>
#include <QSettings>
#include <QShortcut>
#include <QTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPdfWriter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QStatusBar>
#include <QSvgGenerator>
#include <QTableView>
#include <QTableWidget>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>

namespace viewer {

namespace {


constexpr int default_shown = 9;

QString utf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string local_path(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

// What a failed load or write says: a file error with the system's reason.
QString error_text(const std::exception& error)
{
    if (const auto* file_error = dynamic_cast<const lib::io::FileError*>(&error))
        return utf8(file_error->reason());
    return utf8(error.what());
}

QPlainTextEdit* text_page(const QStringList& lines)
{
    auto* page = new QPlainTextEdit;
    page->setReadOnly(true);
    page->setLineWrapMode(QPlainTextEdit::NoWrap);
    page->setPlainText(lines.join('\n'));
    return page;
}

const QString export_folder_key = QStringLiteral("viewer/export_folder");

QSettings user_settings()
{
    return QSettings(QStringLiteral("Korvimeta"), QStringLiteral("Dravinex"));
}

// The save dialogs open where the user saved last time, also in a later session.
void remember_export_folder(const QString& written)
{
    user_settings().setValue(export_folder_key, QFileInfo(written).absolutePath());
}

QAction* add_action(QToolBar* bar, const QString& text, const QString& tip)
{
    QAction* action = bar->addAction(text);
    action->setToolTip(tip);
    return action;
}

} // namespace

LogViewer::LogViewer(const QString& path, std::unique_ptr<FileStorage> model, std::unique_ptr<LogData> data,
                     const QStringList& problems, QWidget* parent)
    : QMainWindow(parent), path_(path), model_(std::move(model)), data_(std::move(data))
{
    setWindowFlag(Qt::Window);
    setWindowTitle(QFileInfo(path).fileName() + QStringLiteral(" — ") + window_title);
    if (!data_)
        data_ = std::make_unique<LogData>(*model_, data_file::index_kind_of(local_path(path)));
    build_window();
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, &QWidget::close);
    }
    auto* side = build_side_panel(problems);

    auto* splitter = static_cast<QSplitter*>(centralWidget());
    splitter->addWidget(as_part(side));
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setStretchFactor(2, 0);
    resize(1280, 760);
    splitter->setSizes({210, 730, 340});

    std::vector<int> first;
    for (int p = 0; p < std::min(default_shown, data_->param_count()); ++p)
        first.push_back(p);
    show_params(first, TrackView::max_curves_per_track);
    first_range_ = tracks_->view_range();
    show_status();
}

LogViewer::~LogViewer() = default;

// Each panel stands in a stack over an empty page, which it can be hidden behind without
// moving the others.
QWidget* LogViewer::as_part(QWidget* content)
{
    auto* stack = new QStackedWidget;
    stack->addWidget(new QWidget);
    stack->addWidget(content);
    stack->setCurrentIndex(1);
    parts_.push_back(stack);
    return stack;
}

// The first drawing of the whole window is the longest piece of work an opening gives the
// GUI thread: the window comes on show with its panels empty, and the panels follow, the
// curves first, one per turn of the event loop, so that the window keeps drawing between.
void LogViewer::show_in_turns(std::function<void()> done)
{
    for (QStackedWidget* part : parts_)
        part->setCurrentIndex(0);
    show();
    reveal_parts({1, 0, 2}, std::move(done));
}

void LogViewer::reveal_parts(std::vector<std::size_t> order, std::function<void()> done)
{
    QTimer::singleShot(0, this, [this, order = std::move(order), done = std::move(done)]() mutable {
        if (order.empty()) {
            done();
            return;
        }
        parts_[order.front()]->setCurrentIndex(1);
        order.erase(order.begin());
        reveal_parts(std::move(order), std::move(done));
    });
}

void LogViewer::show_status()
{
    const auto [from, to] = data_->index_range();
    const bool time = data_->kind() == data_file::IndexKind::time;
    QString range;
    if (data_->size() > 0)
        range = time ? time_text(static_cast<std::uint32_t>(from)) + " — " + time_text(static_cast<std::uint32_t>(to))
                     : QString::number(from, 'g', 7) + " — " + QString::number(to, 'g', 7) + " м";
    statusBar()->showMessage(QStringLiteral("%1Записей: %2, параметров: %3%4%5")
                                 .arg(reading_ ? QStringLiteral("Файл читается… Показано начало: ") : QString())
                                 .arg(model_->records.size())
                                 .arg(data_->param_count())
                                 .arg(range.isEmpty() ? QString() : QStringLiteral("; ") + range)
                                 .arg(warnings_.isEmpty()
                                          ? QString()
                                          : QStringLiteral("; есть предупреждения")));
}

void LogViewer::mark_reading()
{
    reading_ = true;
    export_button_->setEnabled(false);
    show_status();
}

std::vector<int> LogViewer::shown_params() const
{
    std::vector<int> shown;
    for (const auto& track : tracks_->tracks())
        for (const int param : track)
            if (param < data_->param_count())
                shown.push_back(param);
    return shown;
}

// Everything the window shows of the model is made again from the whole file's; what the
// user chose (curves, curves per track, a zoom or pan) stays.
void LogViewer::take_whole_file(LoadedFile&& whole)
{
    const auto range = tracks_->view_range();
    const bool moved = range != first_range_;
    const int per_track = per_track_->value();
    model_ = std::move(whole.model);
    std::unique_ptr<LogData> first_look = std::exchange(data_, std::move(whole.data));
    if (!data_)
        data_ = std::make_unique<LogData>(*model_, data_file::index_kind_of(local_path(path_)));
    reading_ = false;
    export_button_->setEnabled(true);

    give_tracks_the_data();
    tracks_->take_traces(std::move(whole.traces));
    first_look.reset(); // the view no longer points into it
    first_range_ = tracks_->view_range();
    if (moved)
        tracks_->set_view_range(range.first, range.second);
    fill_picker();
    show_params(shown_params(), per_track);
    fill_side_pages(whole.problems);
    if (table_->model() != nullptr) {
        QAbstractItemModel* old = table_->model();
        table_->setModel(new RecordTable(*model_, table_));
        delete old;
    }
    show_status();
}

void LogViewer::whole_read_failed(const QString& error)
{
    reading_ = false;
    fill_side_pages(problems_ + QStringList{QStringLiteral("Файл прочитан не до конца, показано только его начало: ") + error});
    // What is shown is not the whole file: an export would pass for one.
    export_button_->setEnabled(false);
    show_status();
}

// The tracks draw the plot data under the parameters' names and units.
void LogViewer::give_tracks_the_data()
{
    std::vector<QString> names;
    std::vector<QString> units;
    for (int p = 0; p < data_->param_count(); ++p) {
        names.push_back(param_name(p));
        units.push_back(utf8(model_->params[static_cast<std::size_t>(p)].text1));
    }
    tracks_->set_data(data_.get(), std::move(names), std::move(units));
}

QString LogViewer::param_name(int param) const
{
    const std::string& name = model_->params[static_cast<std::size_t>(param)].name;
    // A classic file's list may describe fewer parameters than its records hold.
    return name.empty() ? QStringLiteral("Параметр %1").arg(param + 1) : utf8(name);
}

void LogViewer::build_window()
{
    auto* bar = addToolBar(QStringLiteral("Просмотр"));
    bar->setMovable(false);
    tracks_ = new TrackView;
    connect(add_action(bar, QStringLiteral("Весь файл"), QStringLiteral("Показать все записи")), &QAction::triggered,
            tracks_, &TrackView::show_whole_file);
    bar->addSeparator();
    // One menu for the three forms, and whether they take the whole file or what is on screen.
    auto* export_menu = new QMenu(this);
    export_menu->setObjectName(QStringLiteral("exportMenu"));
    const struct {
        const char* name;
        QString text;
        QString tip;
        data_export::Format format;
    } forms[] = {
        {"exportCsvAction", QStringLiteral("Экспорт в CSV..."), QStringLiteral("Сохранить записи для электронных таблиц"),
         data_export::Format::csv},
        {"exportLasAction", QStringLiteral("Экспорт в LAS..."), QStringLiteral("Сохранить записи в формате LAS 2.0"),
         data_export::Format::las},
        {"exportWitsmlAction", QStringLiteral("WITSML 1.4.1.1 (XML)..."),
         QStringLiteral("Сохранить записи журналом WITSML 1.4.1.1 для сервера данных бурения"), data_export::Format::witsml},
    };
    for (const auto& form : forms) {
        QAction* action = export_menu->addAction(form.text);
        action->setObjectName(QString::fromLatin1(form.name));
        action->setToolTip(form.tip);
        const data_export::Format format = form.format;
        connect(action, &QAction::triggered, this, [this, format] { ask_export(format); });
    }
    export_menu->addSeparator();
    auto* extent = new QActionGroup(export_menu);
    QAction* whole = export_menu->addAction(QStringLiteral("Весь файл"));
    whole->setObjectName(QStringLiteral("exportWholeFileAction"));
    export_visible_ = export_menu->addAction(QStringLiteral("Только участок на экране"));
    export_visible_->setObjectName(QStringLiteral("exportVisibleRangeAction"));
    for (QAction* action : {whole, export_visible_}) {
        action->setCheckable(true);
        extent->addAction(action);
    }
    whole->setChecked(true);
    auto* export_button = new QToolButton;
    export_button->setObjectName(QStringLiteral("exportButton"));
    export_button->setText(QStringLiteral("Экспорт"));
    export_button->setToolTip(QStringLiteral("Сохранить записи в CSV, LAS или WITSML: весь файл или участок на экране"));
    export_button->setMenu(export_menu);
    export_button->setPopupMode(QToolButton::InstantPopup);
    bar->addWidget(export_button);
    export_button_ = export_button;
    connect(add_action(bar, QStringLiteral("Сохранить график..."), QStringLiteral("Сохранить график в PNG, SVG или PDF")),
            &QAction::triggered, this, &LogViewer::ask_save_plot);

    give_tracks_the_data();
    connect(tracks_, &TrackView::cursor_moved, this, &LogViewer::update_cursor_table);

    // The header of a table makes an entry per row, which for a file of a million records
    // takes a while: the table is filled when its page is first shown, not at opening, and
    // its sizes are set before the rows arrive so that the entries are made only once.
    auto* table = new QTableView;
    table_ = table;
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 4);
    table->horizontalHeader()->setDefaultSectionSize(96);

    auto* views = new QTabWidget;
    views->addTab(tracks_, QStringLiteral("Кривые"));
    views->addTab(table, QStringLiteral("Таблица"));
    connect(views, &QTabWidget::currentChanged, this, [this, table, views](int page) {
        if (views->widget(page) != table || table->model() != nullptr)
            return;
        table->setModel(new RecordTable(*model_, table));
        table->setColumnWidth(0, 150);
    });

    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->addWidget(as_part(build_picker()));
    splitter->addWidget(as_part(views));
    setCentralWidget(splitter);
}

QWidget* LogViewer::build_picker()
{
    auto* panel = new QWidget;
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(new QLabel(QStringLiteral("Параметры")));
    picker_ = new QListWidget;
    fill_picker();
    layout->addWidget(picker_, 1);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Кривых на дорожке:")));
    per_track_ = new QSpinBox;
    per_track_->setRange(1, TrackView::max_curves_per_track);
    per_track_->setValue(TrackView::max_curves_per_track);
    row->addWidget(per_track_);
    layout->addLayout(row);
    connect(picker_, &QListWidget::itemChanged, this, &LogViewer::picker_changed);
    connect(per_track_, &QSpinBox::valueChanged, this, &LogViewer::picker_changed);
    return panel;
}

// The list is made again only when the parameters differ from those it shows: the whole
// file mostly has the same as its first look, and a list made again is drawn again.
void LogViewer::fill_picker()
{
    QStringList captions;
    for (int p = 0; p < data_->param_count(); ++p) {
        const FileStorageParam& param = model_->params[static_cast<std::size_t>(p)];
        QString caption = param_name(p);
        if (!param.text1.empty())
            caption += ", " + utf8(param.text1);
        captions << caption;
    }
    QStringList shown;
    for (int row = 0; row < picker_->count(); ++row)
        shown << picker_->item(row)->text();
    if (shown == captions)
        return;
    const QSignalBlocker block_picker(picker_);
    picker_->clear();
    for (int p = 0; p < static_cast<int>(captions.size()); ++p) {
        auto* item = new QListWidgetItem(captions[p], picker_);
        item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        item->setCheckState(Qt::Unchecked);
        item->setData(Qt::UserRole, p);
    }
}

QWidget* LogViewer::build_side_panel(const QStringList& problems)
{
    // The cursor's values on top, the file's texts and warnings below them.
    auto* panel = new QSplitter(Qt::Vertical);
    cursor_table_ = new QTableWidget(0, 2);
    cursor_table_->setHorizontalHeaderLabels({QStringLiteral("Курсор"), QStringLiteral("Значение")});
    cursor_table_->horizontalHeader()->setStretchLastSection(true);
    cursor_table_->verticalHeader()->hide();
    cursor_table_->verticalHeader()->setDefaultSectionSize(cursor_table_->fontMetrics().height() + 6);
    cursor_table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    cursor_table_->setColumnWidth(0, 130);
    panel->addWidget(cursor_table_);

    side_ = new QTabWidget;
    texts_page_ = text_page({});
    remarks_page_ = text_page({});
    warnings_page_ = text_page({});
    side_->addTab(texts_page_, QString());
    side_->addTab(remarks_page_, QString());
    side_->addTab(warnings_page_, QString());
    fill_side_pages(problems);
    panel->addWidget(side_);
    panel->setStretchFactor(0, 3);
    panel->setStretchFactor(1, 2);
    return panel;
}

namespace {

// A page and its tab are given their texts only when they change, as a text set again is laid
// out and drawn again.
void set_page_text(QTabWidget* tabs, QPlainTextEdit* page, const QStringList& lines, const QString& title)
{
    const QString text = lines.join('\n');
    if (page->toPlainText() != text)
        page->setPlainText(text);
    const int tab = tabs->indexOf(page);
    if (tabs->tabText(tab) != title)
        tabs->setTabText(tab, title);
}

} // namespace

void LogViewer::fill_side_pages(const QStringList& problems)
{
    QStringList texts;
    for (const std::string& line : model_->text_values.lines())
        texts << utf8(line);
    set_page_text(side_, texts_page_, texts, QStringLiteral("Текст (%1)").arg(texts.size()));

    QStringList remarks;
    for (const SimpleRemark& remark : model_->remarks)
        remarks << QStringLiteral("%1 %2 %3: %4").arg(remark.value1).arg(remark.value2).arg(remark.value3).arg(utf8(remark.text));
    set_page_text(side_, remarks_page_, remarks, QStringLiteral("Заметки (%1)").arg(remarks.size()));

    problems_ = problems;
    warnings_ = problems;
    for (const std::string& warning : model_->warnings)
        warnings_ << utf8(storage::warning_text(warning));
    set_page_text(side_, warnings_page_, warnings_, QStringLiteral("Предупреждения (%1)").arg(warnings_.size()));
    const int page = side_->indexOf(warnings_page_);
    if (!warnings_.isEmpty()) {
        side_->tabBar()->setTabTextColor(page, QColor(190, 30, 30));
        side_->setCurrentIndex(page);
    }
}

void LogViewer::show_params(const std::vector<int>& params, int per_track)
{
    per_track = std::clamp(per_track, 1, TrackView::max_curves_per_track);
    {
        const QSignalBlocker block_picker(picker_);
        const QSignalBlocker block_spin(per_track_);
        per_track_->setValue(per_track);
        for (int row = 0; row < picker_->count(); ++row) {
            QListWidgetItem* item = picker_->item(row);
            const bool shown = std::find(params.begin(), params.end(), item->data(Qt::UserRole).toInt()) != params.end();
            item->setCheckState(shown ? Qt::Checked : Qt::Unchecked);
        }
    }
    std::vector<std::vector<int>> tracks;
    for (std::size_t i = 0; i < params.size(); ++i) {
        if (i % static_cast<std::size_t>(per_track) == 0)
            tracks.emplace_back();
        tracks.back().push_back(params[i]);
    }
    tracks_->set_tracks(std::move(tracks));
    if (tracks_->cursor())
        update_cursor_table(*tracks_->cursor());
}

void LogViewer::picker_changed()
{
    std::vector<int> params;
    for (int row = 0; row < picker_->count(); ++row)
        if (picker_->item(row)->checkState() == Qt::Checked)
            params.push_back(picker_->item(row)->data(Qt::UserRole).toInt());
    show_params(params, per_track_->value());
}

std::vector<std::pair<QString, QString>> LogViewer::cursor_rows() const
{
    std::vector<std::pair<QString, QString>> rows;
    const auto cursor = tracks_->cursor();
    if (!cursor || data_->size() == 0)
        return rows;
    const std::size_t sample = data_->nearest(*cursor);
    const FileStorageItem& record = *model_->records[data_->record_of(sample)];
    rows.emplace_back(QStringLiteral("Время"), time_text(record.time));
    rows.emplace_back(QStringLiteral("Глубина Z"), value_text(record.depth_z));
    rows.emplace_back(QStringLiteral("Запись №"), QString::number(data_->record_of(sample) + 1));
    for (const auto& track : tracks_->tracks())
        for (const int param : track)
            rows.emplace_back(param_name(param),
                              value_text(data_->column(param)[sample]));
    return rows;
}

void LogViewer::update_cursor_table(double)
{
    const auto rows = cursor_rows();
    cursor_table_->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        cursor_table_->setItem(r, 0, new QTableWidgetItem(rows[static_cast<std::size_t>(r)].first));
        auto* value = new QTableWidgetItem(rows[static_cast<std::size_t>(r)].second);
        value->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        cursor_table_->setItem(r, 1, value);
    }
}

QString LogViewer::save_plot(const QString& path) const
{
    const QString error = draw_plot(path);
    if (error.isEmpty())
        remember_export_folder(path);
    return error;
}

QString LogViewer::draw_plot(const QString& path) const
{
    const QSize size = tracks_->size().expandedTo(QSize(800, 600));
    const QString extension = QFileInfo(path).suffix().toLower();
    const QString failed = path + QStringLiteral("\n\nНе удалось сохранить график.");
    if (extension == "svg") {
        QSvgGenerator svg;
        svg.setFileName(path);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(windowTitle());
        QPainter painter;
        if (!painter.begin(&svg))
            return failed;
        tracks_->render(painter, size);
        return painter.end() ? QString() : failed;
    }
    if (extension == "pdf") {
        QPdfWriter pdf(path);
        pdf.setResolution(96);
        pdf.setPageSize(QPageSize(QSizeF(size.width() * 72.0 / 96, size.height() * 72.0 / 96), QPageSize::Point));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setTitle(windowTitle());
        QPainter painter;
        if (!painter.begin(&pdf))
            return failed;
        tracks_->render(painter, size);
        return painter.end() ? QString() : failed;
    }
    QImage image(size, QImage::Format_RGB32);
    {
        QPainter painter(&image);
        tracks_->render(painter, size);
    }
    return image.save(path, "PNG") ? QString() : failed;
}

data_export::Options LogViewer::export_options(data_export::Format format, char separator,
                                               const data_export::Range& range) const
{
    data_export::Options options = data_export::options_for(local_path(path_), format);
    options.separator = separator;
    options.range = range;
    // Without a valid zone in the settings, the machine's.
    options.utc_offset_minutes = data_export::parse_utc_offset(configuration().time_zone);
    return options;
}

data_export::Range LogViewer::visible_range() const
{
    const auto [top, bottom] = tracks_->view_range();
    const double low = std::min(top, bottom);
    const double high = std::max(top, bottom);
    data_export::Range range;
    if (data_->kind() == data_file::IndexKind::depth) {
        range.depth_from = static_cast<float>(low);
        range.depth_to = static_cast<float>(high);
        return range;
    }
    // Whole seconds: a record on the screen's edge is taken.
    constexpr double last_second = 4294967295.0;
    range.time_from = static_cast<std::uint32_t>(std::clamp(std::floor(low), 0.0, last_second));
    range.time_to = static_cast<std::uint32_t>(std::clamp(std::ceil(high), 0.0, last_second));
    return range;
}

QString LogViewer::export_file(const QString& path, data_export::Format format, char separator,
                               const data_export::Range& range) const
{
    // Part of the file would pass for the whole of it.
    if (reading_ || !export_button_->isEnabled())
        return path + QStringLiteral("\n\nфайл ещё не прочитан целиком");
    // Replacing the data file by its own export would lose its records.
    const QFileInfo target(path);
    if (target.exists() && target.canonicalFilePath() == QFileInfo(path_).canonicalFilePath())
        return path + QStringLiteral("\n\nфайл вывода совпадает с исходным файлом");
    const data_export::Options options = export_options(format, separator, range);
    try {
        data_export::write_file(*model_, options, local_path(path));
    }
    catch (const std::exception& e) {
        return path + "\n\n" + error_text(e);
    }
    remember_export_folder(path);
    return {};
}

// The first export goes to the user's documents, never into the store beside the data
// file, where the tree would list it among the well's files; later ones where the last went.
QString LogViewer::suggested_path(const QString& suffix) const
{
    const QFileInfo source(path_);
    const QString last = user_settings().value(export_folder_key).toString();
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QDir folder = QDir::home();
    if (!last.isEmpty() && QFileInfo(last).isDir())
        folder = QDir(last);
    else if (!documents.isEmpty() && QFileInfo(documents).isDir())
        folder = QDir(documents);
    return folder.filePath(source.fileName() + suffix);
}

void LogViewer::ask_export(data_export::Format format)
{
    const QString comma = QStringLiteral("CSV, разделитель запятая (*.csv)");
    const QString semicolon = QStringLiteral("CSV, разделитель точка с запятой (*.csv)");
    QString title = QStringLiteral("Экспорт в CSV");
    QString filters = comma + ";;" + semicolon;
    QString suffix = QStringLiteral(".csv");
    if (format == data_export::Format::las) {
        title = QStringLiteral("Экспорт в LAS");
        filters = QStringLiteral("LAS 2.0 (*.las)");
        suffix = QStringLiteral(".las");
    }
    else if (format == data_export::Format::witsml) {
        title = QStringLiteral("Экспорт в WITSML 1.4.1.1");
        filters = QStringLiteral("WITSML 1.4.1.1 (XML) (*.xml)");
        suffix = QStringLiteral(".xml");
    }
    const bool visible = export_visible_->isChecked();
    if (visible)
        title += QStringLiteral(" — участок на экране");
    QString chosen;
    QString target = QFileDialog::getSaveFileName(this, title, suggested_path(suffix), filters, &chosen);
    if (target.isEmpty())
        return;
    const char separator = chosen == semicolon ? ';' : ',';
    const data_export::Range range = visible ? visible_range() : data_export::Range{};
    const QString error = export_file(target, format, separator, range);
    if (!error.isEmpty()) {
        report(error);
        return;
    }
    statusBar()->showMessage(QStringLiteral("Сохранено: ") + target, 5000);
    // Units without a WITSML symbol and records without a depth are said once, after the save.
    QStringList warnings;
    for (const std::string& warning : data_export::warnings(*model_, export_options(format, separator, range)))
        warnings << utf8(warning);
    if (!warnings.isEmpty())
        QMessageBox::information(this, window_title,
                                 QStringLiteral("Сохранено: %1\n\n%2").arg(target, warnings.join(QLatin1Char('\n'))));
}

void LogViewer::ask_save_plot()
{
    const QString target = QFileDialog::getSaveFileName(
        this, QStringLiteral("Сохранить график"), suggested_path(QStringLiteral(".png")),
        QStringLiteral("Изображение PNG (*.png);;Рисунок SVG (*.svg);;Документ PDF (*.pdf)"));
    if (target.isEmpty())
        return;
    const QString error = save_plot(target);
    if (!error.isEmpty())
        report(error);
    else
        statusBar()->showMessage(QStringLiteral("Сохранено: ") + target, 5000);
}

void LogViewer::report(const QString& error)
{
    QMessageBox::warning(this, window_title, error);
}

} // namespace viewer

namespace viewer {

LoadedFile::LoadedFile() : model(std::make_unique<FileStorage>()) {}
LoadedFile::~LoadedFile() = default;
LoadedFile::LoadedFile(LoadedFile&&) noexcept = default;
LoadedFile& LoadedFile::operator=(LoadedFile&&) noexcept = default;

namespace {

void load_file(const QString& path, LoadedFile& loaded)
{
    const std::string local = local_path(path);
    try {
        data_file::load(*loaded.model, local);
    }
    catch (const std::exception& e) {
        // A load that stops keeps what it read; with nothing read there is nothing to show.
        if (loaded.model->records.empty()) {
            loaded.error = error_text(e);
            return;
        }
        loaded.problems << QStringLiteral("Файл прочитан не до конца: ") + error_text(e);
    }
    loaded.data = std::make_unique<LogData>(*loaded.model, data_file::index_kind_of(local));
}

std::unique_ptr<LoadedFile> first_look_at(const QString& path, std::size_t bytes)
{
    auto first = std::make_unique<LoadedFile>();
    const std::string local = local_path(path);
    if (!storage::load_realtime_prefix(*first->model, local, bytes))
        return nullptr;
    first->data = std::make_unique<LogData>(*first->model, data_file::index_kind_of(local));
    return first;
}

constexpr int busy_after_ms = 300;

} // namespace

// What the first look's window shows: the whole file's lines of those curves are traced on
// the reading thread for a track body of that size.
struct TraceAhead {
    std::mutex mutex;
    std::condition_variable shown;
    QSize body;
    std::vector<int> params;
};

namespace {

// Making and first drawing the window is the GUI thread's longest piece of work in an
// opening: the whole read, which would take a core and memory from it, starts once the
// window is on show (or after a while, should it never come).
void wait_for_the_window(TraceAhead& ahead)
{
    std::unique_lock lock(ahead.mutex);
    ahead.shown.wait_for(lock, std::chrono::milliseconds(500), [&ahead] { return !ahead.body.isEmpty(); });
}

void trace_ahead(TraceAhead& ahead, LoadedFile& loaded)
{
    QSize body;
    std::vector<int> params;
    {
        const std::lock_guard lock(ahead.mutex);
        body = ahead.body;
        params = ahead.params;
    }
    if (!loaded.data || body.isEmpty())
        return;
    for (const int param : params)
        if (param >= 0 && param < loaded.data->param_count())
            loaded.traces[param] = TrackView::trace_whole_file(*loaded.data, param, body);
}

} // namespace

FileReads file_reads(std::size_t first_look_bytes)
{
    return {[first_look_bytes](const QString& path) { return first_look_at(path, first_look_bytes); }, load_file};
}

ViewerOpening::ViewerOpening(const QString& path, QWidget* parent, FileReads reads)
    : QObject(parent), path_(path), parent_(parent)
{
    // A long read says which file is being read.
    QTimer::singleShot(busy_after_ms, this, [this] { show_busy(); });
    auto loaded = std::make_shared<LoadedFile>();
    ahead_ = std::make_shared<TraceAhead>();
    job_.start(
        [this, path, loaded, ahead = ahead_, reads = std::move(reads)](background::JobContext& context) {
            if (std::shared_ptr<LoadedFile> first = reads.first_look(path)) {
                // Queued to this object: dropped with it, and always before the whole
                // read's result, which is queued later.
                QMetaObject::invokeMethod(this, [this, first] { first_look_read(*first); }, Qt::QueuedConnection);
                wait_for_the_window(*ahead);
            }
            reads.whole(path, *loaded);
            // A window closed meanwhile wants nothing: the model goes here, not on the
            // GUI thread, where freeing a million records would stop the drawing.
            if (context.cancelled())
                *loaded = LoadedFile();
            else
                trace_ahead(*ahead, *loaded);
        },
        [this, loaded] { file_read(*loaded); });
    // Work that throws (out of memory laying the records out) ends the opening as a read
    // that failed, instead of a busy window left on show for good.
    connect(&job_, &background::Job::error, this, [this](const QString& error) {
        LoadedFile failed;
        failed.error = error;
        file_read(failed);
    });
    // The viewer opened for one file alone: closed while the file is still read, the
    // program ends only once the read has (the job joins its thread as the opening goes).
    if (parent == nullptr)
        connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { delete this; });
}

ViewerOpening::~ViewerOpening() = default;

void ViewerOpening::show_busy()
{
    if (!job_.running() || first_look_shown_)
        return;
    busy_ = std::make_unique<QDialog>(parent_);
    busy_->setWindowTitle(window_title);
    busy_->setWindowModality(parent_ != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(busy_.get());
    layout->addWidget(new QLabel(QStringLiteral("Чтение файла ") + QFileInfo(path_).fileName() + QStringLiteral("...")));
    auto* bar = new QProgressBar;
    bar->setRange(0, 0);
    layout->addWidget(bar);
    busy_->show();
}

void ViewerOpening::first_look_read(LoadedFile& first)
{
    if (!job_.running() || first_look_shown_)
        return;
    busy_.reset();
    first_look_shown_ = true;
    window_ = new LogViewer(path_, std::move(first.model), std::move(first.data), first.problems, parent_);
    window_->setAttribute(Qt::WA_DeleteOnClose);
    window_->mark_reading();
    show_window(false);
}

void ViewerOpening::file_read(LoadedFile& loaded)
{
    busy_.reset();
    if (first_look_shown_) {
        // A quick whole read may end before the first look is on show: it waits for that.
        whole_ = std::make_unique<LoadedFile>(std::move(loaded));
        if (window_shown_ || !window_)
            take_whole_file();
        return;
    }
    if (!loaded.error.isEmpty()) {
        deleteLater();
        const bool alone = parent_ == nullptr;
        // The program opened for this file alone ends with status 1 after the box.
        if (alone)
            QGuiApplication::setQuitOnLastWindowClosed(false);
        QMessageBox::critical(parent_, window_title, path_ + "\n\n" + loaded.error);
        emit failed(loaded.error);
        if (alone)
            QCoreApplication::exit(1);
        return;
    }
    window_ = new LogViewer(path_, std::move(loaded.model), std::move(loaded.data), loaded.problems, parent_);
    window_->setAttribute(Qt::WA_DeleteOnClose);
    show_window(true);
}

// What the reading thread is to trace ahead: the curves on show and their size, as they are
// now. A window closed, or the read over, leaves it as it was.
void ViewerOpening::note_shown_curves()
{
    if (!window_)
        return;
    const TrackView& tracks = *window_->track_view();
    {
        const std::lock_guard lock(ahead_->mutex);
        ahead_->body = tracks.body_size();
        ahead_->params.clear();
        for (const auto& track : tracks.tracks())
            ahead_->params.insert(ahead_->params.end(), track.begin(), track.end());
    }
    ahead_->shown.notify_all();
}

void ViewerOpening::take_whole_file()
{
    if (window_) {
        if (whole_->error.isEmpty())
            window_->take_whole_file(std::move(*whole_));
        else
            window_->whole_read_failed(whole_->error);
        emit whole_file_shown(window_);
    }
    whole_.reset();
    deleteLater();
}

// Made in one turn of the event loop and shown, part by part, in the next ones: each is a
// share of what the GUI thread must do for a window of this size, and the window keeps
// drawing between.
void ViewerOpening::show_window(bool done)
{
    // Closed before the whole file is read, the read ends on its thread and is dropped there;
    // closed before it was wholly on show, the opening has nothing more to wait for.
    connect(window_, &QObject::destroyed, this, [this] {
        job_.cancel();
        if (!job_.running())
            deleteLater();
    });
    QMetaObject::invokeMethod(
        window_,
        [window = window_.data(), opening = QPointer<ViewerOpening>(this), done] {
            window->show_in_turns([window, opening, done] { window_on_show(window, opening, done); });
        },
        Qt::QueuedConnection);
}

// The window is wholly on show: the opening says so, and the whole file, when read already,
// takes the first look's place in the turn after.
void ViewerOpening::window_on_show(LogViewer* window, QPointer<ViewerOpening> opening, bool done)
{
    if (!opening)
        return;
    opening->window_shown_ = true;
    if (!done) {
        opening->note_shown_curves();
        connect(window->track_view(), &TrackView::layout_changed, opening, &ViewerOpening::note_shown_curves);
    }
    emit opening->opened(window);
    if (done) {
        emit opening->whole_file_shown(window);
        opening->deleteLater();
    }
    else if (opening->whole_) {
        QMetaObject::invokeMethod(opening, [opening] { opening->take_whole_file(); }, Qt::QueuedConnection);
    }
}

std::unique_ptr<LogViewer> load_viewer(const QString& path, QString* error)
{
    LoadedFile loaded;
    load_file(path, loaded);
    if (!loaded.error.isEmpty()) {
        if (error != nullptr)
            *error = loaded.error;
        return nullptr;
    }
    return std::make_unique<LogViewer>(path, std::move(loaded.model), std::move(loaded.data), loaded.problems);
}

} // namespace viewer

viewer::ViewerOpening* open_viewer(const QString& path, QWidget* parent)
{
    // A missing file is said at once, before anything is read.
    if (!QFileInfo::exists(path)) {
        QMessageBox::critical(parent, viewer::window_title, path + QStringLiteral("\n\nФайл не найден!"));
        return nullptr;
    }
    return new viewer::ViewerOpening(path, parent);
}
