#pragma once
// What every process that shows the Velmora window sets up right after its
// QApplication exists: the C numeric locale, the names QSettings files the
// recent list under, the icon, and Qt's own texts in Japanese.
//
// Thread contract: UI thread, once, before any window is created.

class QApplication;
class QTranslator;

namespace velmora {

// False when Qt's Japanese texts are not installed; the standard dialogs then
// speak English and everything else still works.
bool PrepareApplication(QApplication& app);

// Loads Qt's Japanese translations (file, print and message dialogs, button
// boxes) into the application. The translator is the application's child;
// null when the translations are not installed.
QTranslator* InstallQtTranslations(QApplication& app);

} // namespace velmora
