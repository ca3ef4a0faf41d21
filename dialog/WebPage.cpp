#include "dialog/WebPage.h"

#include <QDesktopServices>

namespace tamboro {

QUrl WebPageUrl(const std::string& address)
{
    const QUrl url(QString::fromStdString(address).trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return QUrl();
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") ? url : QUrl();
}

bool OpenWebPage(const std::string& address)
{
    const QUrl url = WebPageUrl(address);
    return !url.isEmpty() && QDesktopServices::openUrl(url);
}

}  // namespace tamboro
