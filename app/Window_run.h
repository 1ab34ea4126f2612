#pragma once
// The window program's life once its QApplication exists: the main window is built and shown
// and the event loop runs. The process's exit status is what the loop returns; a window that
// cannot be built shows a fatal error box and ends the program with status 1, never 0.

#include <QWidget>

#include <functional>
#include <memory>

// `make` builds the main window; an exception from it is the fatal error.
int run_main_window(const std::function<std::unique_ptr<QWidget>()>& make);
