// The file:// URL of a chart folder, made from the folder's bytes as found,
// so that a file manager opens the very folder whatever its names' charset
// (raw Shift-JIS names are not valid UTF-8 and have no text form).
#pragma once

#include <QByteArray>
#include <QUrl>
#include <string>

namespace tamboro {

// A relative folder is taken from the working folder. Every byte outside the URL's unreserved set (except "/") is
// percent-encoded; the URL's path, percent-decoded, gives `folder` back.
QUrl FolderUrl(const std::string& folder);

// The bytes of a local file URL's path, percent-decoded.
QByteArray LocalPathBytesOf(const QUrl& url);

}  // namespace tamboro
