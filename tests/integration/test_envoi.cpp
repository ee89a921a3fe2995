#include "core/publish/FtpClient.h"
#include "core/publish/Envoi.h"

#include "core/base/Chemins.h"
#include "core/config/Parametres.h"
#include "FtpServeur.h"
#include "OutilsTests.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

// The publishing account as a click reads it.
CompteFtp comptePublication()
{
    return Parametres::lire(chemins().FichierIni).publication;
}

// A missing file reads as "<absent>", never as an empty one.
QByteArray lire(const QString &chemin)
{
    return lireFichier(chemin, "<absent>");
}

QByteArray exportXml(const char *nom)
{
    QByteArray b = "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<Export><Version Numero=\"1.0\"/>"
                   "<Lignes><Ligne Libelle=\"\xe9t\xe9 \x80\"/></Lignes></Export>\r\n";
    return b.replace("Export", nom);
}

// A program directory (Halvenor.ini, preparer/) and an FTP server with three accounts.
class EnvoiTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(racine.isValid());
        programme = racine.filePath(QStringLiteral("programme")) + u'/';
        siege = racine.filePath(QStringLiteral("siege"));
        autre = racine.filePath(QStringLiteral("autre"));
        lecture = racine.filePath(QStringLiteral("lecture"));
        for (const QString &d : {QString(programme + QStringLiteral("preparer")), siege, autre, lecture})
            ASSERT_TRUE(QDir().mkpath(d));
        definirChemins(Chemins::depuisRepertoire(programme));
    }

    void demarrerServeur()
    {
        serveur = std::make_unique<FtpServeur>(QList<FtpServeur::Compte>{
            {QStringLiteral("siege"), QStringLiteral("secret"), siege},
            {QStringLiteral("autre"), QStringLiteral("mdp2"), autre},
            {QStringLiteral("lecteur"), QStringLiteral("lu"), lecture, QStringLiteral("elr")}});
    }

    // Halvenor.ini: the [Halvenor] keys given, and the publishing account.
    void ini(const QString &login, const QString &mdp, int port, const QByteArray &halvenor = {})
    {
        QByteArray texte = "[Halvenor]\r\n" + halvenor + "[Halvenor_FTP]\r\nLogin=" + login.toLatin1()
                           + "\r\nMdp=" + mdp.toLatin1() + "\r\nHost=127.0.0.1\r\nPort="
                           + QByteArray::number(port) + "\r\n";
        ASSERT_TRUE(ecrireFichier(chemins().FichierIni, texte));
    }

    void preparer(const QString &nom)
    {
        ASSERT_TRUE(ecrireFichier(chemins().RepertoirePreparer + nom, exportXml(nom.toLatin1())));
    }

    QTemporaryDir racine;
    QString programme, siege, autre, lecture;
    std::unique_ptr<FtpServeur> serveur;
    MessagesEnregistres messages;
};

// --- FTP publishing session -------------------------------------------------------------------

TEST_F(EnvoiTest, EnvoiFtpOctetPourOctetDansLeRepertoireDeConnexion)
{
    demarrerServeur();
    ini(QStringLiteral("siege"), QStringLiteral("secret"), serveur->port());
    preparer(QStringLiteral("remise_achat.xml"));

    FtpClient client;
    SessionFtp session(client, comptePublication(), chemins().RepertoireProgramme, messages);
    ASSERT_TRUE(session.ConnexionFTP()) << messages.textes.join(u'\n').toStdString();
    EXPECT_TRUE(client.connected());
    EXPECT_TRUE(session.EnvoiParFtp(chemins().RepertoirePreparer + QStringLiteral("remise_achat.xml"),
                                    QStringLiteral("remise_achat.xml")));
    EXPECT_TRUE(session.DeconnexionFTP());
    EXPECT_FALSE(client.connected());
    EXPECT_TRUE(messages.textes.isEmpty()) << messages.textes.join(u'\n').toStdString();
    EXPECT_EQ(lire(siege + QStringLiteral("/remise_achat.xml")), exportXml("remise_achat.xml"));

    // Not connected: nothing to close, and no message.
    EXPECT_TRUE(session.DeconnexionFTP());
    EXPECT_TRUE(messages.textes.isEmpty());
}

TEST_F(EnvoiTest, MessagesDeConnexion)
{
    demarrerServeur();
    FtpClient client;
    // Each click reads the settings once: a session per click.
    const auto connexion = [&] { return SessionFtp(client, comptePublication(), chemins().RepertoireProgramme, messages).ConnexionFTP(); };
    const auto deconnexion = [&] { return SessionFtp(client, comptePublication(), chemins().RepertoireProgramme, messages).DeconnexionFTP(); };

    const QString authentification = QStringLiteral("Impossible de se connecter au serveur FTP. Erreur ");
    const QString autreErreur = QStringLiteral("Une erreur est survenue (TFicheHalvenor::ConnexionFTP): ");

    ini(QStringLiteral("siege"), QStringLiteral("faux"), serveur->port());
    EXPECT_FALSE(connexion());
    ASSERT_EQ(messages.textes.size(), 1);
    EXPECT_TRUE(messages.textes[0].startsWith(authentification)) << messages.textes[0].toStdString();
    EXPECT_GT(messages.textes[0].size(), authentification.size()) << "the error's own text follows";
    EXPECT_FALSE(client.connected());

    // The settings are read again at each click.
    messages.textes.clear();
    ini(QStringLiteral("siege"), QStringLiteral("secret"), serveur->port());
    EXPECT_TRUE(connexion());
    EXPECT_TRUE(messages.textes.isEmpty());
    EXPECT_TRUE(deconnexion());

    // Nobody listens on the port any more.
    serveur.reset();
    EXPECT_FALSE(connexion());
    ASSERT_EQ(messages.textes.size(), 1);
    EXPECT_TRUE(messages.textes[0].startsWith(autreErreur)) << messages.textes[0].toStdString();
    EXPECT_GT(messages.textes[0].size(), autreErreur.size());
    EXPECT_FALSE(client.connected());

    // No Halvenor.ini: an empty host, which no connection can reach.
    messages.textes.clear();
    ASSERT_TRUE(QFile::remove(chemins().FichierIni));
    EXPECT_FALSE(connexion());
    ASSERT_EQ(messages.textes.size(), 1);
    EXPECT_TRUE(messages.textes[0].startsWith(autreErreur)) << messages.textes[0].toStdString();
}

TEST_F(EnvoiTest, EnvoiRefuseParUnCompteEnLectureSeule)
{
    demarrerServeur();
    ini(QStringLiteral("lecteur"), QStringLiteral("lu"), serveur->port());
    preparer(QStringLiteral("remise_achat.xml"));

    FtpClient client;
    SessionFtp session(client, comptePublication(), chemins().RepertoireProgramme, messages);
    Envoi envoi(session, ModeEnvoi::FTP, QString(), messages);
    EXPECT_FALSE(envoi.EnvoiFichier(chemins().RepertoirePreparer + QStringLiteral("remise_achat.xml"),
                                    QStringLiteral("remise_achat.xml")));
    ASSERT_EQ(messages.textes.size(), 1);
    EXPECT_TRUE(messages.textes[0].startsWith(QStringLiteral("Une erreur est survenue (TFicheHalvenor::EnvoiParFtp): ")))
        << messages.textes[0].toStdString();
    EXPECT_TRUE(messages.textes[0].contains(QStringLiteral("550"))) << "the server's refusal is quoted";
    EXPECT_FALSE(client.connected()) << "the session is closed after a refused upload";
    EXPECT_FALSE(QFileInfo::exists(lecture + QStringLiteral("/remise_achat.xml")));
}

// Stopped while the file travels: nothing said, the published file as it was, and the
// temporary file deleted over a new connection.
TEST_F(EnvoiTest, EnvoiAnnuleEffaceLeFichierTemporaire)
{
    demarrerServeur();
    ini(QStringLiteral("siege"), QStringLiteral("secret"), serveur->port());
    ASSERT_TRUE(ecrireFichier(siege + QStringLiteral("/remise_achat.xml"), "publié avant"));
    ASSERT_TRUE(ecrireFichier(chemins().RepertoirePreparer + QStringLiteral("remise_achat.xml"),
                              QByteArray(64 << 20, 'x')));

    FtpClient client;
    Annulation annulation;
    client.setAnnulation(&annulation);
    SessionFtp session(client, comptePublication(), chemins().RepertoireProgramme, messages);
    Envoi envoi(session, ModeEnvoi::FTP, QString(), messages);
    envoi.definirAnnulation(&annulation);
    const QString partiel = siege + QStringLiteral("/.remise_achat.xml.partiel");
    std::thread annuleur([&] {
        QElapsedTimer attente;
        attente.start();
        while (!QFileInfo(partiel).exists() && attente.elapsed() < 20000)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        annulation.annuler();
    });
    QElapsedTimer chrono;
    chrono.start();
    const bool envoye = envoi.envoyerFichiers(Genre::Remise, chemins().RepertoirePreparer);
    const qint64 duree = chrono.elapsed();
    annuleur.join();
    EXPECT_FALSE(envoye);
    EXPECT_TRUE(messages.textes.isEmpty()) << messages.textes.join(u'\n').toStdString();
    EXPECT_EQ(lire(siege + QStringLiteral("/remise_achat.xml")), QByteArray("publié avant"));
    EXPECT_FALSE(QFileInfo::exists(partiel)) << "deleted on the server";
    EXPECT_FALSE(client.connected());
    EXPECT_LT(duree, 5000);
}

TEST_F(EnvoiTest, FichierJamaisGenere)
{
    demarrerServeur();
    FtpClient client;
    const QString chemin = chemins().RepertoirePreparer + QStringLiteral("personnalisation.xml");

    ini(QStringLiteral("siege"), QStringLiteral("secret"), serveur->port());
    SessionFtp session(client, comptePublication(), chemins().RepertoireProgramme, messages);
    Envoi envoi(session, ModeEnvoi::FTP, QString(), messages);
    EXPECT_FALSE(envoi.EnvoiFichier(chemin, QStringLiteral("personnalisation.xml")));
    EXPECT_EQ(messages.textes,
              QStringList{QStringLiteral("Le fichier : \n") + chemin + QStringLiteral("N'éxiste pas ou est inaccessible.")});
    EXPECT_FALSE(client.connected());
    EXPECT_TRUE(QDir(siege).isEmpty());

    // The connection comes first: with a refused login, that is the one message.
    messages.textes.clear();
    ini(QStringLiteral("siege"), QStringLiteral("faux"), serveur->port());
    SessionFtp refusee(client, comptePublication(), chemins().RepertoireProgramme, messages);
    EXPECT_FALSE(Envoi(refusee, ModeEnvoi::FTP, QString(), messages).EnvoiFichier(chemin, QStringLiteral("personnalisation.xml")));
    ASSERT_EQ(messages.textes.size(), 1);
    EXPECT_TRUE(messages.textes[0].startsWith(QStringLiteral("Impossible de se connecter au serveur FTP. Erreur ")));
}

TEST_F(EnvoiTest, DeuxFichiersDeuxSessionsLePrincipalDAbord)
{
    demarrerServeur();
    ini(QStringLiteral("siege"), QStringLiteral("secret"), serveur->port(), "Message=1\r\n");
    preparer(QStringLiteral("message.xml"));
    preparer(QStringLiteral("message_type.xml"));

    FtpClient client;
    SessionFtp session(client, comptePublication(), chemins().RepertoireProgramme, messages);
    Envoi envoi(session, ModeEnvoi::FTP, QString(), messages);
    QStringList publies;
    // Between the two files, point the settings at another account: the click read them once,
    // both files go to the account of the click.
    EXPECT_TRUE(envoi.envoyerFichiers(Genre::Messages, chemins().RepertoirePreparer, [&](const QString &nom) {
        publies << nom;
        ini(QStringLiteral("autre"), QStringLiteral("mdp2"), serveur->port());
    }));
    EXPECT_TRUE(messages.textes.isEmpty()) << messages.textes.join(u'\n').toStdString();
    EXPECT_EQ(publies, (QStringList{QStringLiteral("message.xml"), QStringLiteral("message_type.xml")}));
    EXPECT_EQ(lire(siege + QStringLiteral("/message.xml")), exportXml("message.xml"));
    EXPECT_EQ(lire(siege + QStringLiteral("/message_type.xml")), exportXml("message_type.xml"));
    EXPECT_FALSE(QFileInfo::exists(autre + QStringLiteral("/message_type.xml")));
    EXPECT_FALSE(client.connected());
}

TEST_F(EnvoiTest, ArretAuPremierEchec)
{
    demarrerServeur();
    ini(QStringLiteral("siege"), QStringLiteral("secret"), serveur->port());
    preparer(QStringLiteral("mes_docs_type.xml")); // the main file mes_docs.xml is missing

    FtpClient client;
    SessionFtp session(client, comptePublication(), chemins().RepertoireProgramme, messages);
    Envoi envoi(session, ModeEnvoi::FTP, QString(), messages);
    EXPECT_FALSE(envoi.envoyerFichiers(Genre::Documents, chemins().RepertoirePreparer));
    ASSERT_EQ(messages.textes.size(), 1);
    EXPECT_TRUE(messages.textes[0].contains(QStringLiteral("mes_docs.xml")));
    EXPECT_TRUE(QDir(siege).isEmpty()) << "the type file is not sent after the main one failed";
}

// --- Publishing by path -----------------------------------------------------------------------

TEST_F(EnvoiTest, CopieParCheminRemplaceDAtomiquement)
{
    const QString pub = racine.filePath(QStringLiteral("pub")) + u'/';
    ASSERT_TRUE(QDir().mkpath(pub));
    preparer(QStringLiteral("message.xml"));
    const QString source = chemins().RepertoirePreparer + QStringLiteral("message.xml");

    EXPECT_TRUE(CopieParChemin(source, pub + QStringLiteral("message.xml"), messages));
    EXPECT_EQ(lire(pub + QStringLiteral("message.xml")), exportXml("message.xml"));

    // An existing target is replaced by a new file renamed over it, never rewritten in
    // place: a reader holding the old file (here a hard link to it) keeps it whole.
    ASSERT_TRUE(ecrireFichier(pub + QStringLiteral("ancien.xml"), QByteArray(200000, 'a')));
    ASSERT_TRUE(QFile::remove(pub + QStringLiteral("message.xml")));
    ASSERT_EQ(::link(QFile::encodeName(pub + QStringLiteral("ancien.xml")).constData(),
                     QFile::encodeName(pub + QStringLiteral("message.xml")).constData()),
              0);
    EXPECT_TRUE(CopieParChemin(source, pub + QStringLiteral("message.xml"), messages));
    EXPECT_EQ(lire(pub + QStringLiteral("message.xml")), exportXml("message.xml"));
    EXPECT_EQ(lire(pub + QStringLiteral("ancien.xml")), QByteArray(200000, 'a'));
    EXPECT_EQ(QDir(pub).entryList(QDir::Files | QDir::Hidden).size(), 2) << "no temporary file left";
    EXPECT_TRUE(messages.textes.isEmpty());
}

TEST_F(EnvoiTest, CopieParCheminEchecs)
{
    const QString pub = racine.filePath(QStringLiteral("pub")) + u'/';
    ASSERT_TRUE(QDir().mkpath(pub));
    const QString absent = chemins().RepertoirePreparer + QStringLiteral("mes_docs.xml");
    EXPECT_FALSE(CopieParChemin(absent, pub + QStringLiteral("mes_docs.xml"), messages));
    EXPECT_EQ(messages.textes,
              QStringList{QStringLiteral("Le fichier : \n") + absent + QStringLiteral(" n'existe pas ou est inaccessible.")});
    EXPECT_TRUE(QDir(pub).isEmpty());

    messages.textes.clear();
    preparer(QStringLiteral("mes_docs.xml"));
    const QString source = chemins().RepertoirePreparer + QStringLiteral("mes_docs.xml");
    const QString cible = racine.filePath(QStringLiteral("manquant/mes_docs.xml"));
    EXPECT_FALSE(CopieParChemin(source, cible, messages));
    EXPECT_EQ(messages.textes, QStringList{QStringLiteral("Impossible de copier le fichier : \n\t") + source
                                           + QStringLiteral("\ndans :\n\t") + cible});
}

TEST_F(EnvoiTest, EnvoiParCheminEtRepertoireValide)
{
    FtpClient client;
    SessionFtp session(client, comptePublication(), chemins().RepertoireProgramme, messages);
    const QString pub = racine.filePath(QStringLiteral("pub"));
    ASSERT_TRUE(QDir().mkpath(pub));

    EXPECT_FALSE(Envoi(session, ModeEnvoi::URI, QString(), messages).repertoireValide());
    EXPECT_FALSE(Envoi(session, ModeEnvoi::URI, pub + QStringLiteral("/absent/"), messages).repertoireValide());
    EXPECT_TRUE(Envoi(session, ModeEnvoi::FTP, QString(), messages).repertoireValide());

    preparer(QStringLiteral("mes_docs.xml"));
    preparer(QStringLiteral("mes_docs_type.xml"));
    Envoi envoi(session, ModeEnvoi::URI, pub + u'/', messages);
    ASSERT_TRUE(envoi.repertoireValide());
    QStringList publies;
    EXPECT_TRUE(envoi.envoyerFichiers(Genre::Documents, chemins().RepertoirePreparer, [&](const QString &n) { publies << n; }));
    EXPECT_EQ(publies, (QStringList{QStringLiteral("mes_docs.xml"), QStringLiteral("mes_docs_type.xml")}));
    EXPECT_EQ(lire(pub + QStringLiteral("/mes_docs.xml")), exportXml("mes_docs.xml"));
    EXPECT_EQ(lire(pub + QStringLiteral("/mes_docs_type.xml")), exportXml("mes_docs_type.xml"));

    // Without a trailing separator the path is still a plain prefix.
    Envoi sansSeparateur(session, ModeEnvoi::URI, pub, messages);
    EXPECT_TRUE(sansSeparateur.repertoireValide());
    EXPECT_TRUE(sansSeparateur.EnvoiFichier(chemins().RepertoirePreparer + QStringLiteral("mes_docs.xml"),
                                            QStringLiteral("mes_docs.xml")));
    EXPECT_EQ(lire(pub + QStringLiteral("mes_docs.xml")), exportXml("mes_docs.xml"));
    EXPECT_TRUE(messages.textes.isEmpty()) << messages.textes.join(u'\n').toStdString();
}

// --- halvenor-cli envoyer ---------------------------------------------------------------------


TEST_F(EnvoiTest, LigneDeCommandeFtp)
{
    demarrerServeur();
    ini(QStringLiteral("siege"), QStringLiteral("secret"), serveur->port(),
        "Remise_Achat=1\r\nPersonnalisation=0\r\nMessage=1\r\nDocument=1\r\nTypeEnvoi=FTP\r\n");
    for (const char *n : {"remise_achat.xml", "message.xml", "message_type.xml"})
        preparer(QString::fromLatin1(n));

    SortieProgramme r = lancerCli(programme, {QStringLiteral("envoyer"), QStringLiteral("remise")});
    EXPECT_EQ(r.code, 0) << r.erreurs.toStdString();
    EXPECT_TRUE(r.texte.contains(QStringLiteral("remise_achat.xml")));
    EXPECT_EQ(lire(siege + QStringLiteral("/remise_achat.xml")), exportXml("remise_achat.xml"));

    // A kind whose key is off is refused.
    r = lancerCli(programme, {QStringLiteral("envoyer"), QStringLiteral("personnalisation")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.erreurs.contains(QStringLiteral("Personnalisation"))) << r.erreurs.toStdString();

    // tout: every kind that is on; documents were never generated, so the run fails
    // with the session's message on stderr, after publishing the others.
    r = lancerCli(programme, {QStringLiteral("envoyer"), QStringLiteral("tout")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.erreurs.contains(QStringLiteral("mes_docs.xml") + QStringLiteral("N'éxiste pas ou est inaccessible.")))
        << r.erreurs.toStdString();
    EXPECT_TRUE(r.texte.contains(QStringLiteral("message.xml")));
    EXPECT_TRUE(r.texte.contains(QStringLiteral("message_type.xml")));
    EXPECT_FALSE(r.texte.contains(QStringLiteral("mes_docs"))) << r.texte.toStdString();
    EXPECT_EQ(lire(siege + QStringLiteral("/message_type.xml")), exportXml("message_type.xml"));

    preparer(QStringLiteral("mes_docs.xml"));
    preparer(QStringLiteral("mes_docs_type.xml"));
    r = lancerCli(programme, {QStringLiteral("envoyer"), QStringLiteral("tout")});
    EXPECT_EQ(r.code, 0) << r.erreurs.toStdString();
    EXPECT_EQ(r.texte.count(QStringLiteral(".xml")), 5) << r.texte.toStdString();
    EXPECT_EQ(lire(siege + QStringLiteral("/mes_docs.xml")), exportXml("mes_docs.xml"));

    r = lancerCli(programme, {QStringLiteral("envoyer"), QStringLiteral("inconnu")});
    EXPECT_EQ(r.code, 2);
    r = lancerCli(programme, {QStringLiteral("envoyer")});
    EXPECT_EQ(r.code, 2);
}

TEST_F(EnvoiTest, LigneDeCommandeParChemin)
{
    const QString pub = racine.filePath(QStringLiteral("pub")) + u'/';
    auto iniUri = [&](const QString &uri) {
        ASSERT_TRUE(ecrireFichier(chemins().FichierIni, "[Halvenor]\r\nRemise_Achat=1\r\nTypeEnvoi=URI\r\n"
                                                        "[Halvenor_URI]\r\nURI=" + uri.toUtf8() + "\r\n"));
    };
    preparer(QStringLiteral("remise_achat.xml"));

    iniUri(pub);
    SortieProgramme r = lancerCli(programme, {QStringLiteral("envoyer"), QStringLiteral("remise")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.erreurs.contains(QStringLiteral("n'existe pas"))) << r.erreurs.toStdString();
    EXPECT_FALSE(QFileInfo::exists(pub));

    ASSERT_TRUE(QDir().mkpath(pub));
    r = lancerCli(programme, {QStringLiteral("envoyer"), QStringLiteral("tout")});
    EXPECT_EQ(r.code, 0) << r.erreurs.toStdString();
    EXPECT_EQ(lire(pub + QStringLiteral("remise_achat.xml")), exportXml("remise_achat.xml"));
}

} // namespace
