#include "core/publish/FtpClient.h"

#include <QTimeZone>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

// A zone away from UTC, so that a missing UTC-to-local conversion shows.
class FuseauParis : public ::testing::Environment
{
public:
    void SetUp() override
    {
        setenv("TZ", "Europe/Paris", 1);
        tzset();
    }
};
const auto *fuseau = ::testing::AddGlobalTestEnvironment(new FuseauParis);

QDateTime local(int a, int m, int j, int h, int mn)
{
    return QDateTime(QDate(a, m, j), QTime(h, mn));
}

const FtpEntree *trouver(const QList<FtpEntree> &l, const QString &nom)
{
    for (const FtpEntree &e : l)
        if (e.nom == nom)
            return &e;
    return nullptr;
}

TEST(AnalyserMlsd, LignesDeServeursReels)
{
    const QByteArray texte =
        // pyftpdlib
        "type=cdir;perm=elcmp;unique=fe00ga722e0; .\r\n"
        "type=pdir;perm=el;unique=fe00g9b1c47; ..\r\n"
        "modify=20240325063000;perm=radfwMT;size=6;type=file;unique=fe00ga722e1; 0042.xml\r\n"
        "modify=20240101120000;perm=elcmp;type=dir;unique=fe00g1; Historique\r\n"
        // facts in capitals and fractional seconds (IIS, ProFTPD)
        "Type=file;Size=1234;Modify=20130725221530.123; nom avec  deux espaces.xml\r\n"
        // symbolic links as ProFTPD and vsftpd-like servers give them
        "type=OS.unix=symlink;modify=20240325063000; lien.xml\r\n"
        "type=OS.unix=slink:/data/cible;modify=20240325063000; lien2\r\n"
        "\r\n"
        "size=3;type=file;modify=20240325063000; sans retour chariot.xml\n";
    const QList<FtpEntree> l = analyserMlsd(texte);

    ASSERT_EQ(l.size(), 6);
    EXPECT_EQ(trouver(l, QStringLiteral(".")), nullptr);
    EXPECT_EQ(trouver(l, QStringLiteral("..")), nullptr);

    const FtpEntree *f = trouver(l, QStringLiteral("0042.xml"));
    ASSERT_TRUE(f);
    EXPECT_EQ(f->type, FtpEntree::Type::Fichier);
    // 06:30 UTC is 07:30 in Paris in March (before summer time).
    EXPECT_EQ(f->modification.toUTC(), QDateTime(QDate(2024, 3, 25), QTime(6, 30), QTimeZone::utc()));
    EXPECT_EQ(f->modification.timeSpec(), Qt::LocalTime);
    EXPECT_EQ(f->modification.time(), QTime(7, 30));

    const FtpEntree *d = trouver(l, QStringLiteral("Historique"));
    ASSERT_TRUE(d);
    EXPECT_EQ(d->type, FtpEntree::Type::Repertoire);

    const FtpEntree *espaces = trouver(l, QStringLiteral("nom avec  deux espaces.xml"));
    ASSERT_TRUE(espaces);
    EXPECT_EQ(espaces->type, FtpEntree::Type::Fichier);
    // Summer: UTC+2, so 22:15:30 UTC is the next day locally.
    EXPECT_EQ(espaces->modification.date(), QDate(2013, 7, 26));
    EXPECT_EQ(espaces->modification.time(), QTime(0, 15, 30));

    for (const char *lien : {"lien.xml", "lien2"}) {
        const FtpEntree *e = trouver(l, QString::fromLatin1(lien));
        ASSERT_TRUE(e) << lien;
        EXPECT_EQ(e->type, FtpEntree::Type::Autre) << lien;
    }
    EXPECT_TRUE(trouver(l, QStringLiteral("sans retour chariot.xml")));
}

TEST(AnalyserMlsd, DatesAbsentesOuInvalides)
{
    const QList<FtpEntree> l = analyserMlsd("type=file;size=3; a.xml\r\ntype=file;modify=garbage; b.xml\r\n"
                                            "ligne-sans-espace\r\n");
    ASSERT_EQ(l.size(), 2);
    EXPECT_FALSE(l[0].modification.isValid());
    EXPECT_FALSE(l[1].modification.isValid());
}

TEST(AnalyserList, UnixDatesRecentesEtAnciennes)
{
    const QByteArray texte =
        "total 24\r\n"
        "drwxr-xr-x   2 ftp      ftp          4096 Jan 02 09:15 .\r\n"
        "drwxr-xr-x   3 ftp      ftp          4096 Jan 02 09:15 ..\r\n"
        "-rw-r--r--   1 root     root            6 Mar 25 06:30 0042.xml\r\n"
        "-rw-r--r--   1 ftp      ftp        123456 Mar 25  2013 vieux.xml\r\n"
        "drwxr-xr-x   2 1000     1000         4096 Dec  8 11:45 Historique\r\n"
        "lrwxrwxrwx   1 0        0              11 Mar 25 06:30 lien -> cible.xml\r\n"
        "-rw-r--r-- 1 ftp 77 Aug  1 23:59 sans groupe.xml\r\n"
        "-rw-r--r--   1 ftp      ftp             5 Mar 25 06:30 nom avec  Mar 25  2013 dedans.xml\r\n";

    // In June 2024, "Mar 25 06:30" is this year's, "Dec 8" would be in the future: last year's.
    const QList<FtpEntree> l = analyserList(texte, local(2024, 6, 1, 12, 0));
    ASSERT_EQ(l.size(), 6);

    EXPECT_EQ(l[0].nom, QStringLiteral("0042.xml"));
    EXPECT_EQ(l[0].type, FtpEntree::Type::Fichier);
    EXPECT_EQ(l[0].modification, local(2024, 3, 25, 6, 30));

    EXPECT_EQ(l[1].nom, QStringLiteral("vieux.xml"));
    EXPECT_EQ(l[1].modification.date(), QDate(2013, 3, 25));

    EXPECT_EQ(l[2].nom, QStringLiteral("Historique"));
    EXPECT_EQ(l[2].type, FtpEntree::Type::Repertoire);
    EXPECT_EQ(l[2].modification, local(2023, 12, 8, 11, 45));

    EXPECT_EQ(l[3].nom, QStringLiteral("lien"));
    EXPECT_EQ(l[3].type, FtpEntree::Type::Autre);

    EXPECT_EQ(l[4].nom, QStringLiteral("sans groupe.xml"));
    EXPECT_EQ(l[4].modification, local(2023, 8, 1, 23, 59));

    EXPECT_EQ(l[5].nom, QStringLiteral("nom avec  Mar 25  2013 dedans.xml"));
    EXPECT_EQ(l[5].modification, local(2024, 3, 25, 6, 30));

    // Early in the year, the same March date belongs to the year before.
    const QList<FtpEntree> janvier = analyserList(texte, local(2024, 1, 10, 8, 0));
    ASSERT_EQ(janvier.size(), 6);
    EXPECT_EQ(janvier[0].modification, local(2023, 3, 25, 6, 30));
}

TEST(AnalyserList, MsDos)
{
    const QByteArray texte = "03-25-13  06:30AM       <DIR>          Historique\r\n"
                             "03-25-24  06:30PM                 1234 rapport 0042.xml\r\n"
                             "12-01-99  12:05AM                   42 minuit.xml\r\n"
                             "07-14-2021  12:40PM                 1,024 midi.xml\r\n";
    const QList<FtpEntree> l = analyserList(texte, local(2024, 6, 1, 12, 0));
    ASSERT_EQ(l.size(), 4);

    EXPECT_EQ(l[0].nom, QStringLiteral("Historique"));
    EXPECT_EQ(l[0].type, FtpEntree::Type::Repertoire);
    EXPECT_EQ(l[0].modification, local(2013, 3, 25, 6, 30));

    EXPECT_EQ(l[1].nom, QStringLiteral("rapport 0042.xml"));
    EXPECT_EQ(l[1].type, FtpEntree::Type::Fichier);
    EXPECT_EQ(l[1].modification, local(2024, 3, 25, 18, 30));

    EXPECT_EQ(l[2].modification, local(1999, 12, 1, 0, 5));
    EXPECT_EQ(l[3].nom, QStringLiteral("midi.xml"));
    EXPECT_EQ(l[3].modification, local(2021, 7, 14, 12, 40));
}

TEST(AnalyserList, LignesLonguesPlafonneesEtVoisinesLues)
{
    // Inputs that made the old patterns backtrack for seconds; the lines beside them still read.
    const QByteArray chiffres(100'000, '1');
    const QByteArray texte = "-rw-r--r-- 1 o g " + chiffres + "\r\n"
        + "-rw-r--r-- 1 o g " + QByteArray(2000, '9') + " Mar 25 06:30 long.xml\r\n"
        + "-rw-r--r-- 1 o g 1 Mar 25 06:30 " + QByteArray(5000, 'n') + "\r\n"
        + "03-25-13  06:30AM" + QByteArray(3000, ' ') + "x\r\n"
        + "03-25-13  06:30 PM  <DIR>  Historique\r\n"
        + "-rw-r--r-- 1 o g 12 Mar 25 06:30 0042.xml\r\n";
    const auto l = analyserList(texte, local(2024, 6, 1, 12, 0));
    ASSERT_EQ(l.size(), 3);
    EXPECT_EQ(l[0].nom, u"long.xml");
    EXPECT_EQ(l[1].nom, u"Historique");
    EXPECT_EQ(l[1].modification, local(2013, 3, 25, 18, 30));
    EXPECT_EQ(l[2].nom, u"0042.xml");
    // MLSD too: a line beyond the cap is skipped.
    const auto m = analyserMlsd("type=file; " + QByteArray(5000, 'n') + "\r\ntype=file; a.xml\r\n");
    ASSERT_EQ(m.size(), 1);
    EXPECT_EQ(m[0].nom, u"a.xml");
}

TEST(AnalyserList, LignesInconnuesIgnorees)
{
    EXPECT_TRUE(analyserList("", local(2024, 6, 1, 12, 0)).isEmpty());
    EXPECT_TRUE(analyserList("total 0\r\n550 No files found\r\n", local(2024, 6, 1, 12, 0)).isEmpty());
}

} // namespace
