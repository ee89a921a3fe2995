// Opening of the supplier exclusion window ("Exclure fournisseurs"): FOURNIS.DB read, both
// lists filled and sorted, 1 supplier in 100 excluded. Offscreen; the target is 0.5 s for
// 5,000 suppliers.
//
//   bench_exclusion [Google Benchmark options]

#include "TablesSiege.h"

#include "core/base/Chemins.h"
#include "core/config/Parametres.h"
#include "gui/Demarrage.h"
#include "gui/Tache.h"
#include "gui/parametres/FicheExclureFnsListe.h"

#include <QApplication>
#include <QEventLoop>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

namespace {

// One program directory per size, written once.
QString programme(int n)
{
    static std::map<int, std::unique_ptr<QTemporaryDir>> dossiers;
    auto &d = dossiers[n];
    if (!d) {
        d = std::make_unique<QTemporaryDir>();
        siege::ecrireFournis(siege::dossierTables(d->path()), siege::fournisseursNombreux(n));
        Parametres p;
        for (int i = 0; i < n; i += 100)
            p.fournisseursExclus << siege::codeFournisseur(i);
        p.enregistrer(d->filePath(QStringLiteral("Halvenor.ini")), Parametres::Exclus);
    }
    return d->path();
}

void OuvertureExclusion(benchmark::State &state)
{
    const int n = static_cast<int>(state.range(0));
    definirChemins(Chemins::depuisRepertoire(programme(n)));
    for (auto _ : state) {
        TFicheExclureFnsListe fiche(nullptr);
        // The suppliers load as a task: the window is usable once it has ended.
        QEventLoop boucle;
        for (Tache *t : fiche.findChildren<Tache *>())
            QObject::connect(t, &Tache::terminee, &boucle, &QEventLoop::quit);
        if (fiche.chargementEnCours())
            boucle.exec();
        benchmark::DoNotOptimize(&fiche);
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(OuvertureExclusion)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    demarrer(app, QDir::tempPath());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
