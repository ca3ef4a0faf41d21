// The window's remembered choices: ~/.config/Tamboro/tamboro.conf (or under
// $XDG_CONFIG_HOME).
#pragma once

#include <QSettings>
#include <memory>

namespace tamboro {

std::unique_ptr<QSettings> OpenSettingsFile();

// Whether searches keep and use the index of their root (`index=`, on
// unless set to false).
bool IndexChosen();

}  // namespace tamboro
