#include "app/Window_run.h"

#include "ui/Main.h"

#include <QApplication>
#include <QMessageBox>

#include <exception>

int run_main_window(const std::function<std::unique_ptr<QWidget>()>& make)
{
    try {
        const std::unique_ptr<QWidget> window = make();
        window->show();
        return QApplication::exec();
    }
    catch (const std::exception& error) {
        QMessageBox::critical(nullptr, QString::fromUtf8(main_text::application_title), QString::fromStdString(error.what()));
        return 1;
    }
}
