#include "cli/Export.h"

#include "cli/Cli.h"
#include "cli/Output.h"
#include "cli/Store.h"
#include "extract/Extractthread.h"
#include "storage/Data_file.h"
#include "storage/Realtimedatareader.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <ostream>
#include <string_view>

namespace dravinex_cli {

CLI::App* add_export_command(CLI::App& app, ExportOptions& options)
{
    CLI::App* command = app.add_subcommand("export", "Записать один файл данных в CSV или LAS 2.0");
    command->add_option("FILE", options.file,
                        "Файл данных (любого вида, что читает dump) или, с --form-version, общее начало "
                        "имён набора сжатых файлов столбцов")
        ->required();
    add_form_version_option(*command, options.form_version);
    command
        ->add_option_function<std::string>(
            "--format",
            [&options](const std::string& name) {
                options.format = name == "las" ? data_export::Format::las : data_export::Format::csv;
            },
            "csv (для электронных таблиц) или las (LAS 2.0 для программ каротажа)")
        ->required()
        ->check(CLI::IsMember({"csv", "las"}));
    command
        ->add_option_function<std::string>(
            "--separator", [&options](const std::string& separator) { options.separator = separator.front(); },
            "Разделитель полей CSV: , (по умолчанию) или ; как ждут таблицы в русской локали")
        ->check(CLI::IsMember({",", ";"}));
    command->add_option("-o,--output", options.output, "Записать в этот файл, а не в стандартный вывод");
    return command;
}

int run_export(const ExportOptions& options, std::ostream& out, std::ostream& err)
{
    FileStorage model;
    try {
        data_file::load(model, options.file, options.form_version);
    }
    catch (const std::exception& e) {
        return report_failure(err, options.file, lib::io::describe_error(e));
    }

    // Replacing the data file by its own export would lose its records.
    std::error_code ignored;
    if (!options.output.empty() && std::filesystem::equivalent(options.file, options.output, ignored))
        return report_failure(err, options.output, "файл вывода совпадает с исходным файлом");

    data_export::Options export_options = data_export::options_for(options.file, options.format);
    export_options.separator = options.separator;
    if (!options.output.empty()) {
        try {
            data_export::write_file(model, export_options, options.output);
        }
        catch (const std::exception& e) {
            return report_failure(err, options.output, lib::io::describe_error(e));
        }
        return exit_ok;
    }
    data_export::write(model, export_options,
                       [&out](std::string_view piece) { out.write(piece.data(), static_cast<std::streamsize>(piece.size())); });
    return finish_output(out, err);
}

} // namespace dravinex_cli
