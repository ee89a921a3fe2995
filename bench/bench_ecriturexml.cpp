// The export's XML writer against libxml2's xmlTextWriter, on the same lines: 13 attributes
// of windows-1252 text, numbers and dates, written to a file in windows-1252.

#include "core/xml/EcritureXml.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <libxml/encoding.h>
#include <libxml/xmlwriter.h>

#include <array>
#include <cstdio>

namespace {

constexpr int lignes = 100000;
const char *const noms[13] = {"Client",   "Fournisseur", "Type",      "Famille", "Modele", "Produit",    "Remise",
                              "PrixNet", "DateDebut",   "DateFin",   "Actif",   "Libelle", "Observation"};

// One line's values as the table holds them (windows-1252) and as xmlTextWriter needs them (UTF-8).
struct Valeurs
{
    std::array<QByteArray, 13> cp1252;
    std::array<QByteArray, 13> utf8;
};

Valeurs valeurs(int i)
{
    Valeurs v;
    const QStringList textes{QString(),
                             QStringLiteral("AB"),
                             QStringLiteral("2"),
                             QString::number(i % 97),
                             QStringLiteral("MA"),
                             QStringLiteral("P%1").arg(i),
                             QStringLiteral("12,5"),
                             QStringLiteral("10,25"),
                             QStringLiteral("01/03/2013"),
                             QString(),
                             QStringLiteral("True"),
                             QStringLiteral("Remise n\u00b0 %1 \u00e0 l'achat").arg(i),
                             i % 50 ? QString() : QStringLiteral("Condition n\u00e9goci\u00e9e\r\nvalable")};
    for (int k = 0; k < 13; ++k) {
        v.cp1252[size_t(k)] = versWindows1252(textes[k]);
        v.utf8[size_t(k)] = textes[k].toUtf8();
    }
    return v;
}

void BM_EcritureXml(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString chemin = dir.filePath(QStringLiteral("a.xml"));
    const Valeurs v = valeurs(7);
    std::array<QByteArray, 13> n;
    for (int k = 0; k < 13; ++k)
        n[size_t(k)] = EcritureXml::nomAttribut(QString::fromLatin1(noms[k]));
    std::array<char, 256> identite{};
    for (int c = 0; c < 256; ++c)
        identite[size_t(c)] = char(c);
    const QByteArray ligne = EcritureXml::nomElement(QStringLiteral("Ligne"));
    for (auto _ : state) {
        EcritureXml sortie(chemin, QStringLiteral("RemisesAchat"));
        sortie.ouvrir(EcritureXml::nomElement(QStringLiteral("Lignes")));
        for (int i = 0; i < lignes; ++i) {
            sortie.ouvrir(ligne);
            for (int k = 0; k < 13; ++k)
                if (!v.cp1252[size_t(k)].isEmpty())
                    sortie.attribut(n[size_t(k)], v.cp1252[size_t(k)].constData(), v.cp1252[size_t(k)].size(), identite);
            sortie.fermer();
        }
        sortie.terminer();
    }
    state.SetItemsProcessed(state.iterations() * lignes);
}
BENCHMARK(BM_EcritureXml)->Unit(benchmark::kMillisecond);

void BM_XmlTextWriter(benchmark::State &state)
{
    QTemporaryDir dir;
    const QByteArray chemin = dir.filePath(QStringLiteral("b.xml")).toLocal8Bit();
    const Valeurs v = valeurs(7);
    for (auto _ : state) {
        xmlTextWriterPtr w = xmlNewTextWriterFilename(chemin.constData(), 0);
        xmlTextWriterStartDocument(w, "1.0", "windows-1252", nullptr);
        xmlTextWriterStartElement(w, BAD_CAST "RemisesAchat");
        xmlTextWriterStartElement(w, BAD_CAST "Lignes");
        for (int i = 0; i < lignes; ++i) {
            xmlTextWriterStartElement(w, BAD_CAST "Ligne");
            for (int k = 0; k < 13; ++k)
                if (!v.utf8[size_t(k)].isEmpty())
                    xmlTextWriterWriteAttribute(w, BAD_CAST noms[k], BAD_CAST v.utf8[size_t(k)].constData());
            xmlTextWriterEndElement(w);
        }
        xmlTextWriterEndDocument(w);
        xmlFreeTextWriter(w);
    }
    state.SetItemsProcessed(state.iterations() * lignes);
}
BENCHMARK(BM_XmlTextWriter)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    xmlInitParser();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
