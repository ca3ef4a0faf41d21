#include "platform/DirectoryReader.h"
#include "platform/Eintr.h"
#include "platform/ReadAccess.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tamboro {
namespace {

constexpr std::size_t kDentBufferSize = 32 * 1024;
constexpr rlim_t kAssumedOpenFiles = 64;

bool IsDotOrDotDot(const char* name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

}  // namespace

int64_t NanosecondsOf(const timespec& time)
{
    return static_cast<int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

DirectoryListing::~DirectoryListing()
{
    Close();
}

DirectoryListing::DirectoryListing(DirectoryListing&& other) noexcept
{
    *this = std::move(other);
}

DirectoryListing& DirectoryListing::operator=(DirectoryListing&& other) noexcept
{
    if (this != &other) {
        Close();
        m_fd = std::exchange(other.m_fd, -1);
        m_device = other.m_device;
        m_inode = other.m_inode;
        m_modifiedNs = other.m_modifiedNs;
        m_changedNs = other.m_changedNs;
        m_owner = other.m_owner;
        m_mode = other.m_mode;
        m_complete = other.m_complete;
        m_entries = std::move(other.m_entries);
        m_names = std::move(other.m_names);
        other.m_entries.clear();
        other.m_names.clear();
    }
    return *this;
}

void DirectoryListing::Close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

int DirectoryListing::Open(int parentFd, const char* name)
{
    const int error = OpenUnlisted(parentFd, name);
    return error != 0 ? error : List();
}

int DirectoryListing::OpenUnlisted(int parentFd, const char* name)
{
    return OpenWith(parentFd, name, O_RDONLY | O_NONBLOCK);
}

int DirectoryListing::OpenHandle(int parentFd, const char* name)
{
    return OpenWith(parentFd, name, O_PATH);
}

int DirectoryListing::OpenWith(int parentFd, const char* name, int flags)
{
    Close();
    m_entries.clear();
    m_names.clear();
    m_complete = false;
    const int fd = RetryOnEintr([&] { return ::openat(parentFd, name, flags | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0)
        return errno;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    m_fd = fd;
    m_device = st.st_dev;
    m_inode = st.st_ino;
    m_modifiedNs = NanosecondsOf(st.st_mtim);
    m_changedNs = NanosecondsOf(st.st_ctim);
    m_owner = st.st_uid;
    m_mode = st.st_mode;
    return 0;
}

bool DirectoryListing::MayList() const
{
    return m_fd >= 0 && MayRead(m_fd, "", m_owner, m_mode);
}

int DirectoryListing::List()
{
    const int error = ReadEntries();
    m_complete = error == 0;
    if (error != 0 && m_entries.empty()) {
        Close();
        return error;
    }
    return 0;
}

void DirectoryListing::AddEntry(std::string_view name, unsigned char type)
{
    m_entries.push_back(Entry{static_cast<uint32_t>(m_names.size()), static_cast<uint32_t>(name.size()), type});
    m_names.append(name);
    m_names += '\0';
}

int DirectoryListing::ReadEntries()
{
    // One buffer per thread: listings live on every level of a deep walk,
    // the raw buffer is needed only while one of them is being read.
    thread_local std::vector<char> buffer(kDentBufferSize);
    for (;;) {
        const ssize_t got = RetryOnEintr([&] { return ::getdents64(m_fd, buffer.data(), buffer.size()); });
        if (got == 0)
            return 0;
        if (got < 0)
            return errno;
        for (ssize_t off = 0; off < got;) {
            const auto* dent = reinterpret_cast<const struct dirent64*>(buffer.data() + off);
            off += dent->d_reclen;
            if (IsDotOrDotDot(dent->d_name))
                continue;
            const std::size_t len = std::char_traits<char>::length(dent->d_name);
            m_entries.push_back(Entry{static_cast<uint32_t>(m_names.size()), static_cast<uint32_t>(len), dent->d_type});
            m_names.append(dent->d_name, len + 1);
        }
    }
}

bool DirectoryListing::IsDirectory(const Entry& entry) const
{
    if (entry.type == DT_DIR)
        return true;
    if (entry.type != DT_LNK && entry.type != DT_UNKNOWN)
        return false;
    struct stat st {};
    return ::fstatat(m_fd, CNameOf(entry), &st, 0) == 0 && S_ISDIR(st.st_mode);
}

void RaiseOpenFileLimit()
{
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

int OpenFileRoom()
{
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    // Without /proc the descriptors cannot be counted: a process that has
    // not opened many is assumed.
    rlim_t used = kAssumedOpenFiles;
    DirectoryListing open;
    if (open.Open(AT_FDCWD, "/proc/self/fd") == 0 && !open.Entries().empty())
        used = open.Entries().size() - 1;  // less the listing's own
    const rlim_t soft = limit.rlim_cur == RLIM_INFINITY ? INT_MAX : limit.rlim_cur;
    return soft > used ? static_cast<int>(std::min<rlim_t>(soft - used, INT_MAX)) : 0;
}

bool IsOutOfDescriptors(int error)
{
    return error == EMFILE || error == ENFILE;
}

}  // namespace tamboro
