#include "dialog/SettingsFile.h"

namespace tamboro {

std::unique_ptr<QSettings> OpenSettingsFile()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tamboro"),
                                       QStringLiteral("tamboro"));
}

QStringList ListValue(const QSettings& settings, const QString& key)
{
    const QVariant value = settings.value(key);
    const QString text =
        value.typeId() == QMetaType::QStringList ? value.toStringList().join(QLatin1Char(',')) : value.toString();
    QStringList items;
    for (const QString& item : text.split(QLatin1Char(','))) {
        const QString trimmed = item.trimmed();
        if (!trimmed.isEmpty())
            items << trimmed;
    }
    return items;
}

bool IndexChosen()
{
    return OpenSettingsFile()->value(QStringLiteral("index"), true).toBool();
}

}  // namespace tamboro
