// The Paradox reader: the tables written by Paradox itself, each field type, nulls, code
// pages, memos, file versions, the alias and the table objects.
#include "OutilsTests.h"
#include "ParadoxWriter.h"

#include "core/base/Erreurs.h"
#include "core/paradox/FichierParadox.h"
#include "core/paradox/Table.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using paradox::Table;
using paradox::TypeChamp;
using paradox::test::Colonne;
using paradox::test::ecrireTable;
using paradox::test::OptionsTable;

namespace {

QString s(const char *t) { return QString::fromUtf8(t); }

QString donnees(const char *nom)
{
    return QStringLiteral(HALVENOR_TEST_DATA "/paradox/") + QString::fromUtf8(nom);
}

// Runs `f` and returns the French text of the HalvenorError it must throw.
template <typename F> QString erreurDe(F &&f)
{
    try {
        f();
    } catch (const HalvenorError &e) {
        return e.message();
    }
    ADD_FAILURE() << "no HalvenorError thrown";
    return {};
}

QJsonObject lireJson(const QString &chemin)
{
    EXPECT_TRUE(QFile::exists(chemin));
    return QJsonDocument::fromJson(lireFichier(chemin)).object();
}

void patcher(const QString &chemin, qint64 position, const QByteArray &octets)
{
    QFile f(chemin);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.seek(position));
    ASSERT_EQ(f.write(octets), octets.size());
}

// ---------------------------------------------------------------- real tables

// Every value read through the table objects equals the reference JSON written beside
// the tables (obtained with two independent readers).
void comparerAuJson(const char *table)
{
    auto t = Table::depuisChemin(donnees(table) + QStringLiteral(".DB"));
    t->open();
    const QJsonObject ref = lireJson(donnees(table) + QStringLiteral(".json"));
    const QJsonArray champs = ref[u"fields"].toArray();
    const QJsonArray enregistrements = ref[u"records"].toArray();
    ASSERT_EQ(t->fieldCount(), champs.size());
    for (int i = 0; i < t->fieldCount(); ++i) {
        EXPECT_EQ(t->field(i).nom(), champs[i][u"name"].toString());
        EXPECT_EQ(paradox::nomType(t->field(i).type()), champs[i][u"type"].toString());
        EXPECT_EQ(t->field(i).taille(), champs[i][u"size"].toInt());
    }
    ASSERT_EQ(t->recordCount(), enregistrements.size());
    int n = 0;
    for (t->first(); !t->eof(); t->next(), ++n) {
        const QJsonArray attendu = enregistrements[n].toArray();
        for (int i = 0; i < t->fieldCount(); ++i) {
            const QVariant v = t->field(i).valeur();
            if (attendu[i].isNull()) {
                EXPECT_TRUE(t->field(i).isNull()) << table << " record " << n << " field " << i;
                EXPECT_EQ(t->field(i).asString(), QString());
            } else if (attendu[i].isDouble()) {
                EXPECT_EQ(v.toDouble(), attendu[i].toDouble()) << table << " record " << n << " field " << i;
            } else {
                EXPECT_EQ(v.toString(), attendu[i].toString()) << table << " record " << n << " field " << i;
            }
        }
    }
    EXPECT_EQ(n, enregistrements.size());
}

TEST(TablesReelles, KommentEtSesMemosCommeLaReference)
{
    comparerAuJson("KOMMENT");
}

TEST(TablesReelles, LandCommeLaReference)
{
    comparerAuJson("LAND");
}

TEST(TablesReelles, EnteteEtTextes)
{
    auto t = Table::depuisChemin(donnees("KOMMENT.DB"));
    t->open();
    EXPECT_EQ(t->fichier().version(), 9);
    EXPECT_EQ(t->fichier().typeFichier(), 0);
    EXPECT_EQ(t->fichier().codePage(), 865);
    // Code page 865: 0x86 is "å".
    EXPECT_TRUE(t->fieldByName(QStringLiteral("Kommentar")).asString().contains(s("både DNBs")));
    // A memo that lives in a sub-allocated block of the .MB, longer than the 120 bytes in the record.
    for (int i = 0; i < 3; ++i)
        t->next();
    EXPECT_EQ(t->fieldByName(QStringLiteral("Org_kode")).asString(), QStringLiteral("DEFRI"));
    const QString memo = t->fieldByName(QStringLiteral("kommentar")).asString();
    EXPECT_EQ(memo.size(), 198);
    EXPECT_TRUE(memo.endsWith(s("for at tallene skal stemme.")));

    auto land = Table::depuisChemin(donnees("LAND.DB"));
    land->open();
    EXPECT_EQ(land->fieldByName(QStringLiteral("Pop-2000")).asString(), QStringLiteral("21765000"));
    EXPECT_EQ(land->fieldByName(QStringLiteral("Pop-2000")).asInteger(), 21765000);
    land->next();
    EXPECT_TRUE(land->fieldByName(QStringLiteral("1040win")).isNull());
    EXPECT_EQ(land->fieldByName(QStringLiteral("1040win")).asInteger(), 0);
}

// Bytes in memory read exactly like the file; without the .MB, a memo kept there fails
// naming it, while the fields held in the record still read.
TEST(TablesReelles, EnMemoireCommeSurDisque)
{
    for (const char *nom : {"KOMMENT", "LAND"}) {
        const QString db = donnees(nom) + QStringLiteral(".DB");
        const QString mb = donnees(nom) + QStringLiteral(".MB");
        paradox::FichierParadox disque(db);
        auto memoire = paradox::FichierParadox::depuisMemoire(db, lireFichier(db),
                                                              QFile::exists(mb) ? lireFichier(mb) : QByteArray());
        auto sansMb = paradox::FichierParadox::depuisMemoire(db, lireFichier(db));
        ASSERT_EQ(memoire->nombreEnregistrements(), disque.nombreEnregistrements());
        ASSERT_EQ(memoire->champs().size(), disque.champs().size());
        int n = 0;
        int memosAbsents = 0;
        bool a = disque.premierBloc();
        bool b = memoire->premierBloc();
        ASSERT_TRUE(sansMb->premierBloc());
        while (a && b) {
            for (int r = 0; r < disque.enregistrementsDansBloc(); ++r, ++n) {
                for (int i = 0; i < int(disque.champs().size()); ++i) {
                    const uchar *x = disque.enregistrement(r);
                    const uchar *y = memoire->enregistrement(r);
                    EXPECT_EQ(disque.valeur(x, i), memoire->valeur(y, i)) << nom << ' ' << n << ' ' << i;
                    EXPECT_EQ(disque.texte(x, i), memoire->texte(y, i)) << nom << ' ' << n << ' ' << i;
                    EXPECT_EQ(disque.entier(x, i), memoire->entier(y, i)) << nom << ' ' << n << ' ' << i;
                    try {
                        EXPECT_EQ(sansMb->texte(sansMb->enregistrement(r), i), disque.texte(x, i));
                    } catch (const HalvenorError &e) {
                        ++memosAbsents;
                        EXPECT_TRUE(e.message().contains(QStringLiteral("%1.MB").arg(QString::fromUtf8(nom))))
                            << e.message().toStdString();
                    }
                }
            }
            a = disque.blocSuivant();
            b = memoire->blocSuivant();
            sansMb->blocSuivant();
        }
        EXPECT_EQ(a, b);
        EXPECT_EQ(n, disque.nombreEnregistrements());
        EXPECT_EQ(memosAbsents > 0, QFile::exists(mb)) << nom;
    }
}

// ---------------------------------------------------------------- every type, written then read

class TableEcrite : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString chemin(const char *nom) const { return dir.filePath(QString::fromUtf8(nom)); }
};

QList<Colonne> tousLesTypes()
{
    return {{QStringLiteral("Code"), TypeChamp::Alpha, 4},      {QStringLiteral("Court"), TypeChamp::Short},
            {QStringLiteral("Long"), TypeChamp::Long},          {QStringLiteral("Nombre"), TypeChamp::Number},
            {QStringLiteral("Monnaie"), TypeChamp::Currency},   {QStringLiteral("Vrai"), TypeChamp::Logical},
            {QStringLiteral("Jour"), TypeChamp::Date},          {QStringLiteral("Heure"), TypeChamp::Time},
            {QStringLiteral("Horodatage"), TypeChamp::Timestamp}, {QStringLiteral("Compteur"), TypeChamp::AutoInc},
            {QStringLiteral("Texte"), TypeChamp::Memo, 20},     {QStringLiteral("Decimal"), TypeChamp::Bcd, 2},
            {QStringLiteral("Octets"), TypeChamp::Bytes, 3},    {QStringLiteral("Binaire"), TypeChamp::Blob, 11},
            {QStringLiteral("Image"), TypeChamp::Graphic, 11},  {QStringLiteral("Riche"), TypeChamp::FmtMemo, 11},
            {QStringLiteral("Objet"), TypeChamp::Ole, 11}};
}

TEST_F(TableEcrite, ChaqueTypeRelu)
{
    const QByteArray binaire("\x01\x02\xE9zz", 5);
    const QByteArray image(5000, 'G');
    const QList<QVariant> pleine{s("Été€"), -1234, 2000000000, 12.5, -0.001, true,
                                 QDate(2013, 3, 25), QTime(6, 30, 0, 250), QDateTime(QDate(2013, 3, 25), QTime(6, 30)),
                                 7, s("ligne 1\r\nligne 2 é"), s("-123.40"), QByteArray("ab\x01", 3), binaire,
                                 image, s("{\\rtf1 gras}"), QByteArray("OLE")};
    QList<QVariant> vide(pleine.size());
    QList<QVariant> autre{s("ABCD"), 0, -1, 1.5e-7, 0.0, false, QDate(1, 1, 1), QTime(0, 0),
                          QDateTime(QDate(1999, 12, 31), QTime(0, 0)), 8, QVariant(), s("0.05"), QVariant(),
                          QVariant(), QVariant(), QVariant(), QVariant()};
    ecrireTable(chemin("TOUS.DB"), tousLesTypes(), {pleine, vide, autre});

    auto t = Table::depuisChemin(chemin("TOUS.DB"));
    t->open();
    ASSERT_EQ(t->recordCount(), 3);
    for (int i = 0; i < t->fieldCount(); ++i)
        EXPECT_EQ(t->field(i).type(), tousLesTypes()[i].type);
    EXPECT_EQ(t->fieldByName(QStringLiteral("Decimal")).taille(), 17);
    EXPECT_EQ(t->fieldByName(QStringLiteral("Texte")).taille(), 20);

    auto texte = [&](const char *nom) { return t->fieldByName(QString::fromUtf8(nom)).asString(); };
    auto valeur = [&](const char *nom) { return t->fieldByName(QString::fromUtf8(nom)).valeur(); };
    EXPECT_EQ(texte("Code"), s("Été€"));
    EXPECT_EQ(texte("Court"), QStringLiteral("-1234"));
    EXPECT_EQ(valeur("Court"), QVariant(qlonglong(-1234)));
    EXPECT_EQ(texte("Long"), QStringLiteral("2000000000"));
    EXPECT_EQ(texte("Nombre"), QStringLiteral("12,5"));
    EXPECT_EQ(valeur("Monnaie").toDouble(), -0.001);
    EXPECT_EQ(texte("Monnaie"), QStringLiteral("-0,001"));
    EXPECT_EQ(texte("Vrai"), QStringLiteral("True"));
    EXPECT_EQ(texte("Jour"), QStringLiteral("25/03/2013"));
    EXPECT_EQ(valeur("Heure").toTime(), QTime(6, 30, 0, 250));
    EXPECT_EQ(texte("Heure"), QStringLiteral("06:30:00"));
    EXPECT_EQ(texte("Horodatage"), QStringLiteral("25/03/2013 06:30:00"));
    EXPECT_EQ(valeur("Horodatage").toDateTime(), QDateTime(QDate(2013, 3, 25), QTime(6, 30)));
    EXPECT_EQ(texte("Compteur"), QStringLiteral("7"));
    EXPECT_EQ(texte("Texte"), s("ligne 1\r\nligne 2 é"));
    EXPECT_EQ(texte("Decimal"), QStringLiteral("-123,4"));
    EXPECT_EQ(valeur("Decimal").toString(), QStringLiteral("-123.40"));
    EXPECT_EQ(valeur("Octets").toByteArray(), QByteArray("ab\x01", 3));
    EXPECT_EQ(valeur("Binaire").toByteArray(), binaire);
    EXPECT_EQ(texte("Binaire"), s("\x01\x02\xC3\xA9zz"));
    EXPECT_EQ(valeur("Image").toByteArray(), image);
    EXPECT_EQ(texte("Riche"), QStringLiteral("{\\rtf1 gras}"));
    EXPECT_EQ(valeur("Objet").toByteArray(), QByteArray("OLE"));
    EXPECT_EQ(t->fieldByName(QStringLiteral("Nombre")).asInteger(), 12); // half to even
    EXPECT_EQ(t->fieldByName(QStringLiteral("Vrai")).asInteger(), 1);

    t->next();
    for (int i = 0; i < t->fieldCount(); ++i) {
        EXPECT_TRUE(t->field(i).isNull()) << i;
        EXPECT_EQ(t->field(i).asString(), QString()) << i;
        EXPECT_EQ(t->field(i).asInteger(), 0) << i;
        EXPECT_FALSE(t->field(i).valeur().isValid()) << i;
    }

    t->next();
    EXPECT_EQ(texte("Code"), QStringLiteral("ABCD")); // full width, no terminator
    EXPECT_FALSE(t->fieldByName(QStringLiteral("Court")).isNull()); // zero is not null
    EXPECT_EQ(texte("Court"), QStringLiteral("0"));
    EXPECT_EQ(texte("Long"), QStringLiteral("-1"));
    EXPECT_EQ(texte("Nombre"), QStringLiteral("1,5E-7"));
    EXPECT_EQ(texte("Monnaie"), QStringLiteral("0"));
    EXPECT_EQ(texte("Vrai"), QStringLiteral("False"));
    EXPECT_EQ(texte("Jour"), QStringLiteral("01/01/0001"));
    EXPECT_EQ(texte("Heure"), QStringLiteral("00:00:00"));
    EXPECT_EQ(texte("Horodatage"), QStringLiteral("31/12/1999")); // midnight: no time
    EXPECT_EQ(texte("Decimal"), QStringLiteral("0,05"));
    t->next();
    EXPECT_TRUE(t->eof());
}

TEST_F(TableEcrite, MemosCourtsSousAllouesEtLongsDansLeurBloc)
{
    QList<QList<QVariant>> lignes;
    QStringList textes;
    for (int i = 0; i < 150; ++i) {
        // In the record, sub-allocated (many per block, several blocks), and single blocks.
        const int longueur = i % 3 == 0 ? 5 : (i % 3 == 1 ? 30 + 17 * i : 2048 + 1000 * i);
        QString t;
        for (int k = 0; k < longueur; ++k)
            t += QChar(u'a' + (k + i) % 26);
        t[0] = u'é';
        textes << t;
        lignes.append({i, t});
    }
    ecrireTable(chemin("MEMOS.DB"), {{QStringLiteral("N"), TypeChamp::Long}, {QStringLiteral("M"), TypeChamp::Memo, 20}},
                lignes);
    // The .MB is found without regard to letter case.
    ASSERT_TRUE(QFile::rename(chemin("MEMOS.MB"), chemin("memos.mb")));
    auto t = Table::depuisChemin(chemin("MEMOS.DB"));
    t->open();
    int n = 0;
    for (t->first(); !t->eof(); t->next(), ++n)
        ASSERT_EQ(t->field(1).asString(), textes[n]) << n;
    EXPECT_EQ(n, 150);

    // Without its .MB, a memo held in the record is still read; the others fail when read.
    ASSERT_TRUE(QFile::remove(chemin("memos.mb")));
    auto sans = Table::depuisChemin(chemin("MEMOS.DB"));
    sans->open();
    EXPECT_EQ(sans->field(1).asString(), textes[0]);
    sans->next();
    const QString e = erreurDe([&] { sans->field(1).asString(); });
    EXPECT_TRUE(e.contains(QStringLiteral("MEMOS.MB"))) << e.toStdString();
    EXPECT_TRUE(e.contains(QStringLiteral("introuvable"))) << e.toStdString();
    EXPECT_FALSE(sans->field(1).isNull()); // the null test needs no .MB
}

TEST_F(TableEcrite, PagesDeCode)
{
    const QList<Colonne> colonnes{{QStringLiteral("Nom"), TypeChamp::Alpha, 10}, {QStringLiteral("M"), TypeChamp::Memo, 11}};
    const QString texte = s("çàé Åü");
    for (int page : {437, 850, 865, 1252}) {
        OptionsTable o;
        o.codePage = page;
        ecrireTable(chemin("PAGE.DB"), colonnes, {{texte, texte}}, o);
        auto t = Table::depuisChemin(chemin("PAGE.DB"));
        t->open();
        EXPECT_EQ(t->fichier().codePage(), page);
        EXPECT_EQ(t->field(0).asString(), texte) << page;
        EXPECT_EQ(t->field(1).asString(), texte) << page;
    }
    // The same bytes mean other letters in another page: 0x82 is "é" in 850, "‚" in 1252.
    OptionsTable o;
    o.codePage = 850;
    ecrireTable(chemin("PAGE.DB"), colonnes, {{s("é"), QVariant()}}, o);
    patcher(chemin("PAGE.DB"), 0x6A, QByteArray("\xE4\x04", 2)); // 1252
    auto t = Table::depuisChemin(chemin("PAGE.DB"));
    t->open();
    EXPECT_EQ(t->field(0).asString(), s("‚"));
}

TEST_F(TableEcrite, VersionsEtTypesDeFichier)
{
    const QList<Colonne> colonnes{{QStringLiteral("Code"), TypeChamp::Alpha, 2}, {QStringLiteral("N"), TypeChamp::Short}};
    for (int version = 3; version <= 12; ++version) {
        for (int type : {0, 2}) {
            OptionsTable o;
            o.version = version;
            o.typeFichier = type;
            ecrireTable(chemin("V.DB"), colonnes, {{s("AB"), 1}, {QVariant(), -2}}, o);
            auto t = Table::depuisChemin(chemin("V.DB"));
            t->open();
            EXPECT_EQ(t->fichier().version(), version);
            EXPECT_EQ(t->field(0).nom(), QStringLiteral("Code"));
            EXPECT_EQ(t->field(0).asString(), QStringLiteral("AB"));
            t->next();
            EXPECT_TRUE(t->field(0).isNull());
            EXPECT_EQ(t->field(1).asInteger(), -2);
        }
    }
    OptionsTable index;
    index.typeFichier = 1; // a primary index, not a table
    ecrireTable(chemin("V.DB"), colonnes, {}, index);
    auto t = Table::depuisChemin(chemin("V.DB"));
    EXPECT_TRUE(erreurDe([&] { t->open(); }).contains(QStringLiteral("n'est pas une table")));
    EXPECT_FALSE(t->isOpen());
}

TEST_F(TableEcrite, TableChiffreeRefusee)
{
    for (int version : {4, 12}) {
        OptionsTable o;
        o.version = version;
        o.cleChiffrement = 0x5A17C0DE;
        ecrireTable(chemin("SECRET.DB"), {{QStringLiteral("A"), TypeChamp::Alpha, 5}}, {{s("x")}}, o);
        auto t = Table::depuisChemin(chemin("SECRET.DB"));
        const QString e = erreurDe([&] { t->open(); });
        EXPECT_TRUE(e.contains(QStringLiteral("mot de passe"))) << e.toStdString();
        EXPECT_TRUE(e.contains(QStringLiteral("SECRET.DB")));
        EXPECT_FALSE(t->isOpen());
    }
}

// ---------------------------------------------------------------- table objects and the alias

class Alias : public ::testing::Test
{
protected:
    QTemporaryDir programme;
    QString rep() const { return programme.path() + u'/'; }
    void ecrireAliasIni(const QByteArray &contenu)
    {
        ASSERT_TRUE(ecrireFichier(rep() + QStringLiteral("Alias.ini"), contenu));
    }
    void ecrirePerso(const QString &dossier, bool avecDetailCache)
    {
        QDir().mkpath(dossier);
        QList<Colonne> c{{QStringLiteral("Groupe"), TypeChamp::Short}, {QStringLiteral("Extra"), TypeChamp::Alpha, 3},
                         {QStringLiteral("Libelle"), TypeChamp::Alpha, 50}};
        QList<QVariant> l{1, s("x"), s("Modèle")};
        QList<QVariant> l2{2, QVariant(), QVariant()};
        if (avecDetailCache) {
            c.append({QStringLiteral("DetailCache"), TypeChamp::Memo, 11});
            l.append(s("caché"));
            l2.append(QVariant());
        }
        ecrireTable(dossier + QStringLiteral("PERSO.DB"), c, {l, l2});
    }
};

TEST_F(Alias, DossierParDefautEtNomsSansCasse)
{
    EXPECT_EQ(paradox::repertoireAlias(rep()), rep() + QStringLiteral("ZentraveAdministration/"));
    ecrirePerso(rep() + QStringLiteral("ZentraveAdministration/"), true);
    // Declared fields: exactly these, in this order, names as declared.
    Table t(rep(), QStringLiteral("Perso.DB"),
            {QStringLiteral("Libelle"), QStringLiteral("Groupe"), QStringLiteral("detailcache")});
    EXPECT_FALSE(t.isOpen());
    t.open();
    EXPECT_TRUE(t.isOpen());
    ASSERT_EQ(t.fieldCount(), 3);
    EXPECT_EQ(t.field(0).nom(), QStringLiteral("Libelle"));
    EXPECT_EQ(t.field(0).asString(), s("Modèle"));
    EXPECT_EQ(t.field(1).asInteger(), 1);
    EXPECT_EQ(t.field(2).asString(), s("caché"));
    EXPECT_TRUE(erreurDe([&] { t.fieldByName(QStringLiteral("Extra")); }).contains(QStringLiteral("« Extra »")));
    t.next();
    EXPECT_EQ(t.field(1).asInteger(), 2);
    EXPECT_TRUE(t.field(0).isNull());
    t.next();
    EXPECT_TRUE(t.eof());
    t.first();
    EXPECT_EQ(t.field(1).asInteger(), 1);
    t.close();
    EXPECT_FALSE(t.isOpen());
    EXPECT_TRUE(erreurDe([&] { t.recordCount(); }).contains(QStringLiteral("n'est pas ouverte")));
    EXPECT_TRUE(erreurDe([&] { t.field(0).asString(); }).contains(QStringLiteral("n'est pas ouverte")));
    t.open();
    EXPECT_EQ(t.field(1).asInteger(), 1);

    // Fields taken from the file: all of them, in the file's order.
    Table toutes(rep(), QStringLiteral("perso.db"));
    toutes.open();
    ASSERT_EQ(toutes.fieldCount(), 4);
    EXPECT_EQ(toutes.field(1).nom(), QStringLiteral("Extra"));
}

TEST_F(Alias, CheminDAliasIni)
{
    ecrireAliasIni("; tables\r\n[Autre]\r\nChemin=ailleurs\r\nMotDePasse=Autre\r\n[zentraveadministration]\r\n"
                   "CHEMIN = Donn\xE9" "es\\Tables\r\nMotDePasse2=Deux\r\n motdepasse = Un \r\n");
    const QString attendu = rep() + s("Données/Tables/");
    EXPECT_EQ(paradox::repertoireAlias(rep()), attendu);
    // Spaces around '=' as for Chemin; the value as written is kept to try after it.
    EXPECT_EQ(paradox::motsDePasseAlias(rep()), (QStringList{s("Un"), s(" Un "), s("Deux")}));
    ecrirePerso(attendu, true);
    Table t(rep(), QStringLiteral("Perso.DB"));
    t.open();
    EXPECT_EQ(t.recordCount(), 2);

    QTemporaryDir absolu;
    ecrireAliasIni("[ZentraveAdministration]\nChemin=" + absolu.path().toLocal8Bit() + "\n");
    EXPECT_EQ(paradox::repertoireAlias(rep()), absolu.path() + u'/');

    // A file without the key falls back to the folder beside the program.
    ecrireAliasIni("[ZentraveAdministration]\nAutre=1\n");
    EXPECT_EQ(paradox::repertoireAlias(rep()), rep() + QStringLiteral("ZentraveAdministration/"));
}

TEST_F(Alias, ErreursQuiNommentCeQuiManque)
{
    Table t(rep(), QStringLiteral("REMISES.DB"));
    QString e = erreurDe([&] { t.open(); });
    EXPECT_TRUE(e.contains(QStringLiteral("ZentraveAdministration"))) << e.toStdString();
    EXPECT_TRUE(e.contains(QStringLiteral("introuvable")));

    ecrirePerso(rep() + QStringLiteral("ZentraveAdministration/"), false);
    e = erreurDe([&] { t.open(); });
    EXPECT_TRUE(e.contains(QStringLiteral("« REMISES.DB »"))) << e.toStdString();

    Table perso(rep(), QStringLiteral("Perso.DB"), {QStringLiteral("Groupe"), QStringLiteral("DetailCache")});
    e = erreurDe([&] { perso.open(); });
    EXPECT_TRUE(e.contains(QStringLiteral("« DetailCache »"))) << e.toStdString();
    EXPECT_FALSE(perso.isOpen());

    auto direct = Table::depuisChemin(rep() + QStringLiteral("absente.DB"));
    EXPECT_TRUE(erreurDe([&] { direct->open(); }).contains(QStringLiteral("absente.DB")));
}

TEST_F(Alias, TableVide)
{
    const QString dossier = rep() + QStringLiteral("ZentraveAdministration/");
    QDir().mkpath(dossier);
    ecrireTable(dossier + QStringLiteral("MessageType.DB"), {{QStringLiteral("Externe"), TypeChamp::Short}}, {});
    Table t(rep(), QStringLiteral("MessageType.DB"));
    t.open();
    EXPECT_EQ(t.recordCount(), 0);
    t.first();
    EXPECT_TRUE(t.eof());
    EXPECT_TRUE(t.fieldByName(QStringLiteral("externe")).isNull());
    EXPECT_EQ(t.fieldByName(QStringLiteral("Externe")).asInteger(), 0);
    EXPECT_TRUE(erreurDe([&] { t.field(1); }).contains(QStringLiteral("MessageType.DB")));
}

} // namespace
