#include "dialog/DroppedPaths.h"

#include <QMimeData>
#include <QUrl>
#include <new>

namespace tamboro {

std::vector<std::string> LocalPathBytes(const QMimeData* drop)
{
    std::vector<std::string> paths;
    if (drop == nullptr || !drop->hasUrls())
        return paths;
    for (const QUrl& url : drop->urls()) {
        if (!url.isLocalFile())
            continue;
        const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        if (!bytes.isEmpty())
            paths.emplace_back(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }
    return paths;
}

std::unique_ptr<char[]> AllocateZeroed(std::size_t wanted, std::size_t& obtained)
{
    // No exception: the drop handler reports a short block in a message box
    // and the window goes on.
    std::unique_ptr<char[]> block(new (std::nothrow) char[wanted]());
    obtained = block ? wanted : 0;
    return block;
}

}  // namespace tamboro
