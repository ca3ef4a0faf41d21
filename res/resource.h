// Identifiers of the window, its controls and its icon.
#pragma once

namespace tamboro {

inline constexpr int IDD_TAMBORO_DIALOG = 102;  // the main window
inline constexpr int IDI_APP = 128;             // the program's icon

inline constexpr int IDC_PATH = 1000;    // path box
inline constexpr int IDC_LIST = 1002;    // result list
inline constexpr int IDC_SEARCH = 1003;  // Search button
inline constexpr int IDC_STOP = 1004;    // Stop button

}  // namespace tamboro
