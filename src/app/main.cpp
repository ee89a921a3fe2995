#include "core/base/Erreurs.h"
#include "gui/Demarrage.h"
#include "gui/Dialogues.h"
#include "gui/principale/FicheHalvenor.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    demarrer(app, QCoreApplication::applicationDirPath());
    try {
        TFicheHalvenor FicheHalvenor;
        FicheHalvenor.show();
        return QApplication::exec();
    } catch (const std::exception &e) {
        dialogues().erreur(nullptr, texteErreur(e));
        return 1;
    }
}
