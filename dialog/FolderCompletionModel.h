// The folders the path box offers to complete: the subfolders of the folder
// being typed in, read from its bytes, with names decoded as the list
// decodes folder names, so that folders whose names are not UTF-8 are
// offered too.
#pragma once

#include <QAbstractListModel>
#include <QString>
#include <string>
#include <vector>

namespace tamboro {

class FolderCompletionModel : public QAbstractListModel {
    Q_OBJECT
public:
    struct Folder {
        QString name;       // decoded, shown in the list of completions
        QString text;       // the path box's text with the folder chosen
        std::string bytes;  // the folder's path as bytes
    };

    explicit FolderCompletionModel(QObject* parent = nullptr);

    // Lists the subfolders (hidden ones left out) of the folder the path
    // box names with `folderText`, which ends in "/", and whose bytes are
    // `folderBytes`. An unreadable folder lists nothing.
    void ListFolder(const QString& folderText, const std::string& folderBytes);
    const QString& ListedText() const { return m_folderText; }
    const std::vector<Folder>& Folders() const { return m_folders; }

    // Display: the folder's name; edit (what the completer matches and
    // puts in the box): the path box text with it.
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    QString m_folderText;
    bool m_listed = false;
    std::vector<Folder> m_folders;
};

}  // namespace tamboro
