// Reading one directory's entries at once, relative to an open descriptor of
// its parent, so that trees of any depth can be walked without ever building
// a path longer than one name.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace tamboro {

// An open directory and the entries it held when it was read.
class DirectoryListing {
public:
    struct Entry {
        uint32_t nameOffset;
        uint32_t nameLength;
        unsigned char type;  // d_type as the file system reported it (DT_*)
    };

    DirectoryListing() = default;
    ~DirectoryListing();
    DirectoryListing(const DirectoryListing&) = delete;
    DirectoryListing& operator=(const DirectoryListing&) = delete;
    // Moving hands over the open descriptor; the source is left closed.
    DirectoryListing(DirectoryListing&& other) noexcept;
    DirectoryListing& operator=(DirectoryListing&& other) noexcept;

    // Opens `name` relative to `parentFd` (AT_FDCWD for a plain path),
    // following symbolic links, and reads all its entries except "." and
    // "..", in the order the file system enumerates them. Returns 0, or the
    // errno of the failure; a failed open leaves the listing closed.
    int Open(int parentFd, const char* name);
    // The two halves of Open: opening (the folder's identity and times are
    // known then, no entry yet) and reading the entries. List returns 0,
    // also when a read failed after some entries (Complete() then says
    // false), or the errno of a read that gave none, closing the listing.
    int OpenUnlisted(int parentFd, const char* name);
    // Opens a handle of the folder only (O_PATH): its identity and times,
    // and the base of *at() calls, at about half the cost of an open for
    // reading. List() cannot read it: entries come from AddEntry.
    int OpenHandle(int parentFd, const char* name);
    // Whether this process may open the folder for reading, as Open does
    // (MayRead): asked of a handle, whose open does not tell.
    bool MayList() const;
    int List();
    bool Complete() const { return m_complete; }
    // Adds an entry known from elsewhere (a listing kept from an earlier
    // read of the same folder) instead of reading them.
    void AddEntry(std::string_view name, unsigned char type);
    void Close();

    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    dev_t Device() const { return m_device; }
    ino_t Inode() const { return m_inode; }
    // The folder's modification and change times, in nanoseconds since 1970.
    int64_t ModifiedNs() const { return m_modifiedNs; }
    int64_t ChangedNs() const { return m_changedNs; }

    const std::vector<Entry>& Entries() const { return m_entries; }
    std::string_view NameOf(const Entry& entry) const
    {
        return std::string_view(m_names.data() + entry.nameOffset, entry.nameLength);
    }
    // NUL-terminated, for the *at() calls.
    const char* CNameOf(const Entry& entry) const { return m_names.data() + entry.nameOffset; }

    // True for a directory, or a symbolic link that leads to one.
    bool IsDirectory(const Entry& entry) const;

private:
    int OpenWith(int parentFd, const char* name, int flags);
    int ReadEntries();

    int m_fd = -1;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    int64_t m_modifiedNs = 0;
    int64_t m_changedNs = 0;
    uid_t m_owner = 0;
    mode_t m_mode = 0;
    bool m_complete = false;
    std::vector<Entry> m_entries;
    std::string m_names;  // every name followed by a NUL
};

// A file time in nanoseconds since 1970.
int64_t NanosecondsOf(const timespec& time);

// Raises the soft limit of open descriptors to the hard limit: a walk keeps
// one descriptor open per level of the tree.
void RaiseOpenFileLimit();

// How many more descriptors this process may open: its soft limit less the
// descriptors open now.
int OpenFileRoom();

// Whether `error` says that no descriptor was free (EMFILE, ENFILE): a
// shortage of the process or the system, not a fault of the file.
bool IsOutOfDescriptors(int error);

}  // namespace tamboro
