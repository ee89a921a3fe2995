#include "BancFtp.h"
#include "FtpServeur.h"
#include "ServeurReel.h"

#include "core/base/Chemins.h"
#include "core/reports/RapportMajAuto.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QRandomGenerator>

#include <tuple>

// vsftpd, ProFTPD and Pure-FTPd as Debian ships them, plain and FTPS, against the same steps
// as pyftpdlib: the servers head offices run must give the same lines.

namespace {

using Logiciel = ServeurReel::Logiciel;

class ServeursReels : public ::testing::TestWithParam<std::tuple<Logiciel, bool>>
{
protected:
    void SetUp() override
    {
        const auto [logiciel, tls] = GetParam();
        if (const QString raison = ServeurReel::indisponible(logiciel); !raison.isEmpty())
            GTEST_SKIP() << raison.toStdString();
        serveur = std::make_unique<ServeurReel>(logiciel, tls);
        compte.Host = QStringLiteral("127.0.0.1");
        compte.Port = serveur->port();
        compte.Login = serveur->login();
        compte.Mdp = serveur->motDePasse();
        compte.tls = tls;
        compte.certificatCA = serveur->certificat();
        banc.configurer(compte);
    }

    // The same tree served by pyftpdlib, read-only, for the lines to compare with.
    QMap<QString, QString> lignesPyftpdlib()
    {
        FtpServeur reference(
            QList<FtpServeur::Compte>{{QStringLiteral("ref"), QStringLiteral("ref"), serveur->racine(), QStringLiteral("elr")}});
        CompteFtp c;
        c.Host = QStringLiteral("127.0.0.1");
        c.Port = reference.port();
        c.Login = c.Mdp = QStringLiteral("ref");
        banc.configurer(c);
        const QList<LigneRapport> lignes = banc.actualiser();
        banc.configurer(compte);
        return BancFtp::parIdentifiant(lignes);
    }

    std::unique_ptr<ServeurReel> serveur;
    CompteFtp compte;
    BancFtp banc;
};

QByteArray aleatoire(qsizetype taille)
{
    QByteArray b(taille, Qt::Uninitialized);
    for (char &c : b)
        c = static_cast<char>(QRandomGenerator::global()->bounded(256));
    return b;
}

TEST_P(ServeursReels, PublierDeuxFoisDonneLesFichiersOctetPourOctetSansPartiel)
{
    QMap<QString, QByteArray> fichiers{{QStringLiteral("remise_achat.xml"), aleatoire(300000)},
                                       {QStringLiteral("perso.xml"), aleatoire(1000)}};
    EXPECT_EQ(banc.publier(fichiers).join(u'\n').toStdString(), "");
    // Again over the files now there, with other contents.
    fichiers[QStringLiteral("remise_achat.xml")] = aleatoire(200000);
    fichiers[QStringLiteral("perso.xml")] = QByteArray();
    EXPECT_EQ(banc.publier(fichiers).join(u'\n').toStdString(), "");
    for (auto it = fichiers.cbegin(); it != fichiers.cend(); ++it)
        EXPECT_EQ(lireFichier(serveur->racine() + u'/' + it.key(), "absent"), it.value()) << it.key().toStdString();
    EXPECT_EQ(BancFtp::contenu(serveur->racine()), (QStringList{QStringLiteral("perso.xml"), QStringLiteral("remise_achat.xml")}));
}

TEST_P(ServeursReels, ActualiserDonneLesLignesDePyftpdlibEtLHistorique)
{
    banc.ecrireRapports(serveur->racine(), 23, [&](const QString &d) { serveur->creerDossier(d); });
    const QList<LigneRapport> lignes = banc.actualiser();
    EXPECT_EQ(banc.messages().join(u'\n').toStdString(), "");
    ASSERT_EQ(lignes.size(), 23);
    const QMap<QString, QString> attendues = lignesPyftpdlib();
    EXPECT_EQ(BancFtp::parIdentifiant(lignes), attendues);
    // Red exactly where the reports say so: in error (i % 7 == 3) or too old (i % 7 == 5).
    int rouges = 0;
    for (const LigneRapport &l : lignes)
        rouges += l.enErreur ? 1 : 0;
    EXPECT_EQ(rouges, 6);
    EXPECT_EQ(BancFtp::contenu(chemins().RepertoireRapport).size(), 23 + 1) << "the reports and Historique/";

    const QByteArray historique = banc.historique(QStringLiteral("0400"));
    EXPECT_EQ(historique, lireFichier(serveur->racine() + QStringLiteral("/Rapport/Historique/0400.xml")));
    EXPECT_TRUE(banc.historique(QStringLiteral("0401")).isEmpty());
    EXPECT_EQ(banc.messages().join(u'\n').toStdString(), "");
}

TEST_P(ServeursReels, TestDeConnexion)
{
    EXPECT_EQ(banc.testerConnexion(compte), QString());
    CompteFtp faux = compte;
    faux.Mdp = QStringLiteral("faux");
    const QString refus = banc.testerConnexion(faux);
    EXPECT_TRUE(refus.startsWith(raisonFtp(CauseFtp::LoginRefuse))) << refus.toStdString();
}

// Shared hosting allows 2 or 3 sessions per address: the refresh makes do with them.
TEST_P(ServeursReels, PlafondDeConnexionsNeRendAucuneLigneRouge)
{
    if (serveur->maxParAdresse() == 0)
        GTEST_SKIP() << "no cap on this server";
    compte.connexions = 8;
    banc.configurer(compte);
    banc.ecrireRapports(serveur->racine(), 60, [&](const QString &d) { serveur->creerDossier(d); });
    for (int tour = 0; tour < 2; ++tour) {
        const QList<LigneRapport> lignes = banc.actualiser();
        ASSERT_EQ(lignes.size(), 60);
        for (const LigneRapport &l : lignes) {
            EXPECT_FALSE(l.texte.startsWith(DebutTelechargementImpossible)) << l.texte.toStdString();
            EXPECT_EQ(l.enErreur, l.texte.contains(u"Disque plein") || !l.texte.contains(banc.maintenant().toString(QStringLiteral("dd/MM/yyyy"))))
                << l.texte.toStdString();
        }
    }
    EXPECT_EQ(banc.messages().join(u'\n').toStdString(), "");
}

std::string nomCas(const ::testing::TestParamInfo<std::tuple<Logiciel, bool>> &info)
{
    const QString nom = ServeurReel::nom(std::get<0>(info.param)).remove(u'-')
        + (std::get<1>(info.param) ? QStringLiteral("_FTPS") : QStringLiteral("_FTP"));
    return nom.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Debian, ServeursReels,
                         ::testing::Combine(::testing::Values(Logiciel::Vsftpd, Logiciel::ProFtpd, Logiciel::PureFtpd),
                                            ::testing::Bool()),
                         nomCas);

} // namespace
