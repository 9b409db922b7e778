#pragma once
// What every process that shows the Velmora window sets up right after its
// QApplication exists: the C numeric locale, the names QSettings files the
// recent list under, the icon, and the texts of the language chosen
// (platform/Language.h).
//
// Thread contract: UI thread, once, before any window is created.

class QApplication;
class QTranslator;

namespace velmora {

// False when Qt's Japanese texts are not installed; the standard dialogs then
// speak English and everything else still works.
bool PrepareApplication(QApplication& app);

// The translations of the language chosen: Qt's Japanese texts for
// Japanese; for English the default locale made English. Same result as
// PrepareApplication.
bool InstallTranslations(QApplication& app);

// Loads Qt's Japanese translations (file, print and message dialogs, button
// boxes) into the application. The translator is the application's child;
// null when the translations are not installed.
QTranslator* InstallQtTranslations(QApplication& app);

} // namespace velmora
