// Opening a chart folder in the file manager.
#pragma once

#include <string>

class QWidget;

namespace tamboro {

// Opens `folder` (its bytes as found); when no program to open it can be
// started, says so in a message box owned by `window`.
void OpenFolder(QWidget& window, const std::string& folder);

}  // namespace tamboro
