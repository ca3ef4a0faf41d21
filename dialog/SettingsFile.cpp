#include "dialog/SettingsFile.h"

namespace tamboro {

std::unique_ptr<QSettings> OpenSettingsFile()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tamboro"),
                                       QStringLiteral("tamboro"));
}

bool IndexChosen()
{
    return OpenSettingsFile()->value(QStringLiteral("index"), true).toBool();
}

}  // namespace tamboro
