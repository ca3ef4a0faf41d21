// The window's remembered choices: ~/.config/Tamboro/tamboro.conf (or under
// $XDG_CONFIG_HOME).
#pragma once

#include <QSettings>
#include <memory>

namespace tamboro {

std::unique_ptr<QSettings> OpenSettingsFile();

}  // namespace tamboro
