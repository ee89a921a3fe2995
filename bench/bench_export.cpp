// Purchase-conditions export on a large REMISES.DB.
//
//   bench_export                       Google Benchmark runs of the generator, in process
//   bench_export --tables DIR N F X    writes the program directory DIR for halvenor-cli:
//                                      N conditions, F suppliers, X excluded codes, with
//                                      Remise_Achat enabled (used by bench_export.sh)

#include "ParadoxWriter.h"
#include "TablesSiege.h"

#include "core/base/Chemins.h"
#include "core/config/IniFile.h"
#include "core/export/Generateurs.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Two characters over [0-9A-Za-z]: 3844 distinct codes, compared exactly.
using siege::codeFournisseur;

// REMISES.DB shaped like the head office's: 13 fields.
QList<paradox::test::Colonne> colonnesRemises()
{
    using paradox::TypeChamp;
    return {{QStringLiteral("Client"), TypeChamp::Alpha, 6},      {QStringLiteral("Fournisseur"), TypeChamp::Alpha, 2},
            {QStringLiteral("Type"), TypeChamp::Short},           {QStringLiteral("Famille"), TypeChamp::Alpha, 2},
            {QStringLiteral("Modele"), TypeChamp::Alpha, 2},      {QStringLiteral("Produit"), TypeChamp::Alpha, 6},
            {QStringLiteral("Remise"), TypeChamp::Number},        {QStringLiteral("PrixNet"), TypeChamp::Currency},
            {QStringLiteral("DateDebut"), TypeChamp::Date},       {QStringLiteral("DateFin"), TypeChamp::Date},
            {QStringLiteral("Actif"), TypeChamp::Logical},        {QStringLiteral("Libelle"), TypeChamp::Alpha, 40},
            {QStringLiteral("Observation"), TypeChamp::Memo, 40}};
}

// A program directory with N conditions spread over F suppliers (plus some unknown codes),
// X of the suppliers excluded; about two thirds of the conditions pass every filter.
void ecrireProgramme(const QString &repertoire, qint64 n, int f, int x)
{
    const QString dossier = siege::dossierTables(repertoire);
    QList<std::pair<QString, QString>> fournisseurs;
    for (int i = 0; i < f; ++i)
        fournisseurs.append({codeFournisseur(i), QStringLiteral("Fournisseur ") + QString::number(i)});
    siege::ecrireFournis(dossier, fournisseurs); // its 51 fields

    const QDate debut(2013, 1, 1);
    const QString note = QStringLiteral("Condition n\u00e9goci\u00e9e\r\nvalable jusqu'\u00e0 nouvel ordre, "
                                        "franco de port au-del\u00e0 de 500 \u20ac");
    paradox::test::ecrireTable(
        dossier + QStringLiteral("REMISES.DB"), colonnesRemises(), n, [&](qint64 k, QList<QVariant> &l) {
            const int i = int(k % 1000003);
            l.clear();
            l << (i % 10 == 0 ? QVariant(QStringLiteral("C%1").arg(i % 9999, 5, 10, QLatin1Char('0'))) : QVariant())
              << codeFournisseur(int(k / 25) % (f + f / 50 + 1)) // sorted by supplier, a few unknown codes
              << (i % 4 == 0 ? 1 : 2) << QStringLiteral("%1").arg(i % 97, 2, 10, QLatin1Char('0'))
              << QString(QStringLiteral("M") + QChar::fromLatin1(char('A' + i % 26)))
              << QStringLiteral("P%1").arg(i % 99999, 5, 10, QLatin1Char('0')) << (i % 400) / 8.0
              << 10.0 + (i % 10000) / 100.0 << debut.addDays(i % 365)
              << (i % 3 == 0 ? QVariant(debut.addDays(365 + i % 365)) : QVariant()) << (i % 7 != 0)
              << QStringLiteral("Remise n\u00b0 %1 \u00e0 l'achat").arg(i)
              << (i % 50 == 0 ? QVariant(note) : QVariant());
        });

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
        generer(Genre::Remise, tables, siege::contexte(progression));
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
        ecrireProgramme(QString::fromLocal8Bit(argv[2]), std::atoll(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
