#pragma once
// The viewer window of one data file: its curves as a log (tracks under a shared index
// axis, a parameter picker, a cursor that reads every shown curve), its records as a
// table, its text values, remarks and load warnings, and export of the file (whole, or the
// range on screen) to CSV, LAS and WITSML and of the plot to PNG, SVG and PDF.
//
// open_viewer() is the entry point for the rest of the program.

#include "storage/Export.h"
#include "ui/viewer/Log_data.h"

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

} // namespace viewer

// Opens a viewer window for the data file at `path` (any kind the model reads), deleting
// itself on close, and returns it. A file that cannot be loaded gives the load's error in a
// message box and returns nullptr; a damaged file opens with what could be read.
QWidget* open_viewer(const QString& path, QWidget* parent = nullptr);
