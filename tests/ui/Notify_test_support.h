#pragma once
// Pieces of the window's notification tests: packages of a new well and a damaged one, and
// one extraction run of the window over them.

#include "Ui_test_support.h"

#include "testkit/Zreg_writer.h"
#include "ui/Main.h"

#include <QPlainTextEdit>

namespace notify_test {

inline void write_package(const QString& path, const testkit::Bytes& bytes)
{
    testkit::write_file(path.toStdString(), bytes);
}

inline const testkit::Bytes damaged = {1, 0, 0, 1, 'x'};

// "Распаковать все данные", its error boxes answered; false when the run did not end.
inline bool run_window(TDravinexMainForm& form)
{
    ui_test::MessageBoxAnswerer answer(QMessageBox::Ok, 10);
    form.tbtnExtract->trigger();
    return ui_test::wait_for([&] { return !form.extraction_running(); });
}

inline int journal_lines_with(const TDravinexMainForm& form, const QString& text)
{
    return static_cast<int>(form.Memo1->toPlainText().split(QLatin1Char('\n')).filter(text).size());
}

} // namespace notify_test
