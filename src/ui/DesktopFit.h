#pragma once

class QCoreApplication;
class QWidget;

namespace quorvel {

// Loads Qt's own German texts (file dialog, standard buttons, context menus) into the
// application, whatever the user's locale: the editor speaks German throughout. Looks
// in Qt's translations folder, then in "translations" beside the program (where
// windeployqt puts them). False when they are not installed; Qt's English texts stay.
bool InstallGermanQtTexts(QCoreApplication& app);

// Keeps the window readable under any desktop palette, a dark one included: the path
// field keeps its grey with dark text, and an option that cannot be chosen looks
// clearly fainter than one that can. Follows later changes of the palette.
void KeepReadable(QWidget& window);

}  // namespace quorvel
