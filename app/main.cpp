// The window program's entry: the single-copy guard, the hand-off to a running copy, and
// the main window.
//
//   dravinex [--home DIR] [PACKAGE [NAME]]
//   dravinex --view FILE
//
// --home names the folder of the settings, cache, temporary folder and hand-off files
// (default: the executable's folder), as for dravinex-cli. --view opens only the log viewer
// of one data file, in a process of its own: it takes no part in the single-copy guard or
// the hand-off, which are for packages.

#include "settings/Configuration.h"
#include "settings/Configuration_folders.h"
#include "ui/Controlworks.h"
#include "app/Handoff.h"
#include "app/Window_run.h"
#include "platform/Memory.h"
#include "ui/Main.h"
#include "ui/viewer/Log_viewer.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

struct CommandLine {
    std::string home;
    std::vector<std::string> arguments; // the package and its destination name, as given
};

CommandLine parse_command_line(int argc, char** argv)
{
    CommandLine line;
    int first = 1;
    if (argc > 2 && std::string(argv[1]) == "--home") {
        line.home = argv[2];
        first = 3;
    }
    for (int i = first; i < argc; ++i)
        line.arguments.emplace_back(argv[i]);
    return line;
}

QStringList to_qt(const std::vector<std::string>& arguments)
{
    QStringList list;
    for (const std::string& argument : arguments)
        list << QString::fromStdString(argument);
    return list;
}

int run_window(int argc, char** argv, const CommandLine& line, const ProgramFolders& folders)
{
    QApplication application(argc, argv);
    QApplication::setApplicationDisplayName(QString::fromUtf8(main_text::application_title));
    install_russian_translations(application);
    return run_main_window([&] {
        auto window = std::make_unique<TDravinexMainForm>(folders, to_qt(line.arguments));
        listen_for_hand_offs(*window, folders);
        return window;
    });
}

int run_viewer(int argc, char** argv, const QString& file)
{
    QApplication application(argc, argv);
    QApplication::setApplicationDisplayName(QString::fromUtf8(main_text::application_title));
    install_russian_translations(application);
    // The viewer's WITSML export states the time zone of the settings, as in the window.
    try {
        configuration().load(program_folders(std::string()).settings);
    }
    catch (const std::exception&) {
        // Unreadable settings: the export takes the machine's zone, as without any.
    }
    if (open_viewer(file) == nullptr)
        return 1;
    return application.exec();
}

constexpr const char* usage_text =
    "Использование:\n"
    "  dravinex [--home ПАПКА] [ПАКЕТ [ИМЯ]]\n"
    "  dravinex --view ФАЙЛ\n"
    "\n"
    "Без аргументов открывает окно программы. ПАКЕТ распаковывается в папку ИМЯ рядом с ним\n"
    "(GTI_Data, если ИМЯ не задано); когда программа уже запущена, пакет передаётся ей и\n"
    "распаковывается в хранилище. --home задаёт папку файлов программы, --view открывает\n"
    "просмотр одного файла данных.\n";

} // namespace

int main(int argc, char** argv)
{
    // Asked for help, not for a package named "--help".
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::fputs(usage_text, stdout);
        return 0;
    }
    if (argc == 3 && std::string(argv[1]) == "--view")
        return run_viewer(argc, argv, QString::fromLocal8Bit(argv[2]));
    const CommandLine line = parse_command_line(argc, argv);
    const ProgramFolders folders = program_folders(line.home);

    const APP_EXISTER exister = open_app_exister();
    if (exister.exists()) {
        const qint64 running = read_stored_handle(folders.handle);
        if (running != 0) {
            QCoreApplication application(argc, argv);
            const std::string problem = forward_to_running_copy(running, folders.files, line.arguments);
            if (problem.empty())
                return 0;
            std::cerr << "dravinex: " << problem << '\n';
            return 1;
        }
    }
    // A window is left open for months: each run's merge memory must go back, not stay as
    // the high-water mark of the largest well file ever merged.
    platform::keep_heap_small();
    return run_window(argc, argv, line, folders);
}
