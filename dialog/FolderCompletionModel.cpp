#include "dialog/FolderCompletionModel.h"

#include <algorithm>
#include <fcntl.h>

#include "platform/DirectoryReader.h"
#include "platform/TextDecoder.h"

namespace tamboro {

FolderCompletionModel::FolderCompletionModel(QObject* parent) : QAbstractListModel(parent)
{}

void FolderCompletionModel::ListFolder(const QString& folderText, const std::string& folderBytes)
{
    if (m_listed && folderText == m_folderText)
        return;
    std::vector<Folder> folders;
    DirectoryListing listing;
    if (listing.Open(AT_FDCWD, folderBytes.c_str()) == 0) {
        for (const DirectoryListing::Entry& entry : listing.Entries()) {
            const std::string_view name = listing.NameOf(entry);
            if (name.empty() || name[0] == '.' || !listing.IsDirectory(entry))
                continue;
            const QString shown = QString::fromStdU16String(DecodePathToUtf16(name));
            folders.push_back({shown, folderText + shown, folderBytes + std::string(name)});
        }
    }
    std::sort(folders.begin(), folders.end(), [](const Folder& a, const Folder& b) { return a.name < b.name; });
    beginResetModel();
    m_folderText = folderText;
    m_listed = true;
    m_folders = std::move(folders);
    endResetModel();
}

int FolderCompletionModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_folders.size());
}

QVariant FolderCompletionModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    const Folder& folder = m_folders[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return folder.name;
    case Qt::EditRole:
        return folder.text;
    default:
        return QVariant();
    }
}

}  // namespace tamboro
