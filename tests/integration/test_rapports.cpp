#include "FtpServeur.h"
#include "OutilsTests.h"

#include "core/publish/FtpClient.h"
#include "core/base/Chemins.h"
#include "core/base/Erreurs.h"
#include "core/base/Horloge.h"
#include "core/base/Messages.h"
#include "core/reports/RecuperationRapports.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QDateTime Maintenant(QDate(2013, 3, 25), QTime(10, 0));

QByteArray rapportXml(const QDateTime &date, int etatGeneral = 0, const QString &message = QString())
{
    QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><MajAuto Date=\"")
        + date.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")) + QStringLiteral("\"><General><Etat Etat=\"")
        + QString::number(etatGeneral) + QStringLiteral("\"/><Messages>");
    if (!message.isEmpty())
        xml += QStringLiteral("<Message>") + message + QStringLiteral("</Message>");
    xml += QStringLiteral("</Messages></General><HVN><Etat Etat=\"0\"/><Messages/></HVN>"
                          "<Zentrave><Etat Etat=\"0\"/><Messages/></Zentrave></MajAuto>");
    return xml.toUtf8();
}

QByteArray historiqueXml(const QString &message)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><MajAuto>"
                          "<Item Date=\"24/03/2013 06:30:00\"><General><Etat Etat=\"0\"/><Messages/></General>"
                          "<HVN><Etat Etat=\"0\"/><Messages/></HVN><Zentrave><Etat Etat=\"0\"/><Messages/></Zentrave></Item>"
                          "<Item Date=\"25/03/2013 06:30:00\"><General><Etat Etat=\"1\"/><Messages><Message>%1</Message>"
                          "</Messages></General><HVN><Etat Etat=\"0\"/><Messages/></HVN>"
                          "<Zentrave><Etat Etat=\"0\"/><Messages/></Zentrave></Item></MajAuto>")
        .arg(message)
        .toUtf8();
}

// The file, dated `modification` on the server.
void ecrire(const QString &chemin, const QByteArray &contenu, const QDateTime &modification = Maintenant)
{
    ASSERT_TRUE(ecrireFichier(chemin, contenu)) << chemin.toStdString();
    QFile f(chemin);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(modification, QFileDevice::FileModificationTime));
}

QMap<QString, LigneRapport> parIdentifiant(const QList<LigneRapport> &lignes)
{
    QMap<QString, LigneRapport> m;
    for (const LigneRapport &l : lignes)
        m.insert(l.identifiant, l);
    return m;
}

QStringList contenu(const QString &dossier)
{
    return QDir(dossier).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                   QDir::Name);
}

// A program directory, a report account on a real FTP server, and a fixed "today".
class Rapports : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_tmp.isValid());
        m_serveur = m_tmp.filePath(QStringLiteral("ftp/"));
        m_programme = m_tmp.filePath(QStringLiteral("programme/"));
        QDir().mkpath(m_serveur + QStringLiteral("Rapport/Historique"));
        QDir().mkpath(m_programme);
        definirChemins(Chemins::depuisRepertoire(m_programme));
        definirHorloge(&m_horloge);
        m_ftp = std::make_unique<FtpServeur>(QList<FtpServeur::Compte>{
            FtpServeur::compteRapport(m_serveur)});
        m_compte = CompteRapport{};
        m_compte.Host = QStringLiteral("127.0.0.1");
        m_compte.Login = QStringLiteral("rapport");
        m_compte.Mdp = QStringLiteral("secret");
        m_compte.Port = m_ftp->port();
    }
    void TearDown() override { definirHorloge(nullptr); }

    // MLSD lists in the file system's order; LIST is sorted by name, which the tests on
    // listing order need.
    void serveurListeTriee()
    {
        m_ftp.reset();
        m_ftp = std::make_unique<FtpServeur>(
            QList<FtpServeur::Compte>{
                FtpServeur::compteRapport(m_serveur)},
            false);
        m_compte.Port = m_ftp->port();
    }

    void redemarrer(const FtpServeur::Options &options)
    {
        m_ftp.reset();
        m_ftp = std::make_unique<FtpServeur>(
            QList<FtpServeur::Compte>{
                FtpServeur::compteRapport(m_serveur)},
            options);
        m_compte.Port = m_ftp->port();
    }

    QString serveur(const QString &relatif) const { return m_serveur + relatif; }

    // One refresh in a session of its own, like a report window opened and closed.
    QList<LigneRapport> actualiser(int jours = 1, bool *connecte = nullptr)
    {
        SessionRapport session(m_compte, chemins(), m_messages);
        QList<LigneRapport> lignes;
        const bool ok = ChargerRapports(session, m_recuperes, jours, [&](const LigneRapport &l) { lignes << l; });
        if (connecte)
            *connecte = ok;
        EXPECT_FALSE(session.ftpMaj().connected()) << "the refresh closes its session";
        return lignes;
    }

    void ecrireIni() const
    {
        ASSERT_TRUE(ecrireFichier(chemins().FichierIni,
                                  QStringLiteral("[Halvenor_Rapport]\r\nHost=%1\r\nLogin=%2\r\nMdp=%3\r\nPort=%4\r\n")
                                      .arg(m_compte.Host, m_compte.Login, m_compte.Mdp)
                                      .arg(m_compte.Port)
                                      .toLatin1()));
    }

    QTemporaryDir m_tmp;
    QString m_serveur, m_programme;
    HorlogeFixe m_horloge{Maintenant};
    std::unique_ptr<FtpServeur> m_ftp;
    CompteRapport m_compte;
    MessagesEnregistres m_messages;
    bool m_recuperes = false;
};

TEST_F(Rapports, PremierActualiserVideLesDossiersEtTelechargeChaqueXmlEtRienDAutre)
{
    ecrire(serveur(QStringLiteral("Rapport/0421.xml")), rapportXml(Maintenant));
    ecrire(serveur(QStringLiteral("Rapport/0422.xml")), rapportXml(Maintenant, 1, QStringLiteral("Disque plein")));
    ecrire(serveur(QStringLiteral("Rapport/a.xml.xml")), rapportXml(Maintenant));
    ecrire(serveur(QStringLiteral("Rapport/0423.XML")), rapportXml(Maintenant));
    ecrire(serveur(QStringLiteral("Rapport/notes.txt")), "x");
    QDir().mkpath(serveur(QStringLiteral("Rapport/dossier.xml")));
    ecrire(serveur(QStringLiteral("Rapport/Historique/0421.xml")), historiqueXml(QStringLiteral("m")));

    // Left-overs of an earlier run, and a link that must not be followed when they go.
    const QString dehors = m_tmp.filePath(QStringLiteral("dehors/"));
    ecrire(dehors + QStringLiteral("precieux.txt"), "garder");
    ecrire(chemins().RepertoireHistorique + QStringLiteral("vieux.xml"), "x");
    ecrire(chemins().RepertoireRapport + QStringLiteral("vieux.xml"), "x");
    ASSERT_TRUE(QFile::link(dehors, chemins().RepertoireRapport + QStringLiteral("lien")));

    serveurListeTriee();
    const auto lignes = actualiser();
    ASSERT_EQ(lignes.size(), 3);
    EXPECT_EQ(lignes[0].identifiant, QStringLiteral("0421"));
    EXPECT_FALSE(lignes[0].enErreur);
    EXPECT_EQ(lignes[0].texte, QStringLiteral("Derniere mise à jour automatique effectuée le 25/03/2013 10:00:00\n"
                                              "Mise à jour automatique installée."));
    EXPECT_EQ(lignes[1].identifiant, QStringLiteral("0422"));
    EXPECT_TRUE(lignes[1].enErreur);
    EXPECT_TRUE(lignes[1].texte.endsWith(QStringLiteral("\n[General] Disque plein\n")));
    EXPECT_EQ(lignes[2].identifiant, QStringLiteral("a"));
    EXPECT_EQ(lignes[2].fichier, QStringLiteral("a.xml.xml"));
    EXPECT_TRUE(m_recuperes);
    EXPECT_TRUE(m_messages.textes.isEmpty()) << m_messages.textes.join(u'\n').toStdString();

    EXPECT_EQ(contenu(chemins().RepertoireRapport),
              (QStringList{QStringLiteral("0421.xml"), QStringLiteral("0422.xml"), QStringLiteral("Historique"),
                           QStringLiteral("a.xml.xml")}));
    EXPECT_TRUE(contenu(chemins().RepertoireHistorique).isEmpty());
    EXPECT_EQ(lireFichier(chemins().RepertoireRapport + QStringLiteral("0422.xml")),
              rapportXml(Maintenant, 1, QStringLiteral("Disque plein")));
    EXPECT_EQ(lireFichier(dehors + QStringLiteral("precieux.txt")), QByteArray("garder"));
}

TEST_F(Rapports, PremierUsageSansDossierHistoriqueNeSupprimeRien)
{
    ecrire(chemins().RepertoireRapport + QStringLiteral("garde.txt"), "x");
    actualiser();
    EXPECT_TRUE(QFile::exists(chemins().RepertoireRapport + QStringLiteral("garde.txt")));
    EXPECT_TRUE(QFileInfo(chemins().RepertoireHistorique).isDir());
}

TEST_F(Rapports, SecondActualiserNeTelechargeRienEtSignaleLeRapportApparuDepuis)
{
    ecrire(serveur(QStringLiteral("Rapport/0421.xml")), rapportXml(Maintenant));
    ecrire(serveur(QStringLiteral("Rapport/0499.xml")), rapportXml(Maintenant));
    actualiser();

    ecrire(serveur(QStringLiteral("Rapport/0421.xml")), rapportXml(Maintenant, 1, QStringLiteral("changé")));
    ecrire(serveur(QStringLiteral("Rapport/0430.xml")), rapportXml(Maintenant));
    QFile::remove(serveur(QStringLiteral("Rapport/0499.xml")));

    const auto lignes = parIdentifiant(actualiser());
    ASSERT_EQ(lignes.keys(), (QStringList{QStringLiteral("0421"), QStringLiteral("0430")}));
    EXPECT_FALSE(lignes[QStringLiteral("0421")].enErreur) << "the local copy of the first refresh is read again";
    EXPECT_TRUE(lignes[QStringLiteral("0430")].enErreur);
    EXPECT_EQ(lignes[QStringLiteral("0430")].texte,
              QStringLiteral("Impossible de lire le fichier XML : ") + chemins().RepertoireRapport + QStringLiteral("0430.xml"));
    EXPECT_FALSE(QFile::exists(chemins().RepertoireRapport + QStringLiteral("0430.xml")));
    EXPECT_TRUE(QFile::exists(chemins().RepertoireRapport + QStringLiteral("0499.xml")));
}

TEST_F(Rapports, NomsQuiSortiraientDuDossierSontIgnores)
{
    // The FTP server cannot serve a name holding "/", but a backslash is an ordinary
    // character in its file names and a separator on Windows.
    ecrire(serveur(QStringLiteral("Rapport/..\\..\\evade.xml")), rapportXml(Maintenant));
    ecrire(serveur(QStringLiteral("Rapport/0421.xml")), rapportXml(Maintenant));
    const auto lignes = actualiser();
    ASSERT_EQ(lignes.size(), 1);
    EXPECT_EQ(lignes[0].identifiant, QStringLiteral("0421"));
    EXPECT_EQ(contenu(chemins().RepertoireRapport), (QStringList{QStringLiteral("0421.xml"), QStringLiteral("Historique")}));
    EXPECT_EQ(contenu(m_programme), (QStringList{QStringLiteral("Rapport")}));
}

TEST_F(Rapports, ToleranceJMoinsAvecUneHorlogeFixe)
{
    const QDateTime hier = Maintenant.addDays(-1);
    const QDateTime ilYATroisJours = Maintenant.addDays(-3);
    ecrire(serveur(QStringLiteral("Rapport/1.xml")), rapportXml(Maintenant));
    ecrire(serveur(QStringLiteral("Rapport/2.xml")), rapportXml(hier), hier);
    ecrire(serveur(QStringLiteral("Rapport/3.xml")), rapportXml(ilYATroisJours), ilYATroisJours);
    // Recent by its own date, but the file on the server is older than the limit.
    ecrire(serveur(QStringLiteral("Rapport/4.xml")), rapportXml(Maintenant), Maintenant.addDays(-5));

    auto lignes = parIdentifiant(actualiser(1));
    ASSERT_EQ(lignes.size(), 4);
    EXPECT_FALSE(lignes[QStringLiteral("1")].enErreur);
    EXPECT_FALSE(lignes[QStringLiteral("2")].enErreur);
    EXPECT_TRUE(lignes[QStringLiteral("3")].enErreur);
    EXPECT_TRUE(lignes[QStringLiteral("4")].enErreur);
    EXPECT_TRUE(lignes[QStringLiteral("3")].texte.endsWith(QStringLiteral("\nMise à jour automatique installée.")))
        << "being out of date adds no text";

    lignes = parIdentifiant(actualiser(3));
    EXPECT_FALSE(lignes[QStringLiteral("3")].enErreur);
    EXPECT_TRUE(lignes[QStringLiteral("4")].enErreur);
    lignes = parIdentifiant(actualiser(31));
    EXPECT_FALSE(lignes[QStringLiteral("4")].enErreur);
}

TEST_F(Rapports, MauvaisMotDePasse)
{
    ecrire(serveur(QStringLiteral("Rapport/0421.xml")), rapportXml(Maintenant));
    m_compte.Mdp = QStringLiteral("faux");
    bool connecte = true;
    EXPECT_TRUE(actualiser(1, &connecte).isEmpty());
    EXPECT_FALSE(connecte);
    EXPECT_FALSE(m_recuperes) << "the next refresh must download";
    ASSERT_EQ(m_messages.textes.size(), 1);
    EXPECT_TRUE(m_messages.textes[0].startsWith(QStringLiteral("Impossible de se connecter au serveur FTP. Erreur ")))
        << m_messages.textes[0].toStdString();
    EXPECT_GT(m_messages.textes[0].size(), 52);
}

TEST_F(Rapports, HoteVideSansFichierDeConfiguration)
{
    const CompteRapport c = LireCompteRapport(chemins().FichierIni);
    EXPECT_TRUE(c.Host.isEmpty());
    EXPECT_EQ(c.Port, 21);
    SessionRapport session(c, chemins(), m_messages);
    EXPECT_FALSE(session.ConnexionFTPRapport());
    ASSERT_EQ(m_messages.textes.size(), 1);
    EXPECT_TRUE(m_messages.textes[0].startsWith(QStringLiteral("Impossible de se connecter au serveur FTP")));
}

TEST_F(Rapports, CompteLuDansHalvenorIni)
{
    ecrireIni();
    const CompteRapport c = LireCompteRapport(chemins().FichierIni);
    EXPECT_EQ(c.Host, m_compte.Host);
    EXPECT_EQ(c.Login, m_compte.Login);
    EXPECT_EQ(c.Mdp, m_compte.Mdp);
    EXPECT_EQ(c.Port, m_compte.Port);
}

TEST_F(Rapports, HistoriqueTelechargeAChaqueDemandeEtLaisseLaSessionOuverte)
{
    ecrire(serveur(QStringLiteral("Rapport/Historique/a.xml.xml")), historiqueXml(QStringLiteral("premier")));
    ecrire(serveur(QStringLiteral("Rapport/Historique/a.xml")), historiqueXml(QStringLiteral("second")));
    ecrire(serveur(QStringLiteral("Rapport/Historique/A.xml")), historiqueXml(QStringLiteral("majuscule")));
    serveurListeTriee();
    actualiser();

    SessionRapport session(m_compte, chemins(), m_messages);
    ASSERT_TRUE(session.ConnexionFTPRapport());
    // Sorted listing: "A.xml", "a.xml", "a.xml.xml": the first "a" is a.xml.
    auto chemin = session.RecupererHistorique(QStringLiteral("a"));
    ASSERT_TRUE(chemin);
    EXPECT_EQ(*chemin, chemins().RepertoireHistorique + QStringLiteral("a.xml"));
    EXPECT_EQ(lireFichier(*chemin), historiqueXml(QStringLiteral("second")));
    EXPECT_TRUE(session.ftpMaj().connected());

    ecrire(serveur(QStringLiteral("Rapport/Historique/a.xml")), historiqueXml(QStringLiteral("remplacé")));
    chemin = session.RecupererHistorique(QStringLiteral("a"));
    ASSERT_TRUE(chemin);
    EXPECT_EQ(lireFichier(*chemin), historiqueXml(QStringLiteral("remplacé")));

    EXPECT_FALSE(session.RecupererHistorique(QStringLiteral("0421")));
    EXPECT_TRUE(session.DeconnexionFTPRapport());
    EXPECT_FALSE(session.DeconnexionFTPRapport());
}

TEST_F(Rapports, DossierHistoriqueAbsentEstUneErreurEtLaSessionResteUtilisable)
{
    ecrire(serveur(QStringLiteral("Rapport/0421.xml")), rapportXml(Maintenant));
    QDir(serveur(QStringLiteral("Rapport/Historique"))).removeRecursively();
    SessionRapport session(m_compte, chemins(), m_messages);
    ASSERT_TRUE(session.ConnexionFTPRapport());
    EXPECT_THROW(session.RecupererHistorique(QStringLiteral("0421")), HalvenorError);
    EXPECT_TRUE(session.ftpMaj().connected());

    QList<LigneRapport> lignes;
    EXPECT_TRUE(ChargerRapports(session, m_recuperes, 1, [&](const LigneRapport &l) { lignes << l; }));
    EXPECT_EQ(lignes.size(), 1);
    EXPECT_TRUE(m_messages.textes.isEmpty());
}

TEST_F(Rapports, DateIllisibleDonneUneLigneRougeEtLActualisationContinue)
{
    ecrire(serveur(QStringLiteral("Rapport/1.xml")), rapportXml(Maintenant));
    ecrire(serveur(QStringLiteral("Rapport/2.xml")),
           "<MajAuto Date=\"demain\"><General><Etat Etat=\"0\"/></General></MajAuto>");
    ecrire(serveur(QStringLiteral("Rapport/3.xml")), rapportXml(Maintenant));
    serveurListeTriee();
    const auto lignes = actualiser();
    ASSERT_EQ(lignes.size(), 3);
    EXPECT_TRUE(lignes[1].enErreur);
    EXPECT_EQ(lignes[1].texte, DebutDateIllisible + chemins().RepertoireRapport + QStringLiteral("2.xml"));
    EXPECT_FALSE(lignes[2].enErreur);
    EXPECT_TRUE(m_recuperes);
}

// One odd file on the server: its own red line, and every other franchisee still shown.
TEST_F(Rapports, UnFichierQuiEchoueNArretePasLesAutres)
{
    for (const char *n : {"1.xml", "2.xml", "3.xml", "6.xml"})
        ecrire(serveur(QStringLiteral("Rapport/") + QLatin1String(n)), rapportXml(Maintenant));
    ecrire(serveur(QStringLiteral("Rapport/4.xml")), "<?xml version=\"1.0\"?><Autre Date=\"25/03/2013 10:00:00\"/>");
    ecrire(serveur(QStringLiteral("Rapport/5.xml")), "<MajAuto Date=\"x\"/>");
    // A Latin-1 name: these bytes are not UTF-8.
    const QByteArray latin1 = QFile::encodeName(serveur(QStringLiteral("Rapport/"))) + "caf\xe9.xml";
    const QByteArray contenuLatin1 = rapportXml(Maintenant, 1, QStringLiteral("latin"));
    {
        const int fd = ::open(latin1.constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, contenuLatin1.constData(), static_cast<size_t>(contenuLatin1.size())),
                  contenuLatin1.size());
        ::close(fd);
    }
    FtpServeur::Options options;
    options.mlsd = false; // sorted listing
    options.refuserRetr = {QStringLiteral("2.xml")};
    options.disparaitre = {QStringLiteral("3.xml")};
    options.nomsBruts = true;
    redemarrer(options);

    auto lignes = actualiser();
    QStringList identifiants;
    for (const LigneRapport &l : lignes)
        identifiants << l.identifiant;
    ASSERT_EQ(lignes.size(), 7) << identifiants.join(u',').toStdString();
    EXPECT_EQ(identifiants, (QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                                         QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("6"),
                                         QStringLiteral("café")}));
    EXPECT_FALSE(lignes[0].enErreur);
    for (int i : {1, 2}) {
        EXPECT_TRUE(lignes[i].enErreur);
        EXPECT_TRUE(lignes[i].texte.startsWith(DebutTelechargementImpossible + lignes[i].fichier + QStringLiteral(" (")))
            << lignes[i].texte.toStdString();
        EXPECT_TRUE(lignes[i].texte.contains(QStringLiteral("550"))) << lignes[i].texte.toStdString();
    }
    EXPECT_EQ(lignes[3].texte, DebutXmlIllisible + chemins().RepertoireRapport + QStringLiteral("4.xml"));
    EXPECT_TRUE(lignes[3].enErreur);
    EXPECT_EQ(lignes[4].texte, DebutDateIllisible + chemins().RepertoireRapport + QStringLiteral("5.xml"));
    EXPECT_FALSE(lignes[5].enErreur);
    EXPECT_TRUE(lignes[6].texte.endsWith(QStringLiteral("[General] latin\n"))) << lignes[6].texte.toStdString();
    EXPECT_EQ(lireFichier(chemins().RepertoireRapport + QStringLiteral("café.xml")), contenuLatin1);
    EXPECT_TRUE(m_recuperes) << "every file was tried";
    EXPECT_TRUE(m_messages.textes.isEmpty()) << m_messages.textes.join(u'\n').toStdString();
    EXPECT_EQ(contenu(chemins().RepertoireRapport).filter(QStringLiteral(".telechargement")), QStringList());

    // The next refresh reads the copies: the refused one never came; the vanished one is
    // no longer listed.
    lignes = actualiser();
    ::unlink(latin1.constData()); // a name QTemporaryDir cannot decode
    ASSERT_EQ(lignes.size(), 6);
    EXPECT_EQ(lignes[1].texte, DebutXmlIllisible + chemins().RepertoireRapport + QStringLiteral("2.xml"));
    EXPECT_FALSE(lignes[5].texte.startsWith(DebutXmlIllisible));
}

TEST_F(Rapports, QuatreSessionsDonnentLesMemesLignesQuUne)
{
    for (int i = 0; i < 40; ++i)
        ecrire(serveur(QStringLiteral("Rapport/%1.xml").arg(1000 + i)),
               rapportXml(Maintenant.addDays(-(i % 3)), i % 5 == 0 ? 1 : 0, QStringLiteral("m%1").arg(i)),
               Maintenant.addDays(-(i % 4)));
    const auto une = [&](int sessions) {
        m_recuperes = false;
        SessionRapport session(m_compte, chemins(), m_messages);
        session.setSessionsParalleles(sessions);
        QList<QStringList> lignes;
        EXPECT_TRUE(ChargerRapports(session, m_recuperes, 2, [&](const LigneRapport &l) {
            lignes << QStringList{l.identifiant, l.fichier, l.texte, l.enErreur ? QStringLiteral("1") : QString(),
                                  QString::fromLatin1(lireFichier(chemins().RepertoireRapport + l.fichier).toHex())};
        }));
        EXPECT_TRUE(m_recuperes);
        return lignes;
    };
    const auto sequentiel = une(1);
    ASSERT_EQ(sequentiel.size(), 40);
    EXPECT_EQ(une(4), sequentiel);
    EXPECT_TRUE(m_messages.textes.isEmpty()) << m_messages.textes.join(u'\n').toStdString();
}

TEST_F(Rapports, UnLienDansRapportEstRemplaceSansEtreSuivi)
{
    ecrire(serveur(QStringLiteral("Rapport/0421.xml")), rapportXml(Maintenant));
    // No history folder: the first use on this machine deletes nothing, so the link stays in the way.
    const QString cible = m_tmp.filePath(QStringLiteral("dehors.txt"));
    ecrire(cible, "garder");
    QDir().mkpath(chemins().RepertoireRapport);
    ASSERT_TRUE(QFile::link(cible, chemins().RepertoireRapport + QStringLiteral("0421.xml")));
    const auto lignes = actualiser();
    ASSERT_EQ(lignes.size(), 1);
    EXPECT_FALSE(lignes[0].enErreur);
    EXPECT_EQ(lireFichier(cible), QByteArray("garder"));
    EXPECT_FALSE(QFileInfo(chemins().RepertoireRapport + QStringLiteral("0421.xml")).isSymLink());
}

// LIST gives the server's clock (pyftpdlib: UTC) without a zone; near the J- limit MDTM decides.
// Under TZ=Europe/Paris this file's local day is the limit while its LIST day is the day before.
TEST_F(Rapports, DateListePresDeLaLimiteLueParMdtm)
{
    const QDateTime juste(QDate(2013, 3, 24), QTime(0, 30));
    ecrire(serveur(QStringLiteral("Rapport/0421.xml")), rapportXml(Maintenant), juste);
    ecrire(serveur(QStringLiteral("Rapport/0422.xml")), rapportXml(Maintenant), juste.addDays(-2));
    serveurListeTriee();
    const auto lignes = actualiser(1);
    ASSERT_EQ(lignes.size(), 2);
    EXPECT_FALSE(lignes[0].enErreur);
    EXPECT_TRUE(lignes[1].enErreur);
}

// A server that accepts and then never says a word: the message comes after the (shortened)
// time-out, and a cancellation ends the wait at once.
TEST_F(Rapports, ServeurMuetLeMessageVientEtLAttenteSArrete)
{
    const int ecoute = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(ecoute, 0);
    sockaddr_in adresse{};
    adresse.sin_family = AF_INET;
    adresse.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(ecoute, reinterpret_cast<sockaddr *>(&adresse), sizeof adresse), 0);
    ASSERT_EQ(::listen(ecoute, 4), 0);
    socklen_t taille = sizeof adresse;
    ::getsockname(ecoute, reinterpret_cast<sockaddr *>(&adresse), &taille);
    m_compte.Port = ntohs(adresse.sin_port);

    definirDelaiReponseFtp(1);
    bool connecte = true;
    EXPECT_TRUE(actualiser(1, &connecte).isEmpty());
    EXPECT_FALSE(connecte);
    ASSERT_EQ(m_messages.textes.size(), 1);
    EXPECT_EQ(m_messages.textes[0], QStringLiteral("Impossible de se connecter au serveur FTP. Erreur ")
                                        + raisonFtp(CauseFtp::DelaiDepasse));

    // The wait can be stopped from another thread at any moment: at once, and without a word.
    m_messages.textes.clear();
    definirDelaiReponseFtp(30);
    Annulation annulation;
    SessionRapport session(m_compte, chemins(), m_messages);
    session.ftpMaj().setAnnulation(&annulation);
    std::thread annuleur([&annulation] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        annulation.annuler();
    });
    QElapsedTimer chrono;
    chrono.start();
    bool recuperes = false;
    EXPECT_FALSE(ChargerRapports(session, recuperes, 1, [](const LigneRapport &) {}));
    const qint64 duree = chrono.elapsed();
    annuleur.join();
    definirDelaiReponseFtp(0);
    ::close(ecoute);
    EXPECT_LT(duree, 1300) << "stopped within a second of the request";
    EXPECT_FALSE(recuperes);
    EXPECT_TRUE(m_messages.textes.isEmpty()) << m_messages.textes.join(u'\n').toStdString();
}

TEST_F(Rapports, HoteVideNommeLaSection)
{
    SessionRapport session(CompteRapport{}, chemins(), m_messages);
    EXPECT_FALSE(session.ConnexionFTPRapport());
    EXPECT_EQ(m_messages.textes, QStringList{QStringLiteral("Impossible de se connecter au serveur FTP. Erreur Aucun "
                                                            "serveur FTP n'est configuré (section Halvenor_Rapport de "
                                                            "Halvenor.ini)")});
}

// The command-line companion, run as a program against the same server.
class RapportsCli : public Rapports
{
protected:
    int executer(const QStringList &args, QByteArray *sortie = nullptr, QByteArray *erreurs = nullptr)
    {
        QProcess p;
        p.start(QStringLiteral(HALVENOR_CLI), QStringList{QStringLiteral("--repertoire"), m_programme} + args);
        EXPECT_TRUE(p.waitForFinished(60000));
        if (sortie)
            *sortie = p.readAllStandardOutput();
        if (erreurs)
            *erreurs = p.readAllStandardError();
        return p.exitCode();
    }
};

TEST_F(RapportsCli, RapportsEnJson)
{
    ecrireIni();
    ecrire(serveur(QStringLiteral("Rapport/0421.xml")), rapportXml(QDateTime::currentDateTime()),
           QDateTime::currentDateTime());
    ecrire(serveur(QStringLiteral("Rapport/0422.xml")), rapportXml(QDateTime::currentDateTime(), 1, QStringLiteral("a;b")),
           QDateTime::currentDateTime());
    QByteArray sortie, erreurs;
    ASSERT_EQ(executer({QStringLiteral("rapports"), QStringLiteral("--format"), QStringLiteral("json")}, &sortie, &erreurs), 0)
        << erreurs.constData();
    QJsonArray a = QJsonDocument::fromJson(sortie).array();
    if (a.size() == 2 && a[0].toObject().value(QStringLiteral("franchise")) != QStringLiteral("0421"))
        a = QJsonArray{a[1], a[0]};
    ASSERT_EQ(a.size(), 2) << sortie.constData();
    EXPECT_EQ(a[0].toObject().value(QStringLiteral("franchise")).toString(), QStringLiteral("0421"));
    EXPECT_EQ(a[0].toObject().value(QStringLiteral("fichier")).toString(), QStringLiteral("0421.xml"));
    EXPECT_EQ(a[0].toObject().value(QStringLiteral("etat")).toString(), QStringLiteral("vert"));
    EXPECT_EQ(a[1].toObject().value(QStringLiteral("etat")).toString(), QStringLiteral("rouge"));
    EXPECT_TRUE(a[1].toObject().value(QStringLiteral("texte")).toString().endsWith(QStringLiteral("[General] a;b\n")));
    EXPECT_TRUE(QFile::exists(chemins().RepertoireRapport + QStringLiteral("0422.xml")));

    ASSERT_EQ(executer({QStringLiteral("rapports"), QStringLiteral("--format"), QStringLiteral("csv")}, &sortie), 0);
    EXPECT_TRUE(sortie.contains("0421;vert;Derniere mise \xc3\xa0 jour automatique effectu\xc3\xa9" "e le "));
    EXPECT_TRUE(sortie.contains(" | [General] a;b\n")) << sortie.constData();
    EXPECT_EQ(sortie.count('\n'), 2);

    ASSERT_EQ(executer({QStringLiteral("rapports")}, &sortie), 0);
    EXPECT_TRUE(sortie.contains("0422  [rouge]  (0422.xml)\n    Derniere mise \xc3\xa0 jour")) << sortie.constData();
    EXPECT_TRUE(sortie.contains("\n    [General] a;b\n")) << sortie.constData();

    EXPECT_EQ(executer({QStringLiteral("rapports"), QStringLiteral("--jours"), QStringLiteral("40")}), 2);
}

TEST_F(RapportsCli, ErreursSeulementEtOrdres)
{
    ecrireIni();
    const QDateTime maintenant = QDateTime::currentDateTime();
    // Listing order is the server's: b10, a2 (old), c1 (red), named so that no order is another's.
    ecrire(serveur(QStringLiteral("Rapport/b10.xml")), rapportXml(maintenant.addSecs(-60)), maintenant);
    ecrire(serveur(QStringLiteral("Rapport/a2.xml")), rapportXml(maintenant.addDays(-9)), maintenant);
    ecrire(serveur(QStringLiteral("Rapport/c1.xml")), rapportXml(maintenant.addSecs(-120), 1, QStringLiteral("x")), maintenant);
    const auto franchises = [&](const QStringList &options) {
        QByteArray sortie;
        EXPECT_EQ(executer(QStringList{QStringLiteral("rapports"), QStringLiteral("--format"), QStringLiteral("csv")} + options,
                           &sortie),
                  0);
        QStringList r;
        for (const QByteArray &l : sortie.split('\n'))
            if (!l.isEmpty())
                r << QString::fromUtf8(l.split(';').mid(0, 2).join(';'));
        return r;
    };
    const QStringList serveurOrdre = franchises({});
    ASSERT_EQ(serveurOrdre.size(), 3);
    EXPECT_EQ(franchises({QStringLiteral("--tri"), QStringLiteral("franchise")}),
              (QStringList{QStringLiteral("a2;rouge"), QStringLiteral("b10;vert"), QStringLiteral("c1;rouge")}));
    EXPECT_EQ(franchises({QStringLiteral("--tri"), QStringLiteral("date")}),
              (QStringList{QStringLiteral("a2;rouge"), QStringLiteral("c1;rouge"), QStringLiteral("b10;vert")}));
    const QStringList etat = franchises({QStringLiteral("--tri"), QStringLiteral("etat")});
    ASSERT_EQ(etat.size(), 3);
    EXPECT_EQ(etat[2], QStringLiteral("b10;vert"));
    // Red lines keep the server's order among themselves.
    EXPECT_LT(serveurOrdre.indexOf(etat[0]), serveurOrdre.indexOf(etat[1]));
    EXPECT_EQ(franchises({QStringLiteral("--erreurs")}).size(), 2);
    EXPECT_EQ(franchises({QStringLiteral("--erreurs"), QStringLiteral("--tri"), QStringLiteral("franchise")}),
              (QStringList{QStringLiteral("a2;rouge"), QStringLiteral("c1;rouge")}));
    QByteArray sortie;
    ASSERT_TRUE(QFile::remove(serveur(QStringLiteral("Rapport/c1.xml"))));
    ASSERT_TRUE(QFile::remove(serveur(QStringLiteral("Rapport/a2.xml"))));
    ASSERT_EQ(executer({QStringLiteral("rapports"), QStringLiteral("--erreurs")}, &sortie), 0);
    EXPECT_EQ(sortie, "Aucun rapport en erreur.\n"); // b10 is there, green
    QByteArray erreurs;
    EXPECT_EQ(executer({QStringLiteral("rapports"), QStringLiteral("--tri"), QStringLiteral("nom")}, nullptr, &erreurs), 2);
    EXPECT_TRUE(erreurs.contains("--tri attend franchise, etat ou date.")) << erreurs.constData();
}

TEST_F(RapportsCli, ConnexionRefuseeDonneUnEtLeMessage)
{
    m_compte.Mdp = QStringLiteral("faux");
    ecrireIni();
    QByteArray erreurs;
    EXPECT_EQ(executer({QStringLiteral("rapports")}, nullptr, &erreurs), 1);
    EXPECT_TRUE(erreurs.startsWith("Impossible de se connecter au serveur FTP. Erreur ")) << erreurs.constData();
}

// The check for a monitoring system: its exit code and its one line, for each threshold.
TEST_F(RapportsCli, SupervisionSeuilsEtLigne)
{
    serveurListeTriee(); // listing order is name order
    ecrireIni();
    const QDateTime maintenant = QDateTime::currentDateTime();
    const auto rapport = [&](const char *nom, int etat) {
        ecrire(serveur(QStringLiteral("Rapport/") + QLatin1String(nom) + QStringLiteral(".xml")),
               rapportXml(maintenant, etat), maintenant);
    };
    rapport("0401", 0);
    rapport("0402", 0);
    const auto verifier = [&](const QStringList &options, int code, const QByteArray &ligne) {
        QByteArray sortie, erreurs;
        EXPECT_EQ(executer(QStringList{QStringLiteral("rapports"), QStringLiteral("--supervision")} + options,
                           &sortie, &erreurs),
                  code)
            << options.join(u' ').toStdString() << '\n' << sortie.constData() << erreurs.constData();
        EXPECT_EQ(sortie.toStdString(), ligne.toStdString() + '\n') << options.join(u' ').toStdString();
    };
    verifier({}, 0, "MAJAUTO OK - aucun franchis\xc3\xa9 en erreur sur 2 | franchises=2;;;0 rouges=0;1;1;0;2");

    rapport("0411", 1);
    rapport("0425", 2);
    rapport("0430", 1);
    const QByteArray rouges = " - 3 franchis\xc3\xa9s en erreur sur 5 : 0411, 0425, 0430 | franchises=5;;;0 rouges=3;";
    verifier({}, 2, "MAJAUTO CRITICAL" + rouges + "1;1;0;5");
    verifier({QStringLiteral("--avertissement"), QStringLiteral("4"), QStringLiteral("--critique"), QStringLiteral("5")},
             0, "MAJAUTO OK" + rouges + "4;5;0;5");
    verifier({QStringLiteral("--avertissement=2"), QStringLiteral("--critique=4")}, 1, "MAJAUTO WARNING" + rouges + "2;4;0;5");
    verifier({QStringLiteral("--avertissement=3"), QStringLiteral("--critique=3")}, 2, "MAJAUTO CRITICAL" + rouges + "3;3;0;5");
    // A report older than the tolerance is red too; a wider one turns it green.
    ecrire(serveur(QStringLiteral("Rapport/0402.xml")), rapportXml(maintenant.addDays(-3)), maintenant.addDays(-3));
    verifier({QStringLiteral("--critique"), QStringLiteral("5")}, 1,
             "MAJAUTO WARNING - 4 franchis\xc3\xa9s en erreur sur 5 : 0402, 0411, 0425, 0430 | franchises=5;;;0 rouges=4;1;5;0;5");
    verifier({QStringLiteral("--jours"), QStringLiteral("5"), QStringLiteral("--critique"), QStringLiteral("4")}, 1,
             "MAJAUTO WARNING" + rouges + "1;4;0;5");

    // Ten are named, in listing order; "…" says there are more.
    for (const char *nom : {"0450", "0451", "0452", "0453", "0454", "0455", "0456", "0457"})
        rapport(nom, 1);
    verifier({}, 2,
             "MAJAUTO CRITICAL - 12 franchis\xc3\xa9s en erreur sur 13 : 0402, 0411, 0425, 0430, 0450, 0451, 0452, "
             "0453, 0454, 0455, \xe2\x80\xa6 | franchises=13;;;0 rouges=12;1;1;0;13");
}

TEST_F(RapportsCli, SupervisionInconnue)
{
    const auto inconnue = [&](const QStringList &options) {
        QByteArray sortie;
        EXPECT_EQ(executer(QStringList{QStringLiteral("rapports"), QStringLiteral("--supervision")} + options, &sortie), 3)
            << options.join(u' ').toStdString();
        EXPECT_TRUE(sortie.startsWith("MAJAUTO UNKNOWN - ")) << sortie.constData();
        EXPECT_EQ(sortie.count('\n'), 1) << sortie.constData();
        EXPECT_FALSE(sortie.contains('|')) << sortie.constData();
        return sortie;
    };
    m_compte.Mdp = QStringLiteral("faux");
    ecrireIni();
    EXPECT_TRUE(inconnue({}).startsWith("MAJAUTO UNKNOWN - Impossible de se connecter au serveur FTP. Erreur "));
    m_compte.Mdp = QStringLiteral("secret");
    ecrireIni();
    // A listing that fails after logging in.
    ASSERT_TRUE(QDir(serveur(QStringLiteral("Rapport"))).removeRecursively());
    inconnue({});
    ASSERT_TRUE(QDir().mkpath(serveur(QStringLiteral("Rapport"))));
    EXPECT_EQ(inconnue({QStringLiteral("--critique"), QStringLiteral("0")}),
              "MAJAUTO UNKNOWN - --critique attend un nombre entier de 1 ou plus.\n");
    inconnue({QStringLiteral("--avertissement")});
    inconnue({QStringLiteral("--format"), QStringLiteral("csv")});
    EXPECT_EQ(inconnue({QStringLiteral("--erreurs")}), "MAJAUTO UNKNOWN - --erreurs ne s'emploie pas avec --supervision.\n");
    inconnue({QStringLiteral("--tri"), QStringLiteral("nom")});
    inconnue({QStringLiteral("--tri"), QStringLiteral("date")});
    inconnue({QStringLiteral("--seuil"), QStringLiteral("2")});
    // Without --supervision the thresholds are a usage error as any other.
    EXPECT_EQ(executer({QStringLiteral("rapports"), QStringLiteral("--critique"), QStringLiteral("2")}), 2);
}

TEST_F(RapportsCli, HistoriqueEnCsvEtSansHistorique)
{
    ecrireIni();
    ecrire(serveur(QStringLiteral("Rapport/Historique/0421.xml")), historiqueXml(QStringLiteral("x; y")));
    const QString csv = m_tmp.filePath(QStringLiteral("h.csv"));
    QByteArray sortie, erreurs;
    ASSERT_EQ(executer({QStringLiteral("historique"), QStringLiteral("0421"), QStringLiteral("--csv"), csv}, &sortie, &erreurs), 0)
        << erreurs.constData();
    EXPECT_EQ(lireFichier(csv), QByteArray("24/03/2013;Mise \xe0 jour automatique install\xe9" "e.;\r\n"
                                    "25/03/2013;[General] x; y\n;\r\n"));

    ASSERT_EQ(executer({QStringLiteral("historique"), QStringLiteral("0421")}, &sortie), 0);
    EXPECT_EQ(sortie.count('\n'), 2);
    EXPECT_TRUE(sortie.contains("25/03/2013 06:30:00  [rouge]  [General] x; y\n")) << sortie.constData();

    EXPECT_EQ(executer({QStringLiteral("historique"), QStringLiteral("0999")}, &sortie, &erreurs), 1);
    EXPECT_EQ(erreurs, QByteArray("Il n'y a pas d'historique pour le franchis\xc3\xa9 0999\n"));
}

} // namespace
