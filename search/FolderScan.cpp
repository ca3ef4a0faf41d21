#include "search/FolderScan.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>

#include "platform/DirectoryReader.h"

namespace tamboro {

std::string FormatTitle(int32_t count, const std::string& folder)
{
    return "Tamboro - " + std::to_string(count) + " [" + folder + "]";
}

FolderScan::FolderScan(ScanSink& sink, StateWord state, int64_t rowLimit)
    : m_sink(sink), m_state(state), m_rowLimit(rowLimit)
{
}

int FolderScan::Run(const std::string& root)
{
    if (root.empty())
        return ENOENT;
    std::string path = root;
    // '/' is never part of a multibyte character in UTF-8 or Shift-JIS, so
    // the last byte tells whether the separator is there.
    if (path.back() != '/')
        path += '/';
    return ScanFolder(AT_FDCWD, root.c_str(), path);
}

bool FolderScan::IsAncestor(dev_t device, ino_t inode) const
{
    for (const auto& [dev, ino] : m_ancestors) {
        if (dev == device && ino == inode)
            return true;
    }
    return false;
}

bool FolderScan::StopAskedFor() const
{
    return (m_state.IsValid() && m_state.Load() == SS_STOP) || (m_stop != nullptr && m_stop->load());
}

int FolderScan::ScanFolder(int parentFd, const char* name, std::string& path)
{
    if (StopAskedFor())
        return 0;
    if (m_ancestors.size() >= static_cast<std::size_t>(kMaxDepth))
        return ELOOP;
    DirectoryListing listing;
    if (const int error = listing.Open(parentFd, name); error != 0)
        return error;
    // A link back to this folder or to one above it would lead to an
    // endless descent: such a folder is not entered again.
    if (IsAncestor(listing.Device(), listing.Inode()))
        return ELOOP;
    m_sink.FolderEntered(path);
    m_ancestors.emplace_back(listing.Device(), listing.Inode());

    const std::size_t pathLength = path.size();
    for (const auto& entry : listing.Entries()) {
        if (!listing.IsDirectory(entry))
            continue;
        path.append(listing.NameOf(entry));
        path += '/';
        ScanFolder(listing.Fd(), listing.CNameOf(entry), path);
        path.resize(pathLength);
    }
    m_ancestors.pop_back();

    if (m_rowLimit < 0 || m_nCount < m_rowLimit)
        ChartPass(listing.Fd(), listing, path);
    m_sink.SetTitle(FormatTitle(m_nCount, path));
    return 0;
}

void FolderScan::ChartPass(int dirFd, const DirectoryListing& listing, const std::string& path)
{
    m_batch.clear();
    for (const auto& entry : listing.Entries()) {
        if (!IsChartName(listing.NameOf(entry)))
            continue;
        m_reader.ReadHeaders(dirFd, listing.CNameOf(entry), m_tags, entry.type == DT_REG);
        ChartRow& row = m_batch.emplace_back();
        row.folder = path;
        row.genre = m_tags[1].value;
        row.title = m_tags[2].value;
        row.artist = m_tags[3].value;
        row.index = static_cast<uint32_t>(m_nCount);
        row.key = MakeRowKey(row.index, row.index);
        ++m_nCount;
    }
    if (!m_batch.empty())
        m_sink.AddRows(m_batch);
}

}  // namespace tamboro
