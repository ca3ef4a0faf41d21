#include "dialog/FolderUrl.h"

#include <cerrno>
#include <string>
#include <unistd.h>

namespace tamboro {
namespace {

// The working folder as the bytes of its path (QDir::currentPath() turns
// names that are not UTF-8 into U+FFFD); empty when it cannot be had.
QByteArray WorkingFolderBytes()
{
    std::string buffer(4096, '\0');
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE || buffer.size() > (std::size_t(1) << 24))
            return QByteArray();
        buffer.resize(buffer.size() * 2);
    }
    return QByteArray(buffer.c_str());
}

}  // namespace

QUrl FolderUrl(const std::string& folder)
{
    QByteArray raw(folder.data(), static_cast<qsizetype>(folder.size()));
    // A root typed as a relative path was scanned from the working folder.
    if (!raw.startsWith('/'))
        raw.prepend(WorkingFolderBytes() + '/');
    // Built from its encoded form: QUrl keeps sequences that are not UTF-8
    // percent-encoded instead of replacing them.
    return QUrl::fromEncoded(QByteArrayLiteral("file://") + raw.toPercentEncoding("/"), QUrl::StrictMode);
}

QByteArray LocalPathBytesOf(const QUrl& url)
{
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
}

}  // namespace tamboro
