// Why a table could not be read, as a kind and its number: what a reader
// that cannot show the line of TableResult::Error() (the window, in its own
// language) tells the player.
#pragma once

#include <cstdint>

namespace tamboro {

struct TableFailure {
    enum class Kind : uint8_t {
        Other,             // none of the kinds below
        Stopped,           // the reading was ended
        NoHttpClient,      // libcurl cannot be loaded
        NotAnAddress,      // neither http, https nor a file address of this host
        HostNotFound,      // the server's name does not resolve
        CannotConnect,     // no connection to the server
        SecureConnection,  // the TLS handshake or the server's certificate
        TimedOut,          // no whole answer within the time allowed
        Network,           // the connection failed during the transfer
        HttpStatus,        // number: the status
        TooManyRedirects,  // number: the redirects allowed
        TooLarge,          // number: the bytes allowed
        FileError,         // number: the errno of opening or reading the file
        NotAFile,          // a local path that is no regular file
        WebNamesLocal,     // a table on the web names a file address
        NotATable,         // bytes that are no table's page, header or data
    };
    Kind kind = Kind::Other;
    long long number = 0;
};

}  // namespace tamboro
