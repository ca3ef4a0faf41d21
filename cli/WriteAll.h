// Writing a whole buffer to a descriptor, however the writes split it.
#pragma once

#include <cerrno>
#include <string>
#include <unistd.h>

#include "platform/Eintr.h"

namespace tamboro {

// Writes all of `data`; returns 0, or the error of the write that failed.
inline int WriteAll(int fd, const std::string& data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = RetryOnEintr([&] { return ::write(fd, data.data() + done, data.size() - done); });
        if (n < 0)
            return errno;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

}  // namespace tamboro
