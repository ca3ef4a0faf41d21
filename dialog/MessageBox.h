// Modal message boxes of the window: text, caption and an OK button, owned
// by the given window.
#pragma once

#include <QString>

class QWidget;

namespace tamboro {

// Runs the box modally on the calling thread (the window's thread).
void ShowMessageBox(QWidget* owner, const QString& caption, const QString& text);

}  // namespace tamboro
