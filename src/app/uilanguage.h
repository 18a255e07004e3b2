#pragma once

class QCoreApplication;

namespace velmar
{

// Loads Qt's own Japanese texts (dialog buttons, file dialogs, context
// menus) into the application, whatever the user's locale, so that the
// whole program speaks one language. False when they are not installed;
// the program then runs with Qt's English texts.
bool installJapaneseQtTexts(QCoreApplication &app);

} // namespace velmar
