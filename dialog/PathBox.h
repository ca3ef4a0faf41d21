// The path box's behaviour: the bytes its text names (folder names are
// bytes, shown decoded), a leading "~", pasting a path the window or a file
// manager copied, and completing folder names as they are typed.
#pragma once

#include <QObject>
#include <QString>
#include <string>

#include "dialog/PathText.h"

class QAbstractButton;
class QLineEdit;

namespace tamboro {

class FolderCompletionModel;

class PathBox : public QObject {
    Q_OBJECT
public:
    // Works on `edit`; Enter in the list of completions with no folder
    // picked clicks `search` as Enter in the box does.
    PathBox(QLineEdit& edit, QAbstractButton& search, QObject* parent = nullptr);

    // The path a search of the box's current text would scan, as bytes.
    std::string PathBytes() const;
    // Shows `bytes` decoded, keeping the bytes they stand for.
    void SetPathFromBytes(const std::string& bytes);

protected:
    // The box's paste key and context menu.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The bytes a box text names: a decoded text the window showed (drop,
    // paste, completion) gives the bytes it stands for, a copied form
    // (file:// URL, shell word) its bytes, a leading "~" the home folder;
    // other text is its UTF-8.
    std::string PathBytesOf(const QString& text) const;
    // Ctrl+V and the box menu's Paste: a path from the clipboard's URL (what
    // the window copies, what file managers copy) or in a copied form
    // replaces the box's text, shown decoded, with its bytes kept; other
    // text is pasted as text.
    void PastePath();
    void EnableCompletion(QAbstractButton& search);

    QLineEdit& m_edit;
    KnownPaths m_knownPaths;  // decoded path texts the window showed, with their bytes
    FolderCompletionModel* m_folderCompletion = nullptr;
};

}  // namespace tamboro
