#include "platform/SharedMemory.h"
#include "platform/Eintr.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tamboro {
namespace {

bool UsesRuntimeDir()
{
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    return dir != nullptr && dir[0] != '\0';
}

std::string ShmName(const std::string& name)
{
    return "/" + name + "-" + std::to_string(static_cast<unsigned long>(geteuid()));
}

int OpenNamed(const std::string& name, bool create)
{
    int flags = O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    if (create)
        flags |= O_CREAT;
    if (UsesRuntimeDir()) {
        const std::string path = std::string(std::getenv("XDG_RUNTIME_DIR")) + "/" + name;
        return RetryOnEintr([&] { return ::open(path.c_str(), flags, 0600); });
    }
    return ::shm_open(ShmName(name).c_str(), flags & ~(O_NONBLOCK | O_NOCTTY), 0600);
}

}  // namespace

SharedMemory::~SharedMemory()
{
    CloseHandle();
    if (m_view != nullptr)
        ::munmap(m_view, m_viewSize);
}

SharedMemory::Result SharedMemory::OpenObject(const std::string& name, bool create, std::size_t size)
{
    if (m_view != nullptr || m_fd >= 0)
        return Result::ObjectFailed;  // one block per object
    const int fd = OpenNamed(name, create);
    if (fd < 0)
        return Result::ObjectFailed;
    struct stat st {};
    // Anything but our own regular file at the name is not our block: another
    // user's object could be used to stop or confuse our searches.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) {
        ::close(fd);
        return Result::ObjectFailed;
    }
    if (static_cast<std::size_t>(st.st_size) < size) {
        if (!create) {
            // Mapping past the end of the object would fault on first access.
            ::close(fd);
            return Result::ViewFailed;
        }
        if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
            ::close(fd);
            return Result::ObjectFailed;
        }
    }
    m_fd = fd;
    return MapView(size);
}

SharedMemory::Result SharedMemory::MapView(std::size_t size)
{
    void* view = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, 0);
    if (view == MAP_FAILED) {
        CloseHandle();
        return Result::ViewFailed;
    }
    m_view = view;
    m_viewSize = size;
    return Result::Ok;
}

SharedMemory::Result SharedMemory::Create(const std::string& name, std::size_t size)
{
    return OpenObject(name, true, size);
}

SharedMemory::Result SharedMemory::Open(const std::string& name, std::size_t size)
{
    return OpenObject(name, false, size);
}

void SharedMemory::ShareHandleOf(const SharedMemory& other)
{
    if (m_fd >= 0 || m_view != nullptr || other.m_fd < 0)
        return;
    m_fd = ::fcntl(other.m_fd, F_DUPFD_CLOEXEC, 0);
}

SharedMemory::Result SharedMemory::Map(std::size_t size)
{
    if (m_fd < 0 || m_view != nullptr)
        return Result::ObjectFailed;
    struct stat st {};
    if (::fstat(m_fd, &st) != 0 || static_cast<std::size_t>(st.st_size) < size) {
        // Cut short since it was reached: mapping past its end would fault.
        CloseHandle();
        return Result::ViewFailed;
    }
    return MapView(size);
}

void SharedMemory::CloseHandle()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

}  // namespace tamboro
