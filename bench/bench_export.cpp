// Purchase-conditions export on a large REMISES.DB.
//
//   bench_export                       Google Benchmark runs of the generator, in process
//   bench_export --tables DIR N F X    writes the program directory DIR for halvenor-cli:
//                                      N conditions, F suppliers, X excluded codes, with
//                                      Remise_Achat enabled (used by bench_export.sh)

#include "TablesSiege.h"

#include "core/base/Chemins.h"
#include "core/config/IniFile.h"
#include "core/export/Generateurs.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>

namespace {

// Two characters over [0-9A-Za-z]: 3844 distinct codes, compared exactly.
using siege::codeFournisseur;

// A program directory with N conditions spread over F suppliers (plus some unknown codes),
// X of the suppliers excluded; about a third of the conditions pass every filter.
void ecrireProgramme(const QString &repertoire, int n, int f, int x)
{
    const QString dossier = siege::dossierTables(repertoire);
    QList<std::pair<QString, QString>> fournisseurs;
    for (int i = 0; i < f; ++i)
        fournisseurs.append({codeFournisseur(i), QStringLiteral("Fournisseur ") + QString::number(i)});
    siege::ecrireFournis(dossier, fournisseurs);

    const QDate debut(2013, 1, 1);
    QList<QList<QVariant>> lignes;
    lignes.reserve(n);
    for (int i = 0; i < n; ++i) {
        siege::Remise r;
        r.fournisseur = codeFournisseur(i % (f + f / 20 + 1)); // some codes are not suppliers
        r.client = i % 5 == 0 ? QStringLiteral("C%1").arg(i % 9999, 5, 10, QLatin1Char('0')) : QString();
        r.type = 1 + i % 3;
        r.famille = QStringLiteral("%1").arg(i % 97, 2, 10, QLatin1Char('0'));
        r.modele = QStringLiteral("M") + QChar::fromLatin1(char('A' + i % 26));
        r.taux = (i % 400) / 8.0;
        r.dateDebut = debut.addDays(i % 365);
        r.libelle = QStringLiteral("Remise n\u00b0 %1 \u00e0 l'achat").arg(i);
        if (i % 50 == 0)
            r.observation = QStringLiteral("Condition n\u00e9goci\u00e9e\r\nvalable jusqu'\u00e0 nouvel ordre");
        lignes << siege::valeurs(r);
    }
    paradox::test::ecrireTable(dossier + QStringLiteral("REMISES.DB"), siege::colonnesRemises(), lignes);

    IniFile ini(repertoire + QStringLiteral("/Halvenor.ini"));
    ini.writeBool(QStringLiteral("Halvenor"), QStringLiteral("Remise_Achat"), true);
    for (int i = 0; i < x; ++i)
        ini.writeString(QStringLiteral("Halvenor_FNS_Exclu"), QStringLiteral("Fournisseur") + QString::number(i),
                        codeFournisseur(i * (f / qMax(x, 1))));
}

void BM_GenererRemise(benchmark::State &state)
{
    QTemporaryDir temp;
    ecrireProgramme(temp.path(), int(state.range(0)), 2000, 50);
    definirChemins(Chemins::depuisRepertoire(temp.path()));
    QDir().mkpath(chemins().RepertoirePreparer);
    TablesHalvenor tables(chemins().RepertoireProgramme);
    for (auto _ : state) {
        ProgressionMuette progression;
        generer(Genre::Remise, tables, progression);
        benchmark::DoNotOptimize(progression.position());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_GenererRemise)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 6 && std::strcmp(argv[1], "--tables") == 0) {
        ecrireProgramme(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
