// Thousands of truncated and byte-flipped copies of the real tables (and of a table with
// every type): each one either opens and reads, or fails with a French error naming the
// file; never a crash nor a read outside the file (this test also runs under ASan + UBSan).
#include "OutilsTests.h"
#include "ParadoxWriter.h"

#include "core/base/Erreurs.h"
#include "core/paradox/Table.h"

#include <QFile>
#include <QtEndian>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>
#include <tuple>

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

namespace {

// Damage that only the walk reaches: each gives the French error naming the damaged file at
// the first read that needs the damaged part, and everything before it reads.
class TableEndommagee : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QList<QList<QVariant>> lignes;
        for (int i = 0; i < 300; ++i)
            lignes.append({QString::number(i), i % 3 == 0 ? QVariant(QString(60, QChar(u'a' + i % 26))) : QVariant()});
        paradox::test::ecrireTable(db, {{QStringLiteral("Code"), TypeChamp::Alpha, 10},
                                        {QStringLiteral("Note"), TypeChamp::Memo, 20}},
                                   lignes);
        octets = lireFichier(db);
        entete = qFromLittleEndian<quint16>(octets.constData() + 2);
        bloc = uchar(octets[5]) * 1024;
        ASSERT_GE((octets.size() - entete) / bloc, 4) << "several blocks";
    }

    void patcher16(qint64 position, quint16 v) { qToLittleEndian(v, octets.data() + position); }
    void patcher32(qint64 position, quint32 v) { qToLittleEndian(v, octets.data() + position); }

    // Records walked (reading Code) before the error, and its text.
    std::pair<int, QString> parcourir(bool memos)
    {
        EXPECT_TRUE(ecrireFichier(db, octets));
        auto t = Table::depuisChemin(db);
        int n = 0;
        try {
            t->open();
            for (t->first(); !t->eof(); t->next()) {
                t->field(0).asString();
                if (memos)
                    t->field(1).asString();
                ++n;
            }
        } catch (const HalvenorError &e) {
            return {n, e.message()};
        }
        return {n, QString()};
    }

    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("DEGATS.DB"));
    const QString mb = dir.filePath(QStringLiteral("DEGATS.MB"));
    QByteArray octets;
    qint64 entete = 0;
    qint64 bloc = 0;
};

TEST_F(TableEndommagee, MemosAbsentsOuEndommages)
{
    ASSERT_TRUE(QFile::remove(mb));
    auto [n, erreur] = parcourir(false);
    EXPECT_EQ(n, 300) << "the fields held in the record read";
    EXPECT_TRUE(erreur.isEmpty()) << erreur.toStdString();
    std::tie(n, erreur) = parcourir(true);
    EXPECT_EQ(n, 0);
    EXPECT_TRUE(erreur.contains(QStringLiteral("DEGATS.MB")) && erreur.contains(QStringLiteral("introuvable")))
        << erreur.toStdString();

    // Only the header block left, then a block type that is not a memo block.
    QByteArray memos(4096, '\0');
    ASSERT_TRUE(ecrireFichier(mb, memos));
    std::tie(n, erreur) = parcourir(true);
    EXPECT_EQ(n, 0);
    EXPECT_TRUE(erreur.contains(QStringLiteral("DEGATS.MB")) && erreur.contains(QStringLiteral("endommagé")))
        << erreur.toStdString();
}

TEST_F(TableEndommagee, EnteteQuiAnnonceTropDEnregistrementsOuDeBlocs)
{
    patcher32(0x06, 300 + 50);
    auto [n, erreur] = parcourir(true);
    EXPECT_EQ(n, 300);
    EXPECT_TRUE(erreur.contains(QStringLiteral("DEGATS.DB")) && erreur.contains(QStringLiteral("s'arrête après 300")))
        << erreur.toStdString();

    // The last block points at a block beyond the end of the file.
    const qint64 blocs = (octets.size() - entete) / bloc;
    patcher16(entete + (blocs - 1) * bloc, 40000);
    std::tie(n, erreur) = parcourir(true);
    EXPECT_EQ(n, 300);
    EXPECT_TRUE(erreur.contains(QStringLiteral("DEGATS.DB")) && erreur.contains(QStringLiteral("hors du fichier")))
        << erreur.toStdString();
}

TEST_F(TableEndommagee, ChaineDeBlocsQuiBoucle)
{
    patcher32(0x06, 100000);
    patcher16(entete + 2 * bloc, 2); // block 3 goes back to block 2
    const int parBloc = int((bloc - 6) / 30);
    auto [n, erreur] = parcourir(true);
    EXPECT_EQ(n, 3 * parBloc);
    EXPECT_TRUE(erreur.contains(QStringLiteral("DEGATS.DB")) && erreur.contains(QStringLiteral("boucle")))
        << erreur.toStdString();
}

// A file that shrinks while it is read (a share that drops, a copy over it): the French
// error, never SIGBUS nor a read past what was read.
TEST_F(TableEndommagee, TableRaccourciePendantLaLecture)
{
    QList<QList<QVariant>> lignes;
    for (int i = 0; i < 30000; ++i)
        lignes.append({QString::number(i), QVariant()});
    paradox::test::ecrireTable(db, {{QStringLiteral("Code"), TypeChamp::Alpha, 10},
                                    {QStringLiteral("Note"), TypeChamp::Memo, 20}},
                               lignes);
    auto t = Table::depuisChemin(db);
    t->open();
    int n = 0;
    try {
        for (t->first(); !t->eof(); t->next(), ++n) {
            if (n == 10) {
                ASSERT_TRUE(QFile::resize(db, 8192));
            }
            t->field(0).asString();
        }
        ADD_FAILURE() << "read to the end";
    } catch (const HalvenorError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("DEGATS.DB"))) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains(QStringLiteral("raccourci"))) << e.message().toStdString();
    }
    EXPECT_GT(n, 10);
    EXPECT_LT(n, 30000);
}

} // namespace
