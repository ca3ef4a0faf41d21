// Opening a web page a difficulty table names. Table entries come from the
// internet: only http and https addresses go to the browser, never file: or
// any other scheme a desktop would hand to some local program.
#pragma once

#include <QUrl>
#include <string>

namespace tamboro {

// The address as a URL when it is an absolute http or https one with a
// host; else an empty URL.
QUrl WebPageUrl(const std::string& address);

// Opens `address` in the browser when WebPageUrl accepts it; false when it
// does not, or nothing could be started to open it.
bool OpenWebPage(const std::string& address);

}  // namespace tamboro
