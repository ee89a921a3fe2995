#include "core/publish/FtpClient.h"
#include "core/base/Chemins.h"
#include "core/publish/Envoi.h"
#include "core/reports/RecuperationRapports.h"

#include "FtpServeur.h"
#include "OutilsTests.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString Erreur = QStringLiteral("Une erreur est survenue (TFicheHalvenor::EnvoiParFtp): ");
const QString Connexion = QStringLiteral("Une erreur est survenue (TFicheHalvenor::ConnexionFTP): ");
const QString NonReconnu = QStringLiteral("Le certificat du serveur FTP n'est pas reconnu");
const QString SansTls = QStringLiteral("Le serveur FTP n'accepte pas de connexion chiffrée (TLS)");
const QString MotDePasse = QStringLiteral("Zq7-tres-secret");

// A program directory and the publishing account's folder, with the previous remise_achat.xml.
class TransfertsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(racine.isValid());
        definirChemins(Chemins::depuisRepertoire(racine.filePath(QStringLiteral("programme"))));
        siege = racine.filePath(QStringLiteral("siege")) + u'/';
        journal = racine.filePath(QStringLiteral("journal.txt"));
        ASSERT_TRUE(QDir().mkpath(siege));
        ASSERT_TRUE(QDir().mkpath(chemins().RepertoirePreparer));
        ASSERT_TRUE(ecrireFichier(siege + Nom, ancien));
        ASSERT_TRUE(ecrireFichier(chemins().RepertoirePreparer + Nom, nouveau));
    }

    void demarrer(const QString &panne = {}, bool tls = false, const QString &permissions = QStringLiteral("elradfmwMT"))
    {
        FtpServeur::Options options;
        options.journal = journal;
        options.panne = panne;
        if (tls) {
            options.certificat = cert;
            options.cle = cle;
        }
        serveur = std::make_unique<FtpServeur>(
            QList<FtpServeur::Compte>{{QStringLiteral("siege"), MotDePasse, siege, permissions}}, options);
    }

    void ini(const QByteArray &section, const QByteArray &plus = {}, const QString &mdp = MotDePasse)
    {
        ASSERT_TRUE(ecrireFichier(chemins().FichierIni, "[" + section + "]\r\nLogin=siege\r\nMdp=" + mdp.toUtf8()
                                                            + "\r\nHost=127.0.0.1\r\nPort="
                                                            + QByteArray::number(serveur->port()) + "\r\n" + plus));
    }

    bool envoyer()
    {
        FtpClient client;
        SessionFtp session(client, Parametres::lire(chemins().FichierIni).publication, chemins().RepertoireProgramme,
                           messages);
        return Envoi(session, ModeEnvoi::FTP, QString(), messages).EnvoiFichier(chemins().RepertoirePreparer + Nom, Nom);
    }

    // The commands the server received, from the first STOR on.
    QStringList commandes() const
    {
        QStringList lignes = QString::fromUtf8(lireFichier(journal)).split(u'\n', Qt::SkipEmptyParts);
        while (!lignes.isEmpty() && !lignes.first().startsWith(QStringLiteral("STOR")))
            lignes.removeFirst();
        QStringList utiles;
        for (const QString &l : lignes)
            if (QRegularExpression(QStringLiteral("^(STOR|SIZE|RNFR|RNTO|DELE) ")).match(l).hasMatch())
                utiles << l;
        return utiles;
    }

    QStringList fichiersServeur() const { return QDir(siege).entryList(QDir::Files | QDir::Hidden); }

    void certificat(const QString &noms = QStringLiteral("DNS:localhost,IP:127.0.0.1"))
    {
        FtpServeur::creerCertificat(racine.path(), noms, cert, cle);
    }

    const QString Nom = QStringLiteral("remise_achat.xml");
    const QString Temporaire = QStringLiteral(".remise_achat.xml.partiel");
    const QByteArray ancien = QByteArray("<ancien/>").repeated(1000);
    const QByteArray nouveau = QByteArray("<RemisesAchat Ligne=\"\xe9\"/>\r\n").repeated(40000); // ~1 MB
    QTemporaryDir racine;
    QString siege, journal, cert, cle;
    std::unique_ptr<FtpServeur> serveur;
    MessagesEnregistres messages;
};

TEST_F(TransfertsTest, EnvoiSousUnNomTemporairePuisRenomme)
{
    demarrer();
    ini("Halvenor_FTP");
    ASSERT_TRUE(envoyer()) << messages.textes.join(u'\n').toStdString();
    EXPECT_TRUE(messages.textes.isEmpty());
    EXPECT_EQ(commandes(), (QStringList{QStringLiteral("STOR ") + Temporaire, QStringLiteral("SIZE ") + Temporaire,
                                        QStringLiteral("RNFR ") + Temporaire, QStringLiteral("RNTO ") + Nom}));
    EXPECT_EQ(lireFichier(siege + Nom), nouveau);
    EXPECT_EQ(fichiersServeur(), QStringList{Nom});
}

TEST_F(TransfertsTest, ConnexionDeDonneesCoupeeLaisseLAncienFichier)
{
    demarrer(QStringLiteral("cut"));
    ini("Halvenor_FTP");
    EXPECT_FALSE(envoyer());
    ASSERT_EQ(messages.textes.size(), 1);
    EXPECT_TRUE(messages.textes[0].startsWith(Erreur)) << messages.textes[0].toStdString();
    EXPECT_EQ(lireFichier(siege + Nom), ancien);
    EXPECT_FALSE(commandes().join(u' ').contains(QStringLiteral("RNFR")));
}

TEST_F(TransfertsTest, RenommageRefuseSurUnFichierExistant)
{
    demarrer(QStringLiteral("no-overwrite"));
    ini("Halvenor_FTP");
    ASSERT_TRUE(envoyer()) << messages.textes.join(u'\n').toStdString();
    EXPECT_EQ(commandes().mid(2), (QStringList{QStringLiteral("RNFR ") + Temporaire, QStringLiteral("RNTO ") + Nom,
                                               QStringLiteral("SIZE ") + Nom, QStringLiteral("DELE ") + Nom, QStringLiteral("RNFR ") + Temporaire,
                                               QStringLiteral("RNTO ") + Nom}));
    EXPECT_EQ(lireFichier(siege + Nom), nouveau);
    EXPECT_EQ(fichiersServeur(), QStringList{Nom});

    // A final name that cannot be freed (a folder): the failure with the server's reply, and
    // the temporary file goes.
    messages.textes.clear();
    ASSERT_TRUE(QFile::remove(siege + Nom));
    ASSERT_TRUE(QDir().mkpath(siege + Nom));
    EXPECT_FALSE(envoyer());
    ASSERT_EQ(messages.textes.size(), 1);
    EXPECT_TRUE(messages.textes[0].startsWith(Erreur)) << messages.textes[0].toStdString();
    EXPECT_TRUE(messages.textes[0].contains(QStringLiteral("550"))) << messages.textes[0].toStdString();
    EXPECT_EQ(commandes().last(), QStringLiteral("DELE ") + Temporaire);
    EXPECT_TRUE(fichiersServeur().isEmpty());
}

// Renaming refused outright (deleting allowed): with no file in the way, nothing is deleted
// but the temporary file, and the refusal is what the user reads.
TEST_F(TransfertsTest, RenommageInterditNeSupprimeRien)
{
    ASSERT_TRUE(QFile::remove(siege + Nom));
    demarrer({}, false, QStringLiteral("elradmwMT"));
    ini("Halvenor_FTP");
    EXPECT_FALSE(envoyer());
    ASSERT_EQ(messages.textes.size(), 1);
    EXPECT_TRUE(messages.textes[0].contains(QStringLiteral("550"))) << messages.textes[0].toStdString();
    EXPECT_FALSE(commandes().contains(QStringLiteral("DELE ") + Nom)) << commandes().join(u' ').toStdString();
    EXPECT_EQ(commandes().last(), QStringLiteral("DELE ") + Temporaire);
    EXPECT_TRUE(fichiersServeur().isEmpty());
}

TEST_F(TransfertsTest, TailleNonConformeEstUnEchec)
{
    demarrer(QStringLiteral("truncate"));
    ini("Halvenor_FTP");
    EXPECT_FALSE(envoyer());
    ASSERT_EQ(messages.textes.size(), 1);
    EXPECT_TRUE(messages.textes[0].startsWith(Erreur)) << messages.textes[0].toStdString();
    EXPECT_TRUE(messages.textes[0].contains(QString::number(nouveau.size()))) << messages.textes[0].toStdString();
    EXPECT_EQ(lireFichier(siege + Nom), ancien);
    EXPECT_EQ(fichiersServeur(), QStringList{Nom});
}

TEST_F(TransfertsTest, PublicationEtRapportsEnTls)
{
    certificat();
    demarrer({}, true);
    ASSERT_TRUE(ecrireFichier(siege + QStringLiteral("Rapport/MAG01_20260101120000.xml"), "<Rapport/>"));
    // A relative CertificatCA is taken from the program directory.
    ASSERT_TRUE(QFile::copy(cert, chemins().RepertoireProgramme + QStringLiteral("ca.pem")));
    ini("Halvenor_FTP", "TLS=1\r\nCertificatCA=ca.pem\r\n");
    ASSERT_TRUE(envoyer()) << messages.textes.join(u'\n').toStdString();
    EXPECT_EQ(lireFichier(siege + Nom), nouveau);
    EXPECT_TRUE(lireFichier(journal).contains("PROT P"));

    ini("Halvenor_Rapport", "TLS=1\r\nCertificatCA=" + cert.toUtf8() + "\r\n");
    PreparerRepertoireRapport(chemins());
    SessionRapport rapports(LireCompteRapport(chemins().FichierIni), chemins(), messages);
    ASSERT_TRUE(rapports.ConnexionFTPRapport()) << messages.textes.join(u'\n').toStdString();
    const QList<FtpEntree> liste = rapports.ListerRapports();
    ASSERT_EQ(liste.size(), 1);
    rapports.TelechargerRapport(liste.first());
    EXPECT_EQ(lireFichier(chemins().RepertoireRapport + liste.first().nom), "<Rapport/>");

    // Without CertificatCA the self-signed certificate is not trusted.
    messages.textes.clear();
    ini("Halvenor_FTP", "TLS=1\r\n");
    EXPECT_FALSE(envoyer());
    ASSERT_EQ(messages.textes.size(), 1);
    EXPECT_TRUE(messages.textes[0].startsWith(Connexion + NonReconnu)) << messages.textes[0].toStdString();
    EXPECT_EQ(lireFichier(siege + Nom), nouveau);
}

TEST_F(TransfertsTest, EchecsTls)
{
    // The chain is trusted but is made out for another name.
    certificat(QStringLiteral("DNS:ailleurs.example"));
    demarrer({}, true);
    ini("Halvenor_FTP", "TLS=1\r\nCertificatCA=" + cert.toUtf8() + "\r\n");
    EXPECT_FALSE(envoyer());
    ASSERT_EQ(messages.textes.size(), 1);
    EXPECT_TRUE(messages.textes[0].startsWith(
        Connexion + QStringLiteral("Le certificat du serveur FTP n'est pas établi pour le nom « 127.0.0.1 »")))
        << messages.textes[0].toStdString();

    // A plain server: no silent fall back to clear text.
    messages.textes.clear();
    serveur.reset();
    QFile::remove(journal);
    demarrer();
    ini("Halvenor_FTP", "TLS=1\r\n");
    EXPECT_FALSE(envoyer());
    ASSERT_EQ(messages.textes.size(), 1);
    EXPECT_TRUE(messages.textes[0].startsWith(Connexion + SansTls)) << messages.textes[0].toStdString();
    EXPECT_FALSE(lireFichier(journal).contains("USER")) << "no log-in in clear";

    // A CertificatCA that is not there.
    messages.textes.clear();
    ini("Halvenor_FTP", "TLS=1\r\nCertificatCA=absent.pem\r\n");
    EXPECT_FALSE(envoyer());
    ASSERT_EQ(messages.textes.size(), 1);
    EXPECT_TRUE(messages.textes[0].contains(QStringLiteral("absent.pem"))) << messages.textes[0].toStdString();
    EXPECT_EQ(lireFichier(siege + Nom), ancien);
}

// Every output of failed runs, program and window messages alike, is searched for the password.
TEST_F(TransfertsTest, AucunMotDePasseDansLesSorties)
{
    // The server quotes a wrong password in its refusal.
    demarrer(QStringLiteral("echo-password"));
    const QString faux = MotDePasse + QStringLiteral("-faux");
    QString tout;
    auto lancer = [&](const QByteArray &cles, const QStringList &args) {
        ASSERT_TRUE(ecrireFichier(chemins().FichierIni, cles + lireFichier(chemins().FichierIni)));
        QProcess p;
        p.start(QStringLiteral(HALVENOR_CLI),
                QStringList{QStringLiteral("--repertoire"), chemins().RepertoireProgramme} + args);
        ASSERT_TRUE(p.waitForFinished(120000));
        EXPECT_EQ(p.exitCode(), 1) << args.join(u' ').toStdString();
        tout += QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
    };
    const QByteArray remise = "[Halvenor]\r\nRemise_Achat=1\r\nDocument=1\r\nTypeEnvoi=FTP\r\n";

    ini("Halvenor_FTP", {}, faux);
    lancer(remise, {QStringLiteral("envoyer"), QStringLiteral("remise")});
    EXPECT_FALSE(envoyer());
    ini("Halvenor_Rapport", {}, faux);
    lancer({}, {QStringLiteral("rapports")});
    // The right password, and a failure after the log-in (the documents were never generated).
    ini("Halvenor_FTP");
    lancer(remise, {QStringLiteral("envoyer"), QStringLiteral("tout")});
    ini("Halvenor_FTP", "TLS=1\r\n");
    lancer(remise, {QStringLiteral("envoyer"), QStringLiteral("remise")});
    EXPECT_FALSE(envoyer());

    tout += messages.textes.join(u'\n');
    EXPECT_TRUE(tout.contains(QStringLiteral("530"))) << tout.toStdString();
    EXPECT_TRUE(tout.contains(QStringLiteral("mes_docs.xml"))) << tout.toStdString();
    EXPECT_FALSE(tout.contains(MotDePasse)) << tout.toStdString();
}

} // namespace
