#include "gui/Demarrage.h"

#include "core/base/Chemins.h"
#include "core/base/Erreurs.h"
#include "gui/Dialogues.h"
#include "gui/Style.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

void demarrer(QApplication &app, const QString &repertoireProgramme)
{
    // The shared paths come first: everything else is laid out around the program's directory.
    definirChemins(Chemins::depuisRepertoire(repertoireProgramme));
    QApplication::setApplicationName(QStringLiteral("Halvenor"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/halvenor.svg")));
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));

    static QTranslator traductionQt;
    if (traductionQt.isEmpty()
        && traductionQt.load(QLocale(QLocale::French), QStringLiteral("qtbase"), QStringLiteral("_"),
                             QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&traductionQt);

    try {
        appliquerStyle(app, QStringLiteral("Smokey Quartz Kamri"));
    } catch (const std::exception &e) {
        dialogues().erreur(nullptr, texteErreur(e));
    }
}
