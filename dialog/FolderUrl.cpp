#include "dialog/FolderUrl.h"

#include <QDir>
#include <QFile>

namespace tamboro {

QUrl FolderUrl(const std::string& folder)
{
    QByteArray raw(folder.data(), static_cast<qsizetype>(folder.size()));
    // A root typed as a relative path was scanned from the working folder.
    if (!raw.startsWith('/'))
        raw.prepend(QFile::encodeName(QDir::currentPath()) + '/');
    // Built from its encoded form: QUrl keeps sequences that are not UTF-8
    // percent-encoded instead of replacing them.
    return QUrl::fromEncoded(QByteArrayLiteral("file://") + raw.toPercentEncoding("/"), QUrl::StrictMode);
}

QByteArray LocalPathBytesOf(const QUrl& url)
{
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
}

}  // namespace tamboro
