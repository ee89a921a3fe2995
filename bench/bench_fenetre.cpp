// The main window's "Générer" of the purchase conditions, on the real window offscreen:
// the action's time, the longest gap between two passes of the event loop, peak memory.
//
//   QT_QPA_PLATFORM=offscreen bench_fenetre DIR   (DIR: a program directory written by
//                                                   bench_export --tables)

#include "gui/Demarrage.h"
#include "gui/principale/FicheHalvenor.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_fenetre REPERTOIRE_PROGRAMME\n");
        return 2;
    }
    QApplication app(argc, argv);
    demarrer(app, QString::fromLocal8Bit(argv[1]));
    TFicheHalvenor fenetre;
    fenetre.show();
    QCoreApplication::processEvents();
    auto *bouton = fenetre.findChild<QPushButton *>(QStringLiteral("btnGenererRA"));
    if (!bouton || !bouton->isEnabled()) {
        std::fprintf(stderr, "btnGenererRA absent or disabled (Remise_Achat=1 in Halvenor.ini?)\n");
        return 1;
    }

    QElapsedTimer horloge;
    qint64 dernier = -1;
    qint64 plusLongue = 0;
    qint64 finPlusLongue = 0; // when it ended, from the click
    int passes = 0;
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, [&] {
        if (dernier < 0)
            return;
        const qint64 t = horloge.nsecsElapsed();
        if (t - dernier > plusLongue) {
            plusLongue = t - dernier;
            finPlusLongue = t;
        }
        dernier = t;
        ++passes;
    });
    horloge.start();
    dernier = 0;
    bouton->click();
    const qint64 fin = horloge.nsecsElapsed();
    if (fin - dernier > plusLongue) {
        plusLongue = fin - dernier;
        finPlusLongue = fin;
    }
    dernier = -1;

    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    std::printf("action %.3f s, %d passes of the event loop, longest gap %.1f ms (ending at %.3f s), peak RSS %ld MB\n",
                double(fin) / 1e9, passes, double(plusLongue) / 1e6, double(finPlusLongue) / 1e9,
                r.ru_maxrss / 1024);
    return 0;
}
