// The window's remembered choices: ~/.config/Tamboro/tamboro.conf (or under
// $XDG_CONFIG_HOME).
#pragma once

#include <QSettings>
#include <QStringList>
#include <memory>

namespace tamboro {

std::unique_ptr<QSettings> OpenSettingsFile();

// A list-valued key (`columns=`, `tables=`): its comma-separated items,
// each trimmed, empty ones left out. Written by hand without quotes
// (`columns=folder,title`) the settings file holds a list, written by the
// window a text with commas in quotes: both read the same.
QStringList ListValue(const QSettings& settings, const QString& key);

// Whether searches keep and use the index of their root (`index=`, on
// unless set to false).
bool IndexChosen();

}  // namespace tamboro
