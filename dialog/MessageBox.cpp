#include "dialog/MessageBox.h"

#include <QMessageBox>

namespace tamboro {

void ShowMessageBox(QWidget* owner, const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, owner);
    box.setObjectName(QStringLiteral("TamboroMessageBox"));
    box.exec();
}

}  // namespace tamboro
