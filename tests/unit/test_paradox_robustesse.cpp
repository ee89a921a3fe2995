// Thousands of truncated and byte-flipped copies of the real tables (and of a table with
// every type): each one either opens and reads, or fails with a French error naming the
// file; never a crash nor a read outside the file (this test also runs under ASan + UBSan).
#include "OutilsTests.h"
#include "ParadoxWriter.h"

#include "core/base/Erreurs.h"
#include "core/paradox/Table.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>

using paradox::Table;
using paradox::TypeChamp;

namespace {

struct Bilan
{
    int lues = 0;
    int refusees = 0;
    int champsRefuses = 0;
};

// Opens the table and reads every field of every record in every form.
void parcourir(const QString &chemin, const QString &nom, Bilan &bilan)
{
    auto t = Table::depuisChemin(chemin);
    try {
        t->open();
    } catch (const HalvenorError &e) {
        ++bilan.refusees;
        EXPECT_TRUE(e.message().contains(nom, Qt::CaseInsensitive)) << e.message().toStdString();
        return;
    }
    int n = 0;
    try {
        // Blocks are read as the walk reaches them: a damaged chain fails there.
        for (t->first(); !t->eof(); t->next(), ++n) {
            for (int i = 0; i < t->fieldCount(); ++i) {
                paradox::Champ &c = t->field(i);
                try {
                    c.isNull();
                    c.asString();
                    c.asInteger();
                    c.valeur();
                } catch (const HalvenorError &e) {
                    ++bilan.champsRefuses;
                    EXPECT_TRUE(e.message().contains(nom, Qt::CaseInsensitive)) << e.message().toStdString();
                }
            }
        }
    } catch (const HalvenorError &e) {
        ++bilan.refusees;
        EXPECT_TRUE(e.message().contains(nom, Qt::CaseInsensitive)) << e.message().toStdString();
        return;
    }
    ++bilan.lues;
    EXPECT_EQ(n, t->recordCount());
}

class Balayage : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    std::mt19937 hasard{20240607};

    // Damages the .DB (or the .MB) of `nom` in many ways, reading each copy in full.
    Bilan balayer(const QString &source, const QString &nom, bool avecMb, int coupes, int inversions)
    {
        const QByteArray db = lireFichier(source + QStringLiteral(".DB"));
        const QByteArray mb = avecMb ? lireFichier(source + QStringLiteral(".MB")) : QByteArray();
        Bilan bilan;
        int numero = 0;
        // A new file for each copy: rewriting one in place would make the file system flush it.
        auto essayer = [&](const QByteArray &d, const QByteArray &m) {
            const QString base = dir.filePath(nom + QString::number(++numero));
            ASSERT_TRUE(ecrireFichier(base + QStringLiteral(".DB"), d));
            if (avecMb) {
                ASSERT_TRUE(ecrireFichier(base + QStringLiteral(".MB"), m));
            }
            parcourir(base + QStringLiteral(".DB"), nom, bilan);
            QFile::remove(base + QStringLiteral(".DB"));
            QFile::remove(base + QStringLiteral(".MB"));
        };
        for (int fichier = 0; fichier < (avecMb ? 2 : 1); ++fichier) {
            const QByteArray &original = fichier == 0 ? db : mb;
            for (int k = 0; k < coupes; ++k) {
                const qsizetype longueur = qsizetype(std::uniform_int_distribution<qsizetype>(0, original.size() - 1)(hasard));
                const QByteArray coupe = original.left(longueur);
                fichier == 0 ? essayer(coupe, mb) : essayer(db, coupe);
            }
            for (int k = 0; k < inversions; ++k) {
                QByteArray copie = original;
                // Most of the damage in the headers (first 2 KiB of the .DB, block headers of the .MB).
                const int combien = 1 + k % 3;
                for (int j = 0; j < combien; ++j) {
                    qsizetype pos;
                    if (k % 2 == 0)
                        pos = std::uniform_int_distribution<qsizetype>(0, std::min<qsizetype>(copie.size(), 0x800) - 1)(hasard);
                    else
                        pos = std::uniform_int_distribution<qsizetype>(0, copie.size() - 1)(hasard);
                    if (fichier == 1 && k % 4 == 0)
                        pos = (pos & ~qsizetype(0xFFF)) + (pos % 400); // headers of the .MB blocks
                    pos = std::min(pos, copie.size() - 1);
                    copie[pos] = char(uchar(copie[pos]) ^ uchar(std::uniform_int_distribution<int>(1, 255)(hasard)));
                }
                fichier == 0 ? essayer(copie, mb) : essayer(db, copie);
            }
        }
        return bilan;
    }
};

TEST_F(Balayage, TablesReellesEndommagees)
{
    const QString donnees = QStringLiteral(HALVENOR_TEST_DATA "/paradox/");
    const Bilan komment = balayer(donnees + QStringLiteral("KOMMENT"), QStringLiteral("KOMMENT"), true, 300, 900);
    const Bilan land = balayer(donnees + QStringLiteral("LAND"), QStringLiteral("LAND"), false, 300, 900);
    // The sweep must have seen both outcomes, else it proves nothing.
    EXPECT_GT(komment.lues, 100);
    EXPECT_GT(komment.refusees, 100);
    EXPECT_GT(komment.champsRefuses, 10);
    EXPECT_GT(land.lues, 100);
    EXPECT_GT(land.refusees, 100);
}

TEST_F(Balayage, TableDeChaqueTypeEndommagee)
{
    QList<QList<QVariant>> lignes;
    for (int i = 0; i < 40; ++i) {
        lignes.append({QString::number(i), i, 1.5 * i, i % 2 == 0, QDate(2020, 1, 1).addDays(i), QTime(1, i),
                       QDateTime(QDate(2021, 5, 5), QTime(i % 24, 0)), QString(20 + i * 60, QChar(u'a' + i % 26)),
                       QStringLiteral("12.5"), QByteArray(i * 150, char(i)), QByteArray("xyz"),
                       QByteArray(3000 + i, 'g')});
    }
    const QString source = dir.filePath(QStringLiteral("source"));
    paradox::test::ecrireTable(
        source + QStringLiteral(".DB"),
        {{QStringLiteral("A"), TypeChamp::Alpha, 5}, {QStringLiteral("L"), TypeChamp::Long},
         {QStringLiteral("N"), TypeChamp::Number}, {QStringLiteral("V"), TypeChamp::Logical},
         {QStringLiteral("D"), TypeChamp::Date}, {QStringLiteral("H"), TypeChamp::Time},
         {QStringLiteral("T"), TypeChamp::Timestamp}, {QStringLiteral("M"), TypeChamp::Memo, 40},
         {QStringLiteral("B"), TypeChamp::Bcd, 2}, {QStringLiteral("O"), TypeChamp::Blob, 15},
         {QStringLiteral("Y"), TypeChamp::Bytes, 3}, {QStringLiteral("G"), TypeChamp::Graphic, 11}},
        lignes);
    const Bilan tous = balayer(source, QStringLiteral("TOUS"), true, 200, 600);
    EXPECT_GT(tous.lues, 50);
    EXPECT_GT(tous.refusees, 50);
}

} // namespace
