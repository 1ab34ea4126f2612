#pragma once
// The viewer window of one data file: its curves as a log (tracks under a shared index
// axis, a parameter picker, a cursor that reads every shown curve), its records as a
// table, its text values, remarks and load warnings, and export of the file (whole, or the
// range on screen) to CSV, LAS and WITSML and of the plot to PNG, SVG and PDF.
//
// open_viewer() is the entry point for the rest of the program: the file is read by a
// background::Job (ui/Background_job.h) while the caller goes on drawing.

#include "storage/Export.h"
#include "ui/Background_job.h"
#include "ui/viewer/Log_data.h"
#include "ui/viewer/Track_view.h"

#include <QDialog>

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>

class FileStorage;
class QAction;
class QListWidget;
class QPlainTextEdit;
class QSpinBox;
class QStackedWidget;
class QTableView;
class QTableWidget;
class QTabWidget;
class QToolButton;

namespace viewer {

// What a read of the file hands to the window: the model, its plot data, the problems to
// show with the load's warnings, or the error when nothing could be read.
struct LoadedFile {
    LoadedFile();
    ~LoadedFile();
    LoadedFile(LoadedFile&&) noexcept;
    LoadedFile& operator=(LoadedFile&&) noexcept;

    std::unique_ptr<FileStorage> model;
    std::unique_ptr<LogData> data;
    QStringList problems;
    QString error;
    // Lines of the whole file traced ahead on the reading thread for the curves the window
    // shows, so that its first picture of the whole file costs the GUI thread no tracing.
    std::map<int, TrackView::Traced> traces;
};

struct TraceAhead;

// How an opening reads its file: a quick first look at its start (null when there is none
// to take, as for a small file) and then the whole read. Apart so that tests can put reads
// of their own.
struct FileReads {
    std::function<std::unique_ptr<LoadedFile>(const QString& path)> first_look;
    std::function<void(const QString& path, LoadedFile& loaded)> whole;
};
// About 10,000 records of 40 parameters: read, laid out and drawn well within a tenth of a
// second, and enough to show what the file holds while the rest is read.
inline constexpr std::size_t first_look_bytes = 2 * 1000 * 1000;
// The reads of the program: a first look at the first `first_look_bytes` of a real-time
// file longer than that.
FileReads file_reads(std::size_t first_look_bytes = viewer::first_look_bytes);

inline const QString window_title = QStringLiteral("Просмотр файла");

class LogViewer : public QMainWindow {
    Q_OBJECT
public:
    // `problems` are shown with the load's warnings (a load that stopped early says why);
    // `data` is the model laid out for drawing, made here when not given.
    LogViewer(const QString& path, std::unique_ptr<FileStorage> model, std::unique_ptr<LogData> data,
              const QStringList& problems, QWidget* parent = nullptr);
    ~LogViewer() override;

    TrackView* track_view() const { return tracks_; }
    const LogData& data() const { return *data_; }
    const FileStorage& model() const { return *model_; }

    // Parameters shown, in order; they fill tracks of `per_track` curves (1 to 3).
    void show_params(const std::vector<int>& params, int per_track);
    // The cursor table's rows: (caption, value), the index first.
    std::vector<std::pair<QString, QString>> cursor_rows() const;

    // The load's warnings and problems as the warnings page lists them.
    const QStringList& warnings() const { return warnings_; }

    // A window opened on a first look at the file while the whole file is read: the status
    // line says so and export, which would write only part of the file, waits.
    void mark_reading();
    bool reading() const { return reading_; }
    // The whole file read: it takes the place of the first look, the shown curves and a zoom
    // or pan the user made kept.
    void take_whole_file(LoadedFile&& whole);
    // The whole read failed after the first look: the window keeps it and says why.
    void whole_read_failed(const QString& error);
    // Shows the window with its panels empty and then the panels one per turn of the event
    // loop; `done` runs once all are on show.
    void show_in_turns(std::function<void()> done);

    // Writes the plot at its size on screen as PNG, SVG or PDF, by the extension; an error
    // text, or an empty one when written.
    QString save_plot(const QString& path) const;
    // Exports the records within `range` (the whole file by default); an error text naming
    // the file, or an empty one when written. WITSML states the zone of the settings.
    QString export_file(const QString& path, data_export::Format format, char separator = ',',
                        const data_export::Range& range = {}) const;
    // The index range now on screen as the records' bounds: times or first depths.
    data_export::Range visible_range() const;
    // Where the save dialogs propose to write, with `suffix` after the file's name: in the
    // folder of the last export or saved plot, else in the user's documents (else home).
    QString suggested_path(const QString& suffix) const;

private:
    QString param_name(int param) const;
    void give_tracks_the_data();
    void build_window();
    QWidget* build_picker();
    QWidget* build_side_panel(const QStringList& problems);
    void picker_changed();
    void update_cursor_table(double index);
    void ask_export(data_export::Format format);
    data_export::Options export_options(data_export::Format format, char separator, const data_export::Range& range) const;
    void ask_save_plot();
    void report(const QString& error);
    QString draw_plot(const QString& path) const;
    QWidget* as_part(QWidget* content);
    void reveal_parts(std::vector<std::size_t> order, std::function<void()> done);
    void fill_picker();
    void fill_side_pages(const QStringList& problems);
    void show_status();
    std::vector<int> shown_params() const;

    QString path_;
    std::unique_ptr<FileStorage> model_;
    std::unique_ptr<LogData> data_;
    TrackView* tracks_ = nullptr;
    QListWidget* picker_ = nullptr;
    QSpinBox* per_track_ = nullptr;
    QTableWidget* cursor_table_ = nullptr;
    QTabWidget* side_ = nullptr;
    QAction* export_visible_ = nullptr;
    QToolButton* export_button_ = nullptr;
    QTableView* table_ = nullptr;
    QPlainTextEdit* texts_page_ = nullptr;
    QPlainTextEdit* remarks_page_ = nullptr;
    QPlainTextEdit* warnings_page_ = nullptr;
    std::vector<QStackedWidget*> parts_; // the panels: parameters, views, side
    QStringList problems_; // the load's own, before the model's warnings
    QStringList warnings_;
    bool reading_ = false;
    std::pair<double, double> first_range_{0, 0}; // the view the window opened with
};

// The opening of one viewer: reads the file on its job's thread (a read that lasts shows a
// small window naming the file), then shows the viewer window, which deletes itself on
// close, and emits opened(); a file that cannot be read gives the load's error in a message
// box and emits failed(). A large real-time file opens on a first look at its start, and the
// whole file takes its place once read (whole_file_shown()); a window closed before that
// only lets the read end on its thread. Deletes itself once done. GUI thread.
class ViewerOpening : public QObject {
    Q_OBJECT
public:
    ViewerOpening(const QString& path, QWidget* parent, FileReads reads = file_reads());
    ~ViewerOpening() override;
    // The window, once opened (null again once it is closed).
    LogViewer* window() const { return window_; }

signals:
    void opened(viewer::LogViewer* window);
    void failed(const QString& error);
    // The window shows the whole file, or says why the read of the rest failed.
    void whole_file_shown(viewer::LogViewer* window);

private:
    void show_busy();
    void first_look_read(LoadedFile& first);
    void file_read(LoadedFile& loaded);
    void take_whole_file();
    void show_window(bool done);
    void note_shown_curves();
    static void window_on_show(LogViewer* window, QPointer<ViewerOpening> opening, bool done);

    QString path_;
    QWidget* parent_;
    QPointer<LogViewer> window_;
    bool first_look_shown_ = false;
    bool window_shown_ = false;
    std::unique_ptr<LoadedFile> whole_; // read before the first look was on show
    std::shared_ptr<TraceAhead> ahead_;
    std::unique_ptr<QDialog> busy_;
    background::Job job_;
};

// Reads the file on the calling thread and makes its window, not shown: for tools and tests
// with nothing on screen that must go on drawing. Null, with the load's error, when nothing
// could be read.
std::unique_ptr<LogViewer> load_viewer(const QString& path, QString* error = nullptr);

} // namespace viewer

// Opens a viewer window for the data file at `path` (any kind the model reads) as above and
// returns its opening; a damaged file opens with what could be read. A missing file is said
// in a message box at once and gives nullptr. Opened for one file alone (no parent), a file
// that cannot be read ends the program with status 1 after its box.
viewer::ViewerOpening* open_viewer(const QString& path, QWidget* parent = nullptr);
