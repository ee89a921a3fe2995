#include "BancFtp.h"
#include "FtpServeur.h"

#include "core/base/Chemins.h"
#include "core/reports/RapportMajAuto.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// How a refresh spends its sessions and its MDTM, against pyftpdlib handlers that refuse
// sessions, cut one with 421, or list with LIST only.

namespace {

class SessionsRapports : public ::testing::Test
{
protected:
    void SetUp() override
    {
        racine = tmp.filePath(QStringLiteral("ftp"));
        banc.ecrireRapports(racine, 40, [&](const QString &d) { QDir().mkpath(racine + u'/' + d); });
    }

    void demarrer(const FtpServeur::Options &options, int connexions)
    {
        serveur = std::make_unique<FtpServeur>(
            QList<FtpServeur::Compte>{{QStringLiteral("r"), QStringLiteral("s"), racine, QStringLiteral("elr")}}, options);
        CompteFtp c;
        c.Host = QStringLiteral("127.0.0.1");
        c.Port = serveur->port();
        c.Login = QStringLiteral("r");
        c.Mdp = QStringLiteral("s");
        c.connexions = connexions;
        banc.configurer(c);
    }

    // No line red but those the reports make red (in error, or three days old).
    void lignesAttendues(const QList<LigneRapport> &lignes, qsizetype nombre = 40)
    {
        ASSERT_EQ(lignes.size(), nombre);
        for (const LigneRapport &l : lignes) {
            const int i = l.identifiant.toInt() - 400;
            EXPECT_EQ(l.enErreur, i % 7 == 3 || i % 7 == 5) << l.identifiant.toStdString() << " " << l.texte.toStdString();
        }
        EXPECT_EQ(banc.messages().join(u'\n').toStdString(), "");
    }

    int commandes(const QByteArray &debut) const
    {
        int n = 0;
        for (const QByteArray &l : lireFichier(journal).split('\n'))
            n += l.startsWith(debut) ? 1 : 0;
        return n;
    }

    QTemporaryDir tmp;
    QString racine;
    QString journal = tmp.filePath(QStringLiteral("journal"));
    BancFtp banc;
    std::unique_ptr<FtpServeur> serveur;
};

TEST_F(SessionsRapports, SessionsRefuseesAuLoginLaRecuperationFaitAvecCellesQuiRestent)
{
    FtpServeur::Options o;
    o.maxParAdresse = 2;
    o.journal = journal;
    demarrer(o, 8);
    lignesAttendues(banc.actualiser());
    EXPECT_EQ(commandes("RETR "), 40) << "each report fetched once: a refused session costs no file";
}

TEST_F(SessionsRapports, Reponse421PendantUnTransfertLeFichierEstRepris)
{
    FtpServeur::Options o;
    o.fermer421 = QStringList{QStringLiteral("0402.xml"), QStringLiteral("0410.xml")};
    demarrer(o, 3);
    lignesAttendues(banc.actualiser());
    EXPECT_EQ(lireFichier(chemins().RepertoireRapport + QStringLiteral("0402.xml")),
              lireFichier(racine + QStringLiteral("/Rapport/0402.xml")));
}

TEST_F(SessionsRapports, UneSeuleSessionSeReconnecteApres421)
{
    // A single session: nobody else to take the file, which fails with its own words.
    FtpServeur::Options o;
    o.fermer421 = QStringList{QStringLiteral("0401.xml")};
    demarrer(o, 1);
    QFile::remove(racine + QStringLiteral("/Rapport/0402.xml")); // keep the count simple
    const QList<LigneRapport> lignes = banc.actualiser();
    ASSERT_EQ(lignes.size(), 39);
    // The one session reconnects and takes the file again: a 421 once is no failure.
    for (const LigneRapport &l : lignes)
        EXPECT_FALSE(l.texte.startsWith(DebutTelechargementImpossible)) << l.texte.toStdString();
}

// LIST dates: the zone is learnt from one MDTM; only a time within minutes of the limit's
// midnight asks its own, on the session that downloads it (and on the main one afterwards).
TEST_F(SessionsRapports, ListeSeuleQuelquesMdtmParActualisation)
{
    const QDateTime minuit(banc.maintenant().date().addDays(-1), QTime(0, 0));
    for (const auto &[nom, date] : {std::pair{QStringLiteral("9001.xml"), minuit.addSecs(120)},
                                    std::pair{QStringLiteral("9002.xml"), minuit.addSecs(-120)}}) {
        const QString chemin = racine + QStringLiteral("/Rapport/") + nom;
        ASSERT_TRUE(ecrireFichier(chemin, rapportMajAuto(banc.maintenant())));
        QFile f(chemin);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.setFileTime(date, QFileDevice::FileModificationTime));
    }
    for (int i = 0; i < 300; ++i)
        ASSERT_TRUE(ecrireFichier(racine + QStringLiteral("/Rapport/%1.xml").arg(5000 + i), rapportMajAuto(banc.maintenant())));
    FtpServeur::Options o;
    o.mlsd = false;
    o.journal = journal;
    demarrer(o, 4);
    const QList<LigneRapport> lignes = banc.actualiser();
    ASSERT_EQ(lignes.size(), 342);
    const QMap<QString, QString> parId = BancFtp::parIdentifiant(lignes);
    EXPECT_TRUE(parId.value(QStringLiteral("9001")).startsWith(QStringLiteral("vert"))) << "2 minutes after the limit";
    EXPECT_TRUE(parId.value(QStringLiteral("9002")).startsWith(QStringLiteral("rouge"))) << "2 minutes before it";
    EXPECT_TRUE(parId.value(QStringLiteral("5000")).startsWith(QStringLiteral("vert")));
    EXPECT_EQ(parId.value(QStringLiteral("0405")).left(5), QStringLiteral("rouge")) << "three days old";
    // The sample is the time nearest to the limit, one of the two on the edge; then the other.
    EXPECT_EQ(commandes("MDTM "), 2);

    // A second refresh downloads nothing: the one on the edge is asked on the main session.
    banc.configurer(banc.compte());
    QFile::remove(journal);
    bool recuperes = true;
    MessagesEnregistres messages;
    SessionRapport session(banc.compte(), chemins(), messages);
    QList<LigneRapport> encore;
    ASSERT_TRUE(ChargerRapports(session, recuperes, 1, [&](const LigneRapport &l) { encore << l; }));
    EXPECT_EQ(BancFtp::parIdentifiant(encore), parId);
    EXPECT_EQ(commandes("MDTM "), 2);
    EXPECT_EQ(commandes("RETR "), 0);
    EXPECT_TRUE(messages.textes.isEmpty());
}

} // namespace
