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

#include <QDialog>

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <memory>

class FileStorage;
class QAction;
class QListWidget;
class QSpinBox;
class QTableWidget;
class QTabWidget;

namespace viewer {

class TrackView;
struct LoadedFile;

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

    QString path_;
    std::unique_ptr<FileStorage> model_;
    std::unique_ptr<LogData> data_;
    TrackView* tracks_ = nullptr;
    QListWidget* picker_ = nullptr;
    QSpinBox* per_track_ = nullptr;
    QTableWidget* cursor_table_ = nullptr;
    QTabWidget* side_ = nullptr;
    QAction* export_visible_ = nullptr;
    QStringList warnings_;
};

// The opening of one viewer: reads the file on its job's thread (a read that lasts shows a
// small window naming the file), then shows the viewer window, which deletes itself on
// close, and emits opened(); a file that cannot be read gives the load's error in a message
// box and emits failed(). Deletes itself once done. GUI thread.
class ViewerOpening : public QObject {
    Q_OBJECT
public:
    ViewerOpening(const QString& path, QWidget* parent);
    ~ViewerOpening() override;
    // The window, once opened.
    LogViewer* window() const { return window_; }

signals:
    void opened(viewer::LogViewer* window);
    void failed(const QString& error);

private:
    void show_busy();
    void file_read(LoadedFile& loaded);

    QString path_;
    QWidget* parent_;
    LogViewer* window_ = nullptr;
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
