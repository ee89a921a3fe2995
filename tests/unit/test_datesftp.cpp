#include "core/publish/FtpClient.h"

#include <gtest/gtest.h>

#include <QTimeZone>

#include <cstdlib>
#include <cstring>

// Run twice by ctest, under TZ=UTC and TZ=Europe/Paris.
namespace {

bool aParis()
{
    const char *tz = std::getenv("TZ");
    return tz && std::strcmp(tz, "Europe/Paris") == 0;
}

QDateTime utc(int a, int m, int j, int h, int mn)
{
    return QDateTime(QDate(a, m, j), QTime(h, mn), QTimeZone::utc());
}

TEST(DatesFtp, MlsdEtMdtmSontEnUtcPuisEnHeureLocale)
{
    // Spring change: 01:00 UTC becomes 03:00 in Paris; read as local time, 02:30 would not exist.
    const QDateTime printemps = dateUtcFtp("20240331023000");
    ASSERT_TRUE(printemps.isValid());
    EXPECT_EQ(printemps.timeSpec(), Qt::LocalTime);
    EXPECT_EQ(printemps.toUTC(), utc(2024, 3, 31, 2, 30));
    EXPECT_EQ(printemps.time(), aParis() ? QTime(4, 30) : QTime(2, 30));

    // Autumn change: 02:30 happens twice in Paris; the two UTC instants stay apart.
    const QDateTime avant = dateUtcFtp("20241027003000");
    const QDateTime apres = dateUtcFtp("20241027013000.250");
    EXPECT_EQ(avant.toUTC(), utc(2024, 10, 27, 0, 30));
    EXPECT_EQ(apres.toUTC(), utc(2024, 10, 27, 1, 30));
    EXPECT_EQ(avant.secsTo(apres), 3600);
    if (aParis()) {
        EXPECT_EQ(avant.time(), QTime(2, 30));
        EXPECT_EQ(apres.time(), QTime(2, 30));
    }

    // Midnight: the local day is what the J- rule compares.
    EXPECT_EQ(dateUtcFtp("20240325233000").date(), aParis() ? QDate(2024, 3, 26) : QDate(2024, 3, 25));
    EXPECT_EQ(dateUtcFtp("20240325000000").date(), QDate(2024, 3, 25));

    EXPECT_EQ(dateMdtm("213 20240331023000").toUTC(), utc(2024, 3, 31, 2, 30));
    for (const char *mauvais : {"", "2024033102300", "20241332000000", "2024O331023000", "20240230120000"})
        EXPECT_FALSE(dateUtcFtp(mauvais).isValid()) << mauvais;
    EXPECT_FALSE(dateMdtm("550 20240331023000").isValid());
    EXPECT_FALSE(dateMdtm("213 ").isValid());
}

TEST(DatesFtp, ListeSansFuseauDemandeMdtmPresDeLaLimiteSeulement)
{
    const QDate limite(2024, 3, 30);
    EXPECT_TRUE(dateListeIncertaine(QDateTime(QDate(2024, 3, 29), QTime(23, 59)), limite));
    EXPECT_TRUE(dateListeIncertaine(QDateTime(limite, QTime(0, 0)), limite));
    EXPECT_TRUE(dateListeIncertaine(QDateTime(QDate(2024, 3, 31), QTime(3, 0)), limite));
    EXPECT_FALSE(dateListeIncertaine(QDateTime(QDate(2024, 3, 28), QTime(23, 0)), limite));
    EXPECT_FALSE(dateListeIncertaine(QDateTime(QDate(2024, 4, 1), QTime(0, 0)), limite));
    EXPECT_FALSE(dateListeIncertaine(QDateTime(), limite));

    // LIST entries say their date has no zone; MLSD ones do not.
    const auto liste = analyserList("-rw-r--r-- 1 u g 10 Mar 31 02:30 a.xml\r\n", QDateTime(QDate(2024, 4, 2), QTime(12, 0)));
    ASSERT_EQ(liste.size(), 1);
    EXPECT_TRUE(liste[0].sansFuseau);
    const auto mlsd = analyserMlsd("type=file;modify=20240331023000; a.xml\r\n");
    ASSERT_EQ(mlsd.size(), 1);
    EXPECT_FALSE(mlsd[0].sansFuseau);
    EXPECT_EQ(mlsd[0].modification.toUTC(), utc(2024, 3, 31, 2, 30));
}

TEST(DatesFtp, FuseauDeListeApprisDUnMdtmPuisAppliqueAChaqueLigne)
{
    // A server whose LIST prints Paris summer time (UTC+2): 31 Mar 04:31 for 02:30:40 UTC.
    const QDateTime liste(QDate(2024, 3, 31), QTime(4, 31));
    const QDateTime mdtm = utc(2024, 3, 31, 2, 30).addSecs(40).toLocalTime();
    EXPECT_EQ(decalageListe(liste, mdtm), 7200);
    // The minute LIST drops never moves the quarter hour, on either side of UTC.
    EXPECT_EQ(decalageListe(QDateTime(QDate(2024, 1, 1), QTime(19, 0)), utc(2024, 1, 2, 0, 59).toLocalTime()), -6 * 3600);
    EXPECT_EQ(decalageListe(QDateTime(QDate(2024, 1, 1), QTime(5, 45)), utc(2024, 1, 1, 0, 0).addSecs(59).toLocalTime()),
              5 * 3600 + 45 * 60);
    EXPECT_EQ(decalageListe(QDateTime(), mdtm), 0);

    EXPECT_EQ(dateListeCorrigee(QDateTime(QDate(2024, 3, 29), QTime(23, 50)), 7200).toUTC(), utc(2024, 3, 29, 21, 50));
    EXPECT_FALSE(dateListeCorrigee(QDateTime(), 0).isValid());

    // Once corrected, only minutes around the limit's midnight (local) stay uncertain.
    const QDate limite(2024, 3, 30);
    const QDateTime minuit(limite, QTime(0, 0));
    EXPECT_TRUE(dateCorrigeeIncertaine(minuit.addSecs(-MargeListeSecondes), limite));
    EXPECT_TRUE(dateCorrigeeIncertaine(minuit.addSecs(MargeListeSecondes), limite));
    EXPECT_FALSE(dateCorrigeeIncertaine(minuit.addSecs(MargeListeSecondes + 60), limite));
    EXPECT_FALSE(dateCorrigeeIncertaine(minuit.addSecs(-3600), limite));
    EXPECT_FALSE(dateCorrigeeIncertaine(QDateTime(), limite));

    // Old files list a day without a time: no zone can be learnt from them.
    const auto lignes = analyserList("-rw-r--r-- 1 u g 10 Mar 31 2020 vieux.xml\r\n-rw-r--r-- 1 u g 10 Mar 31 02:30 a.xml\r\n",
                                     QDateTime(QDate(2024, 4, 2), QTime(12, 0)));
    ASSERT_EQ(lignes.size(), 2);
    EXPECT_TRUE(lignes[0].sansHeure);
    EXPECT_FALSE(lignes[1].sansHeure);
}

TEST(DatesFtp, Reponse421AUnTexteAElle)
{
    const EchecFtp e = echecCurl(8 /* CURLE_WEIRD_SERVER_REPLY */, 421, "421 Too many connections (2) from this IP", {});
    EXPECT_EQ(e.cause, CauseFtp::TropDeConnexions);
    EXPECT_EQ(e.texte(), QStringLiteral("Le serveur FTP refuse une connexion de plus (trop de connexions depuis cette "
                                        "adresse) : 421 Too many connections (2) from this IP"));
}

// The password is masked where a server echoes it, and only there: a short password that
// is also a piece of ordinary words leaves those words alone ("cou********ée" was shown).
TEST(DatesFtp, MotDePasseMasqueSeulementCommeMotEntier)
{
    const QString coupee = QStringLiteral("La connexion avec le serveur FTP a été coupée : 421 Session coupée");
    for (const char *mdp : {"p", "pé", "coup", "onnexion", "eur FTP"})
        EXPECT_EQ(masquerMotDePasse(coupee, QString::fromUtf8(mdp)), coupee) << mdp;
    EXPECT_EQ(masquerMotDePasse(QStringLiteral("530 Login incorrect with password Zq7-tres-secret."),
                                QStringLiteral("Zq7-tres-secret")),
              QStringLiteral("530 Login incorrect with password ********."));
    // Every standalone occurrence, at either end, and after a longer word that holds it.
    EXPECT_EQ(masquerMotDePasse(QStringLiteral("in: login in (in)"), QStringLiteral("in")),
              QStringLiteral("********: login ******** (********)"));
    EXPECT_EQ(masquerMotDePasse(QStringLiteral("user=siege;pass=é2!x;"), QStringLiteral("é2!x")),
              QStringLiteral("user=siege;pass=********;"));
    // Edges that are not word characters can touch anything.
    EXPECT_EQ(masquerMotDePasse(QStringLiteral("a#!b"), QStringLiteral("#!")), QStringLiteral("a********b"));
    EXPECT_EQ(masquerMotDePasse(QStringLiteral("rien"), QString()), QStringLiteral("rien"));
}

TEST(DatesFtp, NomsGardesEnOctets)
{
    const auto liste = analyserList("-rw-r--r-- 1 u g 10 Mar 25 06:30 caf\xe9.xml\r\n"
                                    "-rw-r--r-- 1 u g 10 Mar 25 06:30 caf\xc3\xa9 2.xml\r\n",
                                    QDateTime(QDate(2024, 4, 2), QTime(12, 0)));
    ASSERT_EQ(liste.size(), 2);
    EXPECT_EQ(liste[0].brut, QByteArray("caf\xe9.xml"));
    EXPECT_EQ(liste[0].nom, QStringLiteral("café.xml"));
    EXPECT_EQ(liste[1].brut, QByteArray("caf\xc3\xa9 2.xml"));
    EXPECT_EQ(liste[1].nom, QStringLiteral("café 2.xml"));
    const auto mlsd = analyserMlsd("type=file; caf\xe9.xml\r\n");
    ASSERT_EQ(mlsd.size(), 1);
    EXPECT_EQ(mlsd[0].brut, QByteArray("caf\xe9.xml"));
    EXPECT_EQ(mlsd[0].nom, QStringLiteral("café.xml"));
}

} // namespace
