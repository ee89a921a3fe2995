// halvenor-cli table: the JSON form against the reference written beside the real tables,
// the readable listing and the failures.
#include "ParadoxWriter.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using paradox::TypeChamp;

namespace {

struct Sortie
{
    int code = -1;
    QByteArray out;
    QString err;
};

Sortie lancer(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(HALVENOR_CLI), args);
    EXPECT_TRUE(p.waitForFinished(60000));
    return {p.exitCode(), p.readAllStandardOutput(), QString::fromUtf8(p.readAllStandardError())};
}

QString donnees(const char *nom)
{
    return QStringLiteral(HALVENOR_TEST_DATA "/paradox/") + QString::fromUtf8(nom);
}

void comparer(const char *table)
{
    const Sortie s = lancer({QStringLiteral("table"), donnees(table) + QStringLiteral(".DB"), QStringLiteral("--json")});
    ASSERT_EQ(s.code, 0) << s.err.toStdString();
    QJsonParseError erreur;
    const QJsonDocument obtenu = QJsonDocument::fromJson(s.out, &erreur);
    ASSERT_EQ(erreur.error, QJsonParseError::NoError) << erreur.errorString().toStdString();
    QFile f(donnees(table) + QStringLiteral(".json"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QJsonObject ref = QJsonDocument::fromJson(f.readAll()).object();
    const QJsonObject obj = obtenu.object();
    ASSERT_EQ(obj.keys(), ref.keys());

    const QJsonArray champs = obj[u"fields"].toArray();
    const QJsonArray champsRef = ref[u"fields"].toArray();
    ASSERT_EQ(champs.size(), champsRef.size());
    for (qsizetype i = 0; i < champs.size(); ++i) {
        EXPECT_EQ(champs[i][u"name"].toString(), champsRef[i][u"name"].toString());
        EXPECT_EQ(champs[i][u"type"].toString(), champsRef[i][u"type"].toString());
        EXPECT_EQ(champs[i][u"size"].toInt(), champsRef[i][u"size"].toInt());
    }
    const QJsonArray lignes = obj[u"records"].toArray();
    const QJsonArray lignesRef = ref[u"records"].toArray();
    ASSERT_EQ(lignes.size(), lignesRef.size());
    for (qsizetype r = 0; r < lignes.size(); ++r) {
        const QJsonArray l = lignes[r].toArray();
        const QJsonArray lr = lignesRef[r].toArray();
        ASSERT_EQ(l.size(), lr.size());
        for (qsizetype i = 0; i < l.size(); ++i) {
            ASSERT_EQ(l[i].type(), lr[i].type()) << table << " record " << r << " field " << i;
            if (lr[i].isDouble())
                EXPECT_EQ(l[i].toDouble(), lr[i].toDouble()) << table << " record " << r << " field " << i;
            else
                EXPECT_EQ(l[i], lr[i]) << table << " record " << r << " field " << i;
        }
    }
}

TEST(CliTable, JsonDesTablesReelles)
{
    comparer("KOMMENT");
    comparer("LAND");
}

TEST(CliTable, JsonDeChaqueType)
{
    QTemporaryDir dir;
    const QString chemin = dir.filePath(QStringLiteral("T.DB"));
    const QByteArray image("\x89PNG", 4);
    paradox::test::ecrireTable(
        chemin,
        {{QStringLiteral("A"), TypeChamp::Alpha, 3}, {QStringLiteral("N"), TypeChamp::Number},
         {QStringLiteral("C"), TypeChamp::Short}, {QStringLiteral("L"), TypeChamp::Logical},
         {QStringLiteral("D"), TypeChamp::Date}, {QStringLiteral("H"), TypeChamp::Time},
         {QStringLiteral("TS"), TypeChamp::Timestamp}, {QStringLiteral("B"), TypeChamp::Bcd, 3},
         {QStringLiteral("G"), TypeChamp::Graphic, 12}},
        {{QString::fromUtf8("é"), 0.1, -7, true, QDate(2024, 2, 29), QTime(23, 59, 58, 5),
          QDateTime(QDate(2024, 2, 29), QTime(1, 2, 3)), QStringLiteral("-1.5"), image},
         {QVariant(), QVariant(), QVariant(), false, QVariant(), QTime(8, 0), QVariant(), QVariant(), QVariant()}});
    const Sortie s = lancer({QStringLiteral("table"), chemin, QStringLiteral("--json")});
    ASSERT_EQ(s.code, 0) << s.err.toStdString();
    const QJsonObject obj = QJsonDocument::fromJson(s.out).object();
    EXPECT_EQ(obj[u"fields"].toArray()[7].toObject()[u"type"].toString(), QStringLiteral("bcd"));
    EXPECT_EQ(obj[u"fields"].toArray()[7].toObject()[u"size"].toInt(), 17);
    const QJsonArray r0 = obj[u"records"].toArray()[0].toArray();
    EXPECT_EQ(r0[0].toString(), QString::fromUtf8("é"));
    EXPECT_EQ(r0[1].toDouble(), 0.1);
    EXPECT_EQ(r0[2].toInteger(), -7);
    EXPECT_EQ(r0[3], QJsonValue(true));
    EXPECT_EQ(r0[4].toString(), QStringLiteral("2024-02-29"));
    EXPECT_EQ(r0[5].toString(), QStringLiteral("23:59:58.005"));
    EXPECT_EQ(r0[6].toString(), QStringLiteral("2024-02-29T01:02:03"));
    EXPECT_EQ(r0[7].toString(), QStringLiteral("-1.500"));
    EXPECT_EQ(r0[8].toObject()[u"size"].toInt(), 4);
    EXPECT_EQ(r0[8].toObject()[u"sha256"].toString(),
              QString::fromLatin1(QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex()));
    const QJsonArray r1 = obj[u"records"].toArray()[1].toArray();
    EXPECT_TRUE(r1[0].isNull());
    EXPECT_TRUE(r1[1].isNull());
    EXPECT_EQ(r1[3], QJsonValue(false));
    EXPECT_EQ(r1[5].toString(), QStringLiteral("08:00:00"));
    EXPECT_TRUE(r1[8].isNull());
}

TEST(CliTable, ListingEtErreurs)
{
    const Sortie liste = lancer({QStringLiteral("table"), donnees("LAND.DB")});
    ASSERT_EQ(liste.code, 0);
    const QString texte = QString::fromUtf8(liste.out);
    EXPECT_TRUE(texte.contains(QStringLiteral("Pop-2000 (number, 8)")));
    EXPECT_TRUE(texte.contains(QStringLiteral("Land_navn = Afghanistan")));
    EXPECT_TRUE(texte.contains(QStringLiteral("216 enregistrement")));

    const Sortie absente = lancer({QStringLiteral("table"), donnees("ABSENTE.DB")});
    EXPECT_EQ(absente.code, 1);
    EXPECT_TRUE(absente.err.contains(QStringLiteral("ABSENTE.DB"))) << absente.err.toStdString();

    EXPECT_EQ(lancer({QStringLiteral("table")}).code, 2);
    EXPECT_EQ(lancer({QStringLiteral("table"), donnees("LAND.DB"), QStringLiteral("--xml")}).code, 2);
}

} // namespace
