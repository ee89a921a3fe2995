// The main window's "Générer" of the purchase conditions, on the real window offscreen:
// the action's time (click to result shown), the longest gap between two passes of the GUI
// thread's event loop while the task runs, peak memory.
//
//   QT_QPA_PLATFORM=offscreen bench_fenetre DIR   (DIR: a program directory written by
//                                                   bench_export --tables)

#include "gui/Demarrage.h"
#include "gui/Tache.h"
#include "gui/principale/FicheHalvenor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>

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

    // A 1 ms timer on the GUI thread: the longest gap between its ticks is the longest time the
    // thread could not answer the user (an idle event loop makes no passes to count).
    QElapsedTimer horloge;
    qint64 dernier = 0;
    qint64 plusLongue = 0;
    qint64 finPlusLongue = 0; // when it ended, from the click
    int passes = 0;
    QTimer tic;
    tic.setTimerType(Qt::PreciseTimer);
    tic.setInterval(1);
    QObject::connect(&tic, &QTimer::timeout, [&] {
        const qint64 t = horloge.nsecsElapsed();
        if (t - dernier > plusLongue) {
            plusLongue = t - dernier;
            finPlusLongue = t;
        }
        dernier = t;
        ++passes;
    });
    QEventLoop boucle;
    QObject::connect(&fenetre.tache(), &Tache::terminee, &boucle, &QEventLoop::quit);
    horloge.start();
    tic.start();
    bouton->click();
    boucle.exec();
    const qint64 fin = horloge.nsecsElapsed();
    tic.stop();
    if (fin - dernier > plusLongue) {
        plusLongue = fin - dernier;
        finPlusLongue = fin;
    }

    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    std::printf("action %.3f s, %d ticks of a 1 ms timer, longest gap %.1f ms (ending at %.3f s), peak RSS %ld MB\n",
                double(fin) / 1e9, passes, double(plusLongue) / 1e6, double(finPlusLongue) / 1e9,
                r.ru_maxrss / 1024);
    return 0;
}
