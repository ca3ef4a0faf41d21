#include "dialog/OpenFolder.h"

#include <QCoreApplication>
#include <QDesktopServices>

#include "dialog/FolderUrl.h"
#include "dialog/MessageBox.h"
#include "platform/TextDecoder.h"

namespace tamboro {

void OpenFolder(QWidget& window, const std::string& folder)
{
    const QUrl url = FolderUrl(folder);
    // False when no launcher could be started (no xdg-open, nor any of the
    // programs Qt falls back to): say so rather than nothing.
    if (QDesktopServices::openUrl(url))
        return;
    const QString shown = QString::fromStdU16String(DecodePathToUtf16(LocalPathBytesOf(url).toStdString()));
    ShowMessageBox(&window, QCoreApplication::translate("tamboro::ListActions", "エラー"),
                   QCoreApplication::translate("tamboro::ListActions",
                                               "フォルダを開けませんでした。\n%1\n\nフォルダを開くプログラム "
                                               "(xdg-open など) が見つかりません。")
                       .arg(shown));
}

}  // namespace tamboro
