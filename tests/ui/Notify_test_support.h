#pragma once
// Pieces of the window's notification tests: packages of a new well and a damaged one, and
// one extraction run of the window over them.

#include "Ui_test_support.h"

#include "testkit/Realtime_writer.h"
#include "testkit/Zreg_writer.h"
#include "ui/Main.h"

#include <QPlainTextEdit>

namespace notify_test {

inline void write_package(const QString& path, const testkit::Bytes& bytes)
{
    testkit::write_file(path.toStdString(), bytes);
}

inline testkit::Bytes well_package(const std::string& well)
{
    FileStorageParam depth;
    depth.name = "Глубина";
    FileStorageItem item;
    item.time = 100;
    item.values = {1.0f};
    std::vector<testkit::ZregMember> members(2);
    members[0].name = "inpgti.ini";
    members[0].content = testkit::inpgti_ini(well, "Северная", lib::enc_1251);
    members[1].name = "1.realtim";
    members[1].content = testkit::realtime_file({depth}, {item}, {}, 2);
    return testkit::zreg_package(1, members);
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
