#pragma once
// A window's placement in a settings file: "top", "left", "width", "height" of its restored
// (normal) bounds and "state" (0 normal, 1 minimised, 2 maximised), in the section named
// after the window. A maximised window thus comes back maximised over the bounds it returns
// to. Reading keeps the window's current value for every missing key.

#include "lib/Profile.h"

#include <string_view>

class QWidget;

namespace placement_keys {
inline constexpr std::string_view top = "top";
inline constexpr std::string_view left = "left";
inline constexpr std::string_view width = "width";
inline constexpr std::string_view height = "height";
inline constexpr std::string_view state = "state";
} // namespace placement_keys

inline constexpr int window_state_normal = 0;
inline constexpr int window_state_minimised = 1;
inline constexpr int window_state_maximised = 2;

void load_form_placement(QWidget& window, std::string_view section, const lib::Profile& ini);
void save_form_placement(const QWidget& window, std::string_view section, lib::Profile& ini);
