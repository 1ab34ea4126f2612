// The packed-data panel: the packages waiting in the input folder, deleting them, adding
// them by dropping files, and the trash and copy operations the whole window uses.
#include "ui/Main.h"

#include "settings/Configuration.h"
#include "ui/Controlworks.h"
#include "lib/Fileworks.h"
#include "extract/Package_kinds.h"
#include "ui/Shellfiles.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>

#include <optional>

namespace {
constexpr int short_question_from = 10;

int image_of(const std::string& name)
{
    const std::optional<PackageKindInfo> kind = package_kind_of(name);
    return kind && kind->container ? image_package : image_folder;
}

} // namespace

namespace {

// The names the package list shows: each kind's packages, then the subfolders, by name.
std::vector<std::string> package_names(const std::string& package_dir)
{
    std::vector<std::string> names;
    for (const PackageKindInfo& kind : package_kinds) {
        lib::FileFinder finder;
        finder.find(package_dir + std::string(kind.mask), lib::attr_set_files, false);
        // Linux lists a folder in no stable order; names keep the list still between refreshes.
        finder.sort_by_name();
        for (const lib::FindedFile& file : finder.files)
            names.push_back(file.name);
    }
    lib::FileFinder folders;
    folders.find(package_dir + "*.*", 0x31, false);
    folders.sort_by_name();
    for (const lib::FindedFile& entry : folders.files) {
        if ((entry.attributes & platform::attr_directory) != 0)
            names.push_back(entry.name);
    }
    return names;
}

} // namespace

void TDravinexMainForm::refresh_package_list()
{
    // Asked again while the folder is read (a drop, F5): it is read once more afterwards.
    if (list_task_.running()) {
        list_reread_ = true;
        return;
    }
    list_reread_ = false;
    struct Listing {
        bool missing = false;
        std::vector<std::string> names;
    };
    list_task_.start_with_result(
        [folder = package_dir](background::JobContext&) {
            Listing listing;
            listing.missing = !lib::folder_exists(folder);
            if (!listing.missing)
                listing.names = package_names(folder);
            return listing;
        },
        [this](const Listing& listing) {
            if (std::exchange(list_reread_, false)) {
                refresh_package_list();
                return;
            }
            fill_package_list(listing.names, listing.missing);
        });
}

void TDravinexMainForm::fill_package_list(const std::vector<std::string>& names, bool folder_missing)
{
    // An empty list would read as "nothing has arrived" when the folder itself is missing.
    if (folder_missing) {
        ListView1->clear();
        QString folder = QString::fromStdString(package_dir);
        if (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
            folder.chop(1);
        auto* missing = new QListWidgetItem(
            ui_text(extract_text::input_folder) + folder + ui_text(extract_text::input_missing), ListView1);
        missing->setFlags(Qt::NoItemFlags);
        missing->setToolTip(missing->text());
        return;
    }
    ListView1->setUpdatesEnabled(false);
    ListView1->clear();
    for (const std::string& name : names)
        new QListWidgetItem(ImageList1[image_of(name)], QString::fromStdString(name), ListView1);
    ListView1->setUpdatesEnabled(true);
}

void TDravinexMainForm::tbtnDeleteClick()
{
    QStringList paths;
    for (int row = 0; row < ListView1->count(); ++row) {
        const QListWidgetItem* item = ListView1->item(row);
        if (item->isSelected())
            paths << QString::fromStdString(configuration().from_path) + item->text();
    }
    shell_delete(paths);
}

QString TDravinexMainForm::drop_question(const QStringList& paths, const std::string& from_path)
{
    const QString folder = QString::fromStdString(from_path);
    if (paths.size() >= short_question_from)
        return QStringLiteral("Копировать файлы в папку ") + folder + QStringLiteral(" ?");
    QString question = QStringLiteral("Копировать следующие файлы:\n\n");
    for (const QString& path : paths)
        question += path + QLatin1Char('\n');
    return question + QStringLiteral("\nВ папку ") + folder + QStringLiteral(" ?");
}

void TDravinexMainForm::files_dropped(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    if (!ask_yes_no(this, ui_text(main_text::drop_caption), drop_question(paths, configuration().from_path)))
        return;
    shell_copy(paths, QString::fromStdString(configuration().from_path), [this] { refresh_package_list(); });
}

void TDravinexMainForm::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TDravinexMainForm::dropEvent(QDropEvent* event)
{
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            paths << url.toLocalFile();
    }
    event->acceptProposedAction();
    // Asked after the drop has finished, so the file manager is not kept waiting.
    QMetaObject::invokeMethod(this, [this, paths] { files_dropped(paths); }, Qt::QueuedConnection);
}

void TDravinexMainForm::shell_delete(const QStringList& paths, std::function<void()> then)
{
    // One move to the trash at a time; one asked meanwhile follows it.
    if (trash_task_.running()) {
        trash_waiting_.emplace_back(paths, std::move(then));
        return;
    }
    trash_task_.start_with_result(
        [paths](background::JobContext& context) {
            QStringList problems;
            for (const QString& path : paths) {
                if (context.cancelled())
                    break;
                const QString problem = move_to_trash(path);
                if (!problem.isEmpty())
                    problems << ui_text(shell_text::trash_failed) + path + QStringLiteral(" (") + problem + QLatin1Char(')');
            }
            return problems;
        },
        [this, then = std::move(then)](const QStringList& problems) {
            for (const QString& line : problems)
                add_journal_line(line);
            refresh_package_list();
            if (close_pending_)
                return;
            if (then)
                then();
            if (!trash_waiting_.empty()) {
                auto [next, after] = std::move(trash_waiting_.front());
                trash_waiting_.pop_front();
                shell_delete(next, std::move(after));
            }
        });
}
