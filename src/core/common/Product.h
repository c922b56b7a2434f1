#pragma once

// The program's names: the caption of the window and of every message box,
// and where its settings live.

namespace norvane {

inline constexpr const char* ApplicationTitle = "Norvane";
inline constexpr const char* OrganizationName = "Halvorix";

} // namespace norvane
