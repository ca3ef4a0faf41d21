// A system call that a signal interrupts before it did anything fails with
// EINTR and is simply made again.
#pragma once

#include <cerrno>

namespace tamboro {

// Makes `call` (returning -1 and setting errno on failure) until it does not
// fail with EINTR; returns what the last call returned, errno as it left it.
template <typename Call>
auto RetryOnEintr(Call call) -> decltype(call())
{
    for (;;) {
        const auto result = call();
        if (result != -1 || errno != EINTR)
            return result;
    }
}

}  // namespace tamboro
