#include "app/Chemins.h"
#include "app/Erreurs.h"
#include "app/FicheHalvenor.h"
#include "app/StyleGui.h"
#include "ui/Dialogues.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <curl/curl.h>
#include <libxml/parser.h>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // The shared paths come first: everything else is laid out around the program's directory.
    definirChemins(Chemins::depuisRepertoire(QCoreApplication::applicationDirPath()));
    QApplication::setApplicationName(QStringLiteral("Halvenor"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/halvenor.svg")));
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    curl_global_init(CURL_GLOBAL_DEFAULT);
    xmlInitParser();

    QTranslator traductionQt;
    if (traductionQt.load(QLocale(QLocale::French), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&traductionQt);

    try {
        appliquerStyle(app, QStringLiteral("Smokey Quartz Kamri"));
    } catch (const std::exception &e) {
        dialogues().erreur(nullptr, texteErreur(e));
    }

    int code = 0;
    try {
        TFicheHalvenor FicheHalvenor;
        FicheHalvenor.show();
        code = QApplication::exec();
    } catch (const std::exception &e) {
        dialogues().erreur(nullptr, texteErreur(e));
        code = 1;
    }
    curl_global_cleanup();
    return code;
}
