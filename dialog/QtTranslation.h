// Qt's own texts in the window (the buttons of message boxes and dialogs,
// the file and folder choosers, the menus of text boxes) in the language of
// the locale, from the translations installed with Qt (qtbase_ja.qm, Debian
// package qt6-translations-l10n). The window's own texts are Japanese
// whatever the locale and are not touched.
#pragma once

#include <QString>

class QCoreApplication;
class QLocale;

namespace tamboro {

// Installs Qt's translation for `locale` from `folder` in `app`. False,
// with nothing changed, when the folder holds none for the locale (English
// texts then, as without translations).
bool TranslateQtTexts(QCoreApplication& app, const QLocale& locale, const QString& folder);

// The folder Qt's translations are installed in.
QString QtTranslationsFolder();

}  // namespace tamboro
