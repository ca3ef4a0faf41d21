// Whether this process may open a file or folder for reading, as an open for
// reading would decide, without opening it: what a look through an index
// asks before it takes what was kept of something a plain scan reads.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace tamboro {

// `name` relative to `dirFd` ("" for `dirFd` itself, which may be a handle
// opened with O_PATH), whose owner and mode a look (stat) found. The owner
// is answered by the owner's read bit, as the kernel decides for the owner
// before access lists, groups or privileges, without a call; anyone else
// by the kernel's own check with the effective ids (faccessat). The user
// is taken once per process: Tamboro never changes its ids.
inline bool MayRead(int dirFd, const char* name, uid_t owner, mode_t mode)
{
    static const uid_t self = ::geteuid();
    if (owner == self && (mode & S_IRUSR) != 0)
        return true;
    const int flags = AT_EACCESS | (name[0] == '\0' ? AT_EMPTY_PATH : 0);
    return ::faccessat(dirFd, name, R_OK, flags) == 0;
}

}  // namespace tamboro
