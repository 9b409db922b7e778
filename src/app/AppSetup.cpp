#include "app/AppSetup.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <clocale>

#include "app/AppIcon.h"
#include "platform/Language.h"

namespace velmora {

QTranslator* InstallQtTranslations(QApplication& app)
{
    // The program is Japanese whatever the desktop's language: the standard
    // dialogs follow the program, not the environment, dates in the file
    // chooser included. (Numbers never go through QLocale: the program
    // formats and reads them itself, with a decimal point.)
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    auto* translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return nullptr;
    }
    QCoreApplication::installTranslator(translator);
    return translator;
}

bool InstallTranslations(QApplication& app)
{
    if (CurrentLanguage() == Language::Japanese)
        return InstallQtTranslations(app) != nullptr;
    // Qt's own texts are English already; the widgets' are built in.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    auto* translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral(":/i18n/velmora_en.qm"))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}

bool PrepareApplication(QApplication& app)
{
    // Qt takes the whole locale from the environment; numbers in files, on the
    // wire and in the value fields always use a decimal point.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setOrganizationName(QStringLiteral("Hovelt"));
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION));
    QApplication::setWindowIcon(AppIcon());
    return InstallTranslations(app);
}

} // namespace velmora
