#include "ui/Inioptions.h"

#include <QRect>
#include <QWidget>

namespace {

int state_number(const QWidget& window)
{
    if (window.isMinimized())
        return window_state_minimised;
    if (window.isMaximized())
        return window_state_maximised;
    return window_state_normal;
}

// The bounds the window has, or returns to when maximised or minimised.
QRect restored_bounds(const QWidget& window)
{
    if (window.isMaximized() || window.isMinimized() || window.isFullScreen()) {
        const QRect normal = window.normalGeometry();
        if (normal.isValid())
            return normal;
    }
    return window.geometry();
}

} // namespace

void load_form_placement(QWidget& window, std::string_view section, const lib::Profile& ini)
{
    const QRect current = restored_bounds(window);
    const int top = ini.read_int(section, placement_keys::top, current.top());
    const int left = ini.read_int(section, placement_keys::left, current.left());
    const int width = ini.read_int(section, placement_keys::width, current.width());
    const int height = ini.read_int(section, placement_keys::height, current.height());
    const int state = ini.read_int(section, placement_keys::state, state_number(window));
    // A damaged file must not make the window vanish: sizes stay at least a few pixels.
    window.setGeometry(left, top, std::max(width, 100), std::max(height, 100));
    switch (state) {
    case window_state_maximised: window.setWindowState(Qt::WindowMaximized); break;
    case window_state_minimised: window.setWindowState(Qt::WindowMinimized); break;
    default: window.setWindowState(Qt::WindowNoState); break;
    }
}

void save_form_placement(const QWidget& window, std::string_view section, lib::Profile& ini)
{
    const QRect bounds = restored_bounds(window);
    ini.write_int(section, placement_keys::top, bounds.top());
    ini.write_int(section, placement_keys::left, bounds.left());
    ini.write_int(section, placement_keys::width, bounds.width());
    ini.write_int(section, placement_keys::height, bounds.height());
    ini.write_int(section, placement_keys::state, state_number(window));
}
