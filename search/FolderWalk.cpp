#include "search/FolderWalk.h"

#include <cerrno>
#include <fcntl.h>

#include "platform/DirectoryReader.h"
#include "search/ChartIndex.h"

namespace tamboro {

int FolderWalk::Run(const std::string& root)
{
    if (root.empty())
        return ENOENT;
    std::string path = root;
    // '/' is never part of a multibyte character in UTF-8 or Shift-JIS, so
    // the last byte tells whether the separator is there.
    if (path.back() != '/')
        path += '/';
    return Walk(AT_FDCWD, root.c_str(), path);
}

bool FolderWalk::IsAncestor(dev_t device, ino_t inode) const
{
    for (const auto& [dev, ino] : m_ancestors) {
        if (dev == device && ino == inode)
            return true;
    }
    return false;
}

int FolderWalk::OpenListing(DirectoryListing& listing, int parentFd, const char* name, const std::string& path)
{
    if (m_index == nullptr)
        return listing.Open(parentFd, name);
    // A folder whose listing is kept is most likely unchanged: a handle is
    // enough to tell, and to look at its charts, once it is clear that this
    // user may read the folder (a handle needs no permission to read it).
    // When it did change, or may not be read, it is opened again as a plain
    // scan opens it.
    if (m_index->HasListing(path) && listing.OpenHandle(parentFd, name) == 0 && listing.MayList() &&
        m_index->FindListing(path, listing))
        return 0;
    if (const int error = listing.OpenUnlisted(parentFd, name))
        return error;
    if (m_index->FindListing(path, listing))
        return 0;
    const int error = listing.List();
    if (error == 0 && listing.Complete())
        m_index->RecordListing(path, listing);
    return error;
}

int FolderWalk::Walk(int parentFd, const char* name, std::string& path)
{
    if (m_visitor.StopRequested())
        return 0;
    if (m_ancestors.size() >= static_cast<std::size_t>(kMaxDepth)) {
        m_visitor.Unreadable(path, ELOOP);
        return ELOOP;
    }
    DirectoryListing listing;
    int error = OpenListing(listing, parentFd, name, path);
    if (IsOutOfDescriptors(error) && m_visitor.FreeDescriptors())
        error = OpenListing(listing, parentFd, name, path);
    if (error != 0) {
        if (!m_ancestors.empty() && !IsOutOfDescriptors(error))
            m_visitor.Unreadable(path, error);
        return error;
    }
    // A link back to this folder or to one above it would lead to an
    // endless descent: such a folder is not entered again.
    if (IsAncestor(listing.Device(), listing.Inode()))
        return ELOOP;
    m_visitor.Entered(path);
    m_ancestors.emplace_back(listing.Device(), listing.Inode());

    const std::size_t pathLength = path.size();
    for (const auto& entry : listing.Entries()) {
        if (!listing.IsDirectory(entry))
            continue;
        path.append(listing.NameOf(entry));
        path += '/';
        error = Walk(listing.Fd(), listing.CNameOf(entry), path);
        path.resize(pathLength);
        // Passing over a folder for want of a descriptor would lose its
        // charts without a word: the walk ends instead.
        if (IsOutOfDescriptors(error)) {
            m_ancestors.pop_back();
            return error;
        }
    }
    m_ancestors.pop_back();
    m_visitor.Finished(listing, path);
    return 0;
}

}  // namespace tamboro
