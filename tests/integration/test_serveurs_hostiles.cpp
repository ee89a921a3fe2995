#include "FtpServeur.h"
#include "OutilsTests.h"

#include "core/base/Chemins.h"
#include "core/base/Horloge.h"
#include "core/publish/FtpClient.h"
#include "core/reports/RecuperationRapports.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

// FTP servers that misbehave on purpose (tests/support/ftphostile.py, on 127.0.0.1, each
// stopping by itself): each case ends with a French message, without a crash, within its
// time-out, and writes nothing outside Rapport/.

namespace {

FtpServeur hostile(const char *mode, int piege = 0)
{
    return FtpServeur(QStringLiteral(HALVENOR_TEST_SUPPORT "/ftphostile.py"),
                      {QString::fromLatin1(mode), QStringLiteral("--duree"), QStringLiteral("120"),
                       QStringLiteral("--piege"), QString::number(piege)});
}

class ServeursHostiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_tmp.isValid());
        m_programme = m_tmp.filePath(QStringLiteral("programme/"));
        QDir().mkpath(m_programme);
        definirChemins(Chemins::depuisRepertoire(m_programme));
        definirHorloge(&m_horloge);
        m_chrono.start();
    }
    void TearDown() override
    {
        definirHorloge(nullptr);
        // Nothing anywhere in the program directory but the report folders and what they hold.
        QDirIterator it(m_programme, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString f = it.next();
            EXPECT_TRUE(f.startsWith(chemins().RepertoireRapport) || f + u'/' == chemins().RepertoireRapport)
                << qPrintable(f);
        }
    }

    SessionRapport session(int port)
    {
        CompteRapport compte;
        compte.Host = QStringLiteral("127.0.0.1");
        compte.Login = QStringLiteral("u");
        compte.Mdp = QStringLiteral("p");
        compte.Port = port;
        return SessionRapport(compte, chemins(), m_messages);
    }

    // One refresh as the report window runs it; the error it throws, if any.
    QString actualiser(int port)
    {
        SessionRapport s = session(port);
        bool recuperes = false;
        try {
            ChargerRapports(s, recuperes, 7, [&](const LigneRapport &l) { m_lignes << l; });
        } catch (const std::exception &e) {
            return texteErreur(e);
        }
        return {};
    }

    QTemporaryDir m_tmp;
    QString m_programme;
    HorlogeFixe m_horloge{QDateTime(QDate(2013, 3, 25), QTime(12, 0))};
    MessagesEnregistres m_messages;
    QList<LigneRapport> m_lignes;
    QElapsedTimer m_chrono;
};

TEST_F(ServeursHostiles, LigneSansFin)
{
    const FtpServeur serveur = hostile("ligne-sans-fin");
    // curl refuses an over-long reply line at once; the transfer time-out is the bound should it not.
    FtpClient ftp;
    ftp.setHost(QStringLiteral("127.0.0.1"));
    ftp.setPort(serveur.port());
    ftp.setTransferTimeout(5000);
    EXPECT_THROW(ftp.connect(), FtpError);
    EXPECT_FALSE(ftp.connected());
    // As the report window meets it.
    EXPECT_TRUE(actualiser(serveur.port()).isEmpty());
    ASSERT_EQ(m_messages.textes.size(), 1);
    EXPECT_TRUE(m_messages.textes[0].startsWith(QStringLiteral("Impossible de se connecter au serveur FTP")))
        << qPrintable(m_messages.textes[0]);
}

TEST_F(ServeursHostiles, ListeDeCentMegaOctetsRefusee)
{
    const FtpServeur serveur = hostile("liste-100mo");
    const QString erreur = actualiser(serveur.port());
    EXPECT_TRUE(erreur.contains(QStringLiteral("La liste du répertoire envoyée par le serveur dépasse 32 Mo")))
        << qPrintable(erreur);
}

TEST_F(ServeursHostiles, ListeDeCentMilleEntrees)
{
    const FtpServeur serveur = hostile("liste-100000");
    SessionRapport s = session(serveur.port());
    ASSERT_TRUE(s.ConnexionFTPRapport());
    const QList<FtpEntree> liste = s.ListerRapports();
    ASSERT_EQ(liste.size(), 100'000);
    EXPECT_EQ(liste.back().nom, u"099999.xml");
}

TEST_F(ServeursHostiles, AdressePassiveEtrangereIgnoree)
{
    const Piege piege("127.0.0.2");
    const FtpServeur serveur = hostile("pasv-ailleurs", piege.port());
    SessionRapport s = session(serveur.port());
    ASSERT_TRUE(s.ConnexionFTPRapport());
    // The listing arrives over the control connection's address, not the announced one.
    EXPECT_EQ(s.ListerRapports().size(), 1);
    EXPECT_FALSE(piege.connexionRecue(100));
}

TEST_F(ServeursHostiles, ConnexionCoupeeApresChaqueCommande)
{
    const FtpServeur serveur = hostile("coupe");
    const QString erreur = actualiser(serveur.port());
    EXPECT_TRUE(erreur.isEmpty()) << "a failed connection is shown, not thrown: " << qPrintable(erreur);
    ASSERT_EQ(m_messages.textes.size(), 1);
    EXPECT_TRUE(m_messages.textes[0].startsWith(QStringLiteral("Impossible de se connecter au serveur FTP")))
        << qPrintable(m_messages.textes[0]);
    EXPECT_TRUE(m_lignes.isEmpty());
}

TEST_F(ServeursHostiles, RapportDeDeuxGigaOctetsRefuse)
{
    // Announced (refused at once) or not (refused when the cap is reached).
    for (const char *mode : {"rapport-2go", "rapport-sans-fin"}) {
        const FtpServeur serveur = hostile(mode);
        m_lignes.clear();
        const QString erreur = actualiser(serveur.port());
        EXPECT_TRUE(erreur.isEmpty()) << mode << ": " << qPrintable(erreur);
        // The file gets its red line, the refresh goes on.
        ASSERT_EQ(m_lignes.size(), 1) << mode;
        EXPECT_TRUE(m_lignes[0].texte.contains(QStringLiteral("Le fichier 000000.xml dépasse la taille permise (16 Mo)")))
            << mode << ": " << qPrintable(m_lignes[0].texte);
        EXPECT_TRUE(QDir(chemins().RepertoireRapport).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }
}

// A real server whose reports are an entity bomb and an external entity pointing at a local file.
TEST_F(ServeursHostiles, BombeEtEntiteExterneDonnentDesLignesRouges)
{
    const QString maison = m_tmp.filePath(QStringLiteral("ftp/"));
    const QString secret = m_tmp.filePath(QStringLiteral("secret.txt"));
    ASSERT_TRUE(ecrireFichier(secret, "contenu local"));
    QByteArray bombe = "<?xml version=\"1.0\"?><!DOCTYPE MajAuto [<!ENTITY l0 \"rire\">";
    for (int i = 1; i <= 10; ++i)
        bombe += "<!ENTITY l" + QByteArray::number(i) + " \"" + QByteArray("&l" + QByteArray::number(i - 1) + ";").repeated(10)
                 + "\">";
    bombe += "]><MajAuto Date=\"25/03/2013\"><General><Etat Etat=\"1\"/><Messages><Message>&l10;</Message>"
             "</Messages></General></MajAuto>";
    const QByteArray externe = "<?xml version=\"1.0\"?><!DOCTYPE MajAuto [<!ENTITY s SYSTEM \""
        + QUrl::fromLocalFile(secret).toEncoded() + "\">]><MajAuto Date=\"25/03/2013\"><General><Etat Etat=\"1\"/>"
                                                     "<Messages><Message>&s;</Message></Messages></General></MajAuto>";
    ASSERT_TRUE(ecrireFichier(maison + QStringLiteral("Rapport/0001.xml"), bombe));
    ASSERT_TRUE(ecrireFichier(maison + QStringLiteral("Rapport/0002.xml"), externe));
    QDir().mkpath(maison + QStringLiteral("Rapport/Historique"));
    const FtpServeur serveur(
        QList<FtpServeur::Compte>{{QStringLiteral("u"), QStringLiteral("p"), maison, QStringLiteral("elr")}});
    EXPECT_TRUE(actualiser(serveur.port()).isEmpty());
    ASSERT_EQ(m_lignes.size(), 2);
    for (const LigneRapport &l : m_lignes) {
        EXPECT_TRUE(l.enErreur);
        EXPECT_EQ(l.texte, QStringLiteral("Impossible de lire le fichier XML : ") + chemins().RepertoireRapport + l.fichier);
    }
}

} // namespace
