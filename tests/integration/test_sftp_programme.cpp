// The program over SFTP, against OpenSSH's sshd: halvenor-cli publishes, refreshes and fetches
// a history exactly as it does over FTP.
#include "BancFtp.h"
#include "FtpServeur.h"
#include "SshServeur.h"

#include "core/base/Chemins.h"
#include "core/publish/SftpClient.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>

namespace {

SortieProgramme cli(const QStringList &args)
{
    return lancerCli(chemins().RepertoireProgramme, args);
}

QStringList lignesTriees(const QString &texte)
{
    QStringList l = texte.split(u'\n', Qt::SkipEmptyParts);
    l.sort();
    return l;
}

class SftpProgramme : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        QDir().mkpath(racine());
        serveur = std::make_unique<SshServeur>(racine());
        // The key sits in the program directory, named relative to it as a head office would.
        ASSERT_TRUE(QFile::copy(serveur->cleClient(), chemins().RepertoireProgramme + QStringLiteral("cle_siege")));
        QFile::setPermissions(chemins().RepertoireProgramme + QStringLiteral("cle_siege"),
                              QFile::ReadOwner | QFile::WriteOwner);
        compte.protocole = CompteFtp::Protocole::SFTP;
        compte.Host = QStringLiteral("127.0.0.1");
        compte.Port = serveur->port();
        compte.Login = serveur->utilisateur();
        compte.Mdp = QStringLiteral("pas-le-bon");
        compte.empreinteSsh = serveur->empreinte();
        compte.cleSsh = QStringLiteral("cle_siege");
        configurer(compte);
    }

    // Both accounts, and the main window's rows for envoyer.
    void configurer(const CompteFtp &c)
    {
        banc.configurer(c);
        QFile f(chemins().FichierIni);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write("[Halvenor]\r\nRemise_Achat=1\r\nPersonnalisation=1\r\nMessage=0\r\nDocument=0\r\nTypeEnvoi=FTP\r\n");
    }

    QString racine() const { return tmp.path() + QStringLiteral("/compte"); }

    QTemporaryDir tmp;
    BancFtp banc;
    std::unique_ptr<SshServeur> serveur;
    CompteFtp compte;
};

QByteArray aleatoire(qsizetype taille)
{
    QByteArray b(taille, Qt::Uninitialized);
    for (char &c : b)
        c = static_cast<char>(QRandomGenerator::global()->bounded(256));
    return b;
}

} // namespace

TEST_F(SftpProgramme, EnvoyerDeuxFoisDonneLesFichiersOctetPourOctetSansPartiel)
{
    const QStringList noms{QStringLiteral("personnalisation.xml"), QStringLiteral("remise_achat.xml")};
    for (const qsizetype taille : {300000, 1000}) {
        for (const QString &nom : noms)
            ASSERT_TRUE(ecrireFichier(chemins().RepertoirePreparer + nom, aleatoire(taille)));
        const SortieProgramme s = cli({QStringLiteral("envoyer"), QStringLiteral("tout")});
        ASSERT_EQ(s.code, 0) << s.erreurs.toStdString();
        EXPECT_EQ(s.texte.count(QStringLiteral("Publié : ")), 2) << s.texte.toStdString();
        for (const QString &nom : noms)
            EXPECT_EQ(lireFichier(racine() + u'/' + nom, "absent"), lireFichier(chemins().RepertoirePreparer + nom))
                << nom.toStdString();
        EXPECT_EQ(BancFtp::contenu(racine()), noms);
    }
}

TEST_F(SftpProgramme, RapportsEtHistoriqueCommeParFtp)
{
    banc.ecrireRapports(racine(), 23, [&](const QString &d) { QDir().mkpath(racine() + u'/' + d); });
    const SortieProgramme sftp = cli({QStringLiteral("rapports"), QStringLiteral("--format"), QStringLiteral("csv")});
    ASSERT_EQ(sftp.code, 0) << sftp.erreurs.toStdString();
    EXPECT_EQ(lignesTriees(sftp.texte).size(), 23);
    EXPECT_EQ(sftp.texte.count(QStringLiteral(";rouge;")), 6) << sftp.texte.toStdString();
    const SortieProgramme supervision = cli({QStringLiteral("rapports"), QStringLiteral("--supervision")});
    const SortieProgramme historique = cli({QStringLiteral("historique"), QStringLiteral("0400")});
    EXPECT_EQ(historique.code, 0) << historique.erreurs.toStdString();
    EXPECT_FALSE(historique.texte.isEmpty());
    EXPECT_EQ(cli({QStringLiteral("historique"), QStringLiteral("0401")}).code, 1);

    // The same tree over FTP, from pyftpdlib.
    FtpServeur reference(
        QList<FtpServeur::Compte>{{QStringLiteral("ref"), QStringLiteral("ref"), racine(), QStringLiteral("elr")}});
    CompteFtp ftp;
    ftp.Host = QStringLiteral("127.0.0.1");
    ftp.Port = reference.port();
    ftp.Login = ftp.Mdp = QStringLiteral("ref");
    configurer(ftp);
    const SortieProgramme parFtp = cli({QStringLiteral("rapports"), QStringLiteral("--format"), QStringLiteral("csv")});
    ASSERT_EQ(parFtp.code, 0) << parFtp.erreurs.toStdString();
    EXPECT_EQ(lignesTriees(sftp.texte), lignesTriees(parFtp.texte));
    const SortieProgramme supervisionFtp = cli({QStringLiteral("rapports"), QStringLiteral("--supervision")});
    EXPECT_EQ(supervision.code, supervisionFtp.code);
    EXPECT_EQ(supervision.texte, supervisionFtp.texte);
    EXPECT_EQ(cli({QStringLiteral("historique"), QStringLiteral("0400")}).texte, historique.texte);
}

TEST_F(SftpProgramme, ConfigurationEtTestDeConnexion)
{
    const SortieProgramme s = cli({QStringLiteral("configuration")});
    ASSERT_EQ(s.code, 0) << s.erreurs.toStdString();
    EXPECT_TRUE(s.texte.contains(QStringLiteral("Halvenor_Rapport.Protocole=SFTP\n")));
    EXPECT_TRUE(s.texte.contains(QStringLiteral("Halvenor_FTP.EmpreinteSSH=") + serveur->empreinte() + u'\n'));
    EXPECT_TRUE(s.texte.contains(QStringLiteral("Halvenor_FTP.CleSSH=cle_siege\n")));
    EXPECT_FALSE(s.texte.contains(compte.Mdp));

    EXPECT_EQ(banc.testerConnexion(compte), QString());
    CompteFtp autre = compte;
    autre.empreinteSsh = QStringLiteral("SHA256:AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA");
    const QString refus = banc.testerConnexion(autre);
    EXPECT_TRUE(refus.contains(serveur->empreinte())) << refus.toStdString();
}

// A key named the Windows way, and an unknown host key: the message says in which section the
// fingerprint goes, and offers the settings window only for the account it edits.
TEST_F(SftpProgramme, CleInconnueNommeLaSectionOuInscrireLEmpreinte)
{
    const QString programme = chemins().RepertoireProgramme;
    ASSERT_TRUE(QDir().mkpath(programme + QStringLiteral("cles")));
    ASSERT_TRUE(QFile::rename(programme + QStringLiteral("cle_siege"), programme + QStringLiteral("cles/cle_siege")));
    CompteFtp c = compte;
    c.cleSsh = QStringLiteral(" cles\\cle_siege ");
    c.empreinteSsh.clear();
    SftpClient client;
    client.setFichierHotesConnus(tmp.path() + QStringLiteral("/known_hosts")); // none

    const ResultatFtp rapport = connecterCompte(client, c, QStringLiteral("Halvenor_Rapport"), programme);
    ASSERT_FALSE(rapport);
    const QString texte = rapport.echec().texte();
    EXPECT_EQ(rapport.echec().cause, CauseFtp::CleHoteInconnue) << texte.toStdString();
    EXPECT_TRUE(texte.contains(serveur->empreinte())) << texte.toStdString();
    EXPECT_TRUE(texte.contains(QStringLiteral("clé EmpreinteSSH de la section [Halvenor_Rapport] de Halvenor.ini")))
        << texte.toStdString();
    EXPECT_FALSE(texte.contains(QStringLiteral("Paramétrage FTP"))) << texte.toStdString();

    const ResultatFtp publication = connecterCompte(client, c, QStringLiteral("Halvenor_FTP"), programme);
    ASSERT_FALSE(publication);
    EXPECT_TRUE(publication.echec().texte().contains(QStringLiteral("« Paramétrage FTP »")));
    EXPECT_TRUE(publication.echec().texte().contains(QStringLiteral("[Halvenor_FTP]")));

    // Trusted, the key logs in (the password is wrong).
    c.empreinteSsh = serveur->empreinte();
    const ResultatFtp r = connecterCompte(client, c, QStringLiteral("Halvenor_Rapport"), programme);
    EXPECT_TRUE(r) << r.echec().texte().toStdString();
    client.disconnect();
}
