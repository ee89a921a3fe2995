// Full walk of a 1,000,000-record table: every field of every record read as text, as the
// exports read them. Reports records/s and the table's bytes/s.
#include "ParadoxWriter.h"

#include "core/paradox/Table.h"

#include <QDate>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using paradox::TypeChamp;

namespace {

constexpr int nombreEnregistrements = 1000000;

// Written once per run: a supplier-like mix of texts, integers, numbers, dates and memos.
const QString &cheminTable()
{
    static QTemporaryDir dir;
    static const QString chemin = [] {
        const QString c = dir.filePath(QStringLiteral("BENCH.DB"));
        QList<QList<QVariant>> lignes;
        lignes.reserve(nombreEnregistrements);
        const QDate debut(2000, 1, 1);
        for (int i = 0; i < nombreEnregistrements; ++i) {
            lignes.append(QList<QVariant>{
                QString::number(i % 100), QString(QStringLiteral("Fournisseur n°") + QString::number(i)), i % 7, i,
                0.5 * i, debut.addDays(i % 9000), i % 2 == 0,
                i % 10 == 0 ? QVariant() : QVariant(QString(QStringLiteral("Ville é") + QString::number(i % 50))),
                i % 100 == 0 ? QVariant(QString(100 + i % 300, u'm')) : QVariant(QStringLiteral("court"))});
        }
        paradox::test::ecrireTable(
            c,
            {{QStringLiteral("Code"), TypeChamp::Alpha, 2}, {QStringLiteral("Nom"), TypeChamp::Alpha, 30},
             {QStringLiteral("Reglement"), TypeChamp::Short}, {QStringLiteral("Numero"), TypeChamp::Long},
             {QStringLiteral("CommCA"), TypeChamp::Number}, {QStringLiteral("Debut"), TypeChamp::Date},
             {QStringLiteral("Ferme"), TypeChamp::Logical}, {QStringLiteral("Ville"), TypeChamp::Alpha, 40},
             {QStringLiteral("Observation"), TypeChamp::Memo, 20}},
            lignes);
        return c;
    }();
    return chemin;
}

void ParcoursComplet(benchmark::State &state)
{
    const QString &chemin = cheminTable();
    const qint64 octets = QFileInfo(chemin).size();
    qint64 caracteres = 0;
    for (auto _ : state) {
        auto t = paradox::Table::depuisChemin(chemin);
        t->open();
        const int n = t->fieldCount();
        for (t->first(); !t->eof(); t->next()) {
            for (int i = 0; i < n; ++i) {
                paradox::Champ &c = t->field(i);
                if (!c.isNull())
                    caracteres += c.asString().size();
            }
        }
        t->close();
    }
    benchmark::DoNotOptimize(caracteres);
    state.SetItemsProcessed(state.iterations() * nombreEnregistrements);
    state.SetBytesProcessed(state.iterations() * octets);
    state.counters[QByteArrayLiteral("enregistrements/s").toStdString()] =
        benchmark::Counter(double(nombreEnregistrements), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(ParcoursComplet)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
