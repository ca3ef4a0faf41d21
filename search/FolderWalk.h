// The walk under every scan: depth first from a root folder. In each folder
// the subfolders (and links that lead to folders) are walked first, each
// completely, in the order the file system lists them; then the folder
// itself is finished. A stop is tested before each folder is entered, and a
// link back to a folder being walked is not entered again.
#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace tamboro {

class ChartIndex;
class DirectoryListing;

class FolderVisitor {
public:
    virtual ~FolderVisitor() = default;
    // Asked before each folder is opened; true leaves it (and all below it)
    // out.
    virtual bool StopRequested() = 0;
    // The folder `path` (ending in "/") was opened and will be walked.
    virtual void Entered(const std::string& path) = 0;
    // Its subfolders are done. `listing` is still open; the visitor may move
    // it away.
    virtual void Finished(DirectoryListing& listing, const std::string& path) = 0;
    // The folder `path` (ending in "/") below the root could not be read
    // (`error`); it is passed over. A link back to a folder being walked is
    // not reported: it is left out on purpose.
    virtual void Unreadable(const std::string& path, int error)
    {
        (void)path;
        (void)error;
    }
    // No descriptor was free to open a folder. A visitor that could close
    // some of its own does so and returns true: the open is tried once more.
    virtual bool FreeDescriptors() { return false; }
};

class FolderWalk {
public:
    static constexpr int kMaxDepth = 8192;

    // With an index, a folder it knows unchanged is not listed again.
    explicit FolderWalk(FolderVisitor& visitor, ChartIndex* index = nullptr) : m_visitor(visitor), m_index(index) {}

    // Walks the tree below `root`. Returns 0, or the errno that made the
    // root unreadable (ENOENT for an empty path): nothing is visited then.
    // A folder that cannot be read is reported to the visitor and passed
    // over, unless no descriptor is
    // free to open it: then the walk ends at once, with no more folders
    // entered or finished, and returns EMFILE or ENFILE.
    int Run(const std::string& root);

private:
    // Walks the folder `name` (relative to `parentFd`) whose path is `path`,
    // which ends in "/". Returns 0 or the errno of a folder that could not
    // be read; EMFILE or ENFILE from anywhere below.
    int Walk(int parentFd, const char* name, std::string& path);
    bool IsAncestor(dev_t device, ino_t inode) const;
    // Opens the folder and takes its entries from the index or the file
    // system; as DirectoryListing::Open.
    int OpenListing(DirectoryListing& listing, int parentFd, const char* name, const std::string& path);

    FolderVisitor& m_visitor;
    ChartIndex* const m_index;
    std::vector<std::pair<dev_t, ino_t>> m_ancestors;
};

}  // namespace tamboro
