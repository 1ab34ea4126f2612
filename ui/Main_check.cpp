// "Проверить хранилище": the store check of the command line's verify, run off the GUI
// thread; the window stays usable and the journal receives the report when it is done. When
// the check finds what a repair mends, the window says in plain words what that is and what
// the repair would do, and repairs only when the user agrees.

#include "ui/Main.h"

#include "settings/Configuration.h"
#include "ui/Controlworks.h"
#include "catalogue/Store_check.h"
#include "extract/Run_lock.h"
#include "lib/Sys_utils.h"
#include "storage/Merge_index.h"

#include <QAction>

#include <optional>

namespace {

// What a repair would mend, counted by kind.
struct Repairs {
    int cut_ends = 0;
    int leftovers = 0;
    int index_entries = 0;

    bool any() const { return cut_ends + leftovers + index_entries > 0; }
};

Repairs repairs_of(const catalogue::StoreReport& report)
{
    Repairs repairs;
    for (const catalogue::StoreFinding& finding : report.findings) {
        if (!catalogue::repairable(finding))
            continue;
        if (finding.kind == catalogue::StoreFinding::cut_tail)
            ++repairs.cut_ends;
        else if (finding.kind == catalogue::StoreFinding::leftover)
            ++repairs.leftovers;
        else
            ++repairs.index_entries;
    }
    return repairs;
}

QString repair_question(const Repairs& repairs)
{
    QString text = ui_text(main_text::repair_intro);
    if (repairs.cut_ends > 0)
        text += ui_text(main_text::repair_cut_ends).arg(repairs.cut_ends);
    if (repairs.leftovers > 0)
        text += ui_text(main_text::repair_leftovers).arg(repairs.leftovers);
    if (repairs.index_entries > 0)
        text += ui_text(main_text::repair_index).arg(repairs.index_entries);
    return text + ui_text(main_text::repair_outro);
}

} // namespace

void TDravinexMainForm::check_store_click()
{
    start_store_check(false);
}

void TDravinexMainForm::start_store_check(bool repair)
{
    if (check_task_.running())
        return;
    const std::string root = configuration().to_path;
    // The merges keep their index beside the temporary folder of the runs.
    const std::string index = folders_.state + storage::MergeIndex::file_name;
    const std::string run_lock = folders_.run_lock;
    add_journal_line(ui_text(repair ? main_text::repair_started : main_text::check_started) + QString::fromStdString(root));
    mnuCheckStore->setEnabled(false);
    struct Outcome {
        QStringList lines;
        QString offer; // the question that offers a repair, or empty
    };
    check_task_.start_with_result(
        [root, index, run_lock, repair](background::JobContext& context) {
            Outcome outcome;
            Repairs repairs{};
            try {
                // A repair cuts and removes: never while a run of this home may be writing.
                std::optional<RunLock> lock;
                if (repair)
                    lock.emplace(run_lock, false);
                if (lock && !lock->held()) {
                    outcome.lines << QString::fromStdString(run_lock_text::busy + run_lock);
                }
                else {
                    // Closing the window stops the check between two files.
                    const catalogue::StoreReport report =
                        catalogue::check_store(root, index, repair, &context.cancel_flag());
                    if (report.stopped)
                        return outcome;
                    for (const catalogue::StoreFinding& finding : report.findings)
                        outcome.lines << QStringLiteral("    ") + QString::fromStdString(catalogue::describe_finding(finding));
                    outcome.lines << ui_text(main_text::check_done) + QString::number(report.data_files)
                                         + ui_text(main_text::check_found) + QString::number(report.findings.size());
                    repairs = repairs_of(report);
                }
            }
            catch (const std::exception& error) {
                outcome.lines << ui_text(main_text::check_failed) + QString::fromStdString(lib::io::describe_error(error));
            }
            if (!repair && repairs.any())
                outcome.offer = repair_question(repairs);
            return outcome;
        },
        [this](const Outcome& outcome) { store_check_finished(outcome.lines, outcome.offer); });
}

void TDravinexMainForm::store_check_finished(const QStringList& lines, const QString& repair_offer)
{
    for (const QString& line : lines)
        add_journal_line(line);
    mnuCheckStore->setEnabled(true);
    if (repair_offer.isEmpty() || close_pending_)
        return;
    if (ask_question(this, ui_text(main_text::repair_caption), repair_offer, QMessageBox::Yes | QMessageBox::No,
                     QMessageBox::No)
        == QMessageBox::Yes)
        start_store_check(true);
}
