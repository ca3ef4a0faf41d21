// Identifiers of the window's controls.
#pragma once

namespace tamboro {

inline constexpr int IDC_PATH = 1000;    // path box
inline constexpr int IDC_LIST = 1002;    // result list
inline constexpr int IDC_SEARCH = 1003;  // Search button
inline constexpr int IDC_STOP = 1004;    // Stop button

}  // namespace tamboro
