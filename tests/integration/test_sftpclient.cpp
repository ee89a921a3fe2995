// SftpClient against OpenSSH's sshd on loopback: uploads, listings and their dates, downloads,
// and the host key checks.
#include "OutilsTests.h"
#include "SshServeur.h"

#include "core/config/Parametres.h"
#include "core/publish/SftpClient.h"

#include <QDir>
#include <QTemporaryDir>
#include <QThread>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <algorithm>

#include <utime.h>

namespace {

class Sftp : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        QDir().mkpath(racine());
        QDir().mkpath(local());
    }
    QString racine() const { return tmp.path() + QStringLiteral("/compte"); }
    QString local() const { return tmp.path() + QStringLiteral("/local"); }

    CompteFtp compte(const SshServeur &s, const QString &empreinte) const
    {
        CompteFtp c;
        c.protocole = CompteFtp::Protocole::SFTP;
        c.Host = QStringLiteral("127.0.0.1");
        c.Port = s.port();
        c.Login = s.utilisateur();
        c.Mdp = QStringLiteral("pas-le-bon");
        c.empreinteSsh = empreinte;
        c.cleSsh = QFileInfo(s.cleClient()).fileName(); // relative to the program directory
        return c;
    }
    // A client that trusts the server by its fingerprint.
    std::unique_ptr<SftpClient> client(const SshServeur &s)
    {
        auto c = std::make_unique<SftpClient>();
        c->configurer(compte(s, s.empreinte()), QFileInfo(s.cleClient()).absolutePath());
        c->setFichierHotesConnus(tmp.path() + QStringLiteral("/known_hosts"));
        return c;
    }

    QTemporaryDir tmp;
};

void dater(const QString &chemin, const QDateTime &quand)
{
    utimbuf t{static_cast<time_t>(quand.toSecsSinceEpoch()), static_cast<time_t>(quand.toSecsSinceEpoch())};
    ASSERT_EQ(::utime(QFile::encodeName(chemin).constData(), &t), 0);
}

} // namespace

TEST_F(Sftp, PublicationTwiceOverExistingFilesLeavesExactFilesAndNoTemporary)
{
    const SshServeur serveur(racine());
    auto c = client(serveur);
    ASSERT_NO_THROW(c->connect());
    const QStringList noms{QStringLiteral("remise_achat.xml"), QStringLiteral("message été.xml")};
    for (int tour = 0; tour < 2; ++tour) {
        for (const QString &nom : noms) {
            QByteArray octets = QByteArray("<?xml version=\"1.0\"?>\r\n<r tour=\"") + QByteArray::number(tour) + "\">";
            octets += QByteArray(tour == 0 ? 70000 : 300, 'x') + "</r>";
            ASSERT_TRUE(ecrireFichier(local() + u'/' + nom, octets));
            ASSERT_NO_THROW(deposerEnEntier(*c, local() + u'/' + nom, nom)) << nom.toStdString();
            EXPECT_EQ(c->size(nom), octets.size());
        }
        for (const QString &nom : noms)
            EXPECT_EQ(lireFichier(racine() + u'/' + nom), lireFichier(local() + u'/' + nom));
        EXPECT_EQ(QDir(racine()).entryList(QDir::Files | QDir::Hidden).size(), noms.size());
    }
    // A refused write says so, and leaves no temporary behind.
    QDir().mkpath(racine() + QStringLiteral("/lecture"));
    QFile::setPermissions(racine() + QStringLiteral("/lecture"), QFile::ReadOwner | QFile::ExeOwner);
    if (::geteuid() != 0) { // root writes anyway
        c->changeDir(QStringLiteral("/lecture"));
        try {
            deposerEnEntier(*c, local() + u'/' + noms[0], noms[0]);
            ADD_FAILURE() << "write accepted";
        } catch (const FtpError &e) {
            EXPECT_EQ(e.echec().cause, CauseFtp::EcritureRefusee);
        }
    }
    c->disconnect();
}

TEST_F(Sftp, ListingGivesExactDatesWhateverTheServersClock)
{
    const QDateTime maintenant = QDateTime::currentDateTime();
    const QDateTime recent = QDateTime::fromSecsSinceEpoch(maintenant.toSecsSinceEpoch() - 3 * 86400 - 1234);
    const QDateTime ancien = maintenant.addDays(-400);
    ASSERT_TRUE(ecrireFichier(racine() + QStringLiteral("/Rapport/00012.xml"), "<r/>"));
    ASSERT_TRUE(ecrireFichier(racine() + QStringLiteral("/Rapport/00013.xml"), "<r/>"));
    ASSERT_TRUE(ecrireFichier(racine() + QStringLiteral("/Rapport/00099.xml"), "<r/>"));
    QDir().mkpath(racine() + QStringLiteral("/Rapport/Historique"));
    dater(racine() + QStringLiteral("/Rapport/00012.xml"), recent);
    dater(racine() + QStringLiteral("/Rapport/00013.xml"), recent.addSecs(-7200 - 17));
    dater(racine() + QStringLiteral("/Rapport/00099.xml"), ancien);

    // The server's clock in this machine's zone, then in a zone far from it.
    for (const QString &fuseau : {QString(), QStringLiteral("XYZ-5:30")}) {
        SshServeur::Options o;
        o.fuseau = fuseau;
        const SshServeur serveur(racine(), o);
        auto c = client(serveur);
        c->connect();
        c->changeDir(QStringLiteral("/Rapport"));
        QMap<QString, FtpEntree> vus;
        for (const FtpEntree &e : c->list())
            vus.insert(e.nom, e);
        ASSERT_EQ(vus.size(), 4) << fuseau.toStdString();
        EXPECT_EQ(vus[QStringLiteral("Historique")].type, FtpEntree::Type::Repertoire);
        for (const auto &[nom, quand] : {std::pair{QStringLiteral("00012.xml"), recent},
                                         std::pair{QStringLiteral("00013.xml"), recent.addSecs(-7200 - 17)}}) {
            const FtpEntree &e = vus[nom];
            EXPECT_FALSE(e.sansFuseau) << nom.toStdString();
            // To the minute, as the listing gives it.
            EXPECT_LE(e.modification.secsTo(quand), 59) << nom.toStdString() << " " << fuseau.toStdString();
            EXPECT_GE(e.modification.secsTo(quand), 0) << nom.toStdString() << " " << fuseau.toStdString();
        }
        // Listed with its year only: approximate, and the exact time is one request away.
        EXPECT_TRUE(vus[QStringLiteral("00099.xml")].sansFuseau);
        EXPECT_EQ(c->dateExacte("00099.xml").toSecsSinceEpoch(), ancien.toSecsSinceEpoch());
        EXPECT_FALSE(c->dateExacte("absent.xml").isValid());
        EXPECT_THROW(c->changeDir(QStringLiteral("/Absent")), FtpError);
        c->disconnect();
    }
}

TEST_F(Sftp, ParallelAndHistoryDownloads)
{
    QList<Telechargement> fichiers;
    for (int i = 0; i < 40; ++i) {
        const QString nom = QStringLiteral("%1.xml").arg(i, 5, 10, QChar(u'0'));
        ASSERT_TRUE(ecrireFichier(racine() + QStringLiteral("/Rapport/") + nom, QByteArray(100 + i * 50, char('a' + i % 26))));
        fichiers << Telechargement{nom.toUtf8(), local() + u'/' + nom};
    }
    fichiers.insert(7, Telechargement{"absent.xml", local() + QStringLiteral("/absent.xml")});
    // Refused before any transfer: a name no path can carry, a local file that cannot be made.
    fichiers.insert(12, Telechargement{"sous/nom.xml", local() + QStringLiteral("/nom.xml")});
    ASSERT_TRUE(ecrireFichier(local() + QStringLiteral("/fichier"), "x"));
    fichiers.insert(20, Telechargement{"00001.xml", local() + QStringLiteral("/fichier/00001.xml")});
    ASSERT_TRUE(ecrireFichier(racine() + QStringLiteral("/Rapport/Historique/H00003.xml"), "<historique/>"));
    // A link in place of a local copy is replaced, never written through.
    ASSERT_TRUE(ecrireFichier(tmp.path() + QStringLiteral("/cible"), "intacte"));
    QFile::link(tmp.path() + QStringLiteral("/cible"), local() + QStringLiteral("/00001.xml"));

    const SshServeur serveur(racine());
    auto c = client(serveur);
    c->connect();
    c->changeDir(QStringLiteral("/Rapport"));
    QList<qsizetype> entendus;
    const QList<ResultatFtp> r = c->getParallele(fichiers, 4, 1 << 20, [&](qsizetype i, const ResultatFtp &res) {
        EXPECT_EQ(bool(res), i != 7 && i != 12 && i != 20) << i;
        entendus << i;
    });
    ASSERT_EQ(r.size(), fichiers.size());
    std::sort(entendus.begin(), entendus.end());
    EXPECT_EQ(entendus.size(), fichiers.size());
    EXPECT_EQ(std::unique(entendus.begin(), entendus.end()), entendus.end());
    for (qsizetype i = 0; i < fichiers.size(); ++i) {
        if (i == 20) {
            ASSERT_FALSE(r[i]);
            EXPECT_EQ(r[i].echec().cause, CauseFtp::EcritureLocale);
            continue;
        }
        if (i == 7 || i == 12) {
            ASSERT_FALSE(r[i]);
            EXPECT_EQ(r[i].echec().cause, CauseFtp::Introuvable);
            EXPECT_FALSE(QFile::exists(fichiers[i].cheminLocal));
            continue;
        }
        ASSERT_TRUE(r[i]) << r[i].echec().texte().toStdString();
        EXPECT_EQ(lireFichier(fichiers[i].cheminLocal),
                  lireFichier(racine() + QStringLiteral("/Rapport/") + QString::fromUtf8(fichiers[i].nomBrut)));
    }
    EXPECT_EQ(lireFichier(tmp.path() + QStringLiteral("/cible")), "intacte");
    // A file over the cap is refused whole, and the session goes on.
    try {
        c->get(QByteArray("00039.xml"), local() + QStringLiteral("/gros.xml"), 100);
        ADD_FAILURE() << "cap ignored";
    } catch (const FtpError &) {
        EXPECT_FALSE(QFile::exists(local() + QStringLiteral("/gros.xml")));
    }
    // The history: another directory of the same session.
    c->changeDir(QStringLiteral("/Rapport/Historique"));
    ASSERT_EQ(c->list().size(), 1);
    c->get(QByteArray("H00003.xml"), local() + QStringLiteral("/H00003.xml"));
    EXPECT_EQ(lireFichier(local() + QStringLiteral("/H00003.xml")), "<historique/>");
    try {
        c->get(QByteArray("H00004.xml"), local() + QStringLiteral("/H00004.xml"));
        ADD_FAILURE() << "missing file downloaded";
    } catch (const FtpError &e) {
        EXPECT_EQ(e.echec().texte(), raisonFtp(CauseFtp::Introuvable));
    }
    EXPECT_TRUE(c->connected());
}

TEST_F(Sftp, ServerRefusingExtraSessionsCostsNoFile)
{
    QList<Telechargement> fichiers;
    for (int i = 0; i < 30; ++i) {
        const QString nom = QStringLiteral("F%1.xml").arg(i);
        ASSERT_TRUE(ecrireFichier(racine() + u'/' + nom, QByteArray::number(i)));
        fichiers << Telechargement{nom.toUtf8(), local() + u'/' + nom};
    }
    SshServeur::Options o;
    o.demarragesMax = 1;
    const SshServeur serveur(racine(), o);
    auto c = client(serveur);
    // The fixture's readiness probe may hold the one handshake slot for a moment.
    for (int essai = 0; !c->connected() && essai < 50; ++essai) {
        try {
            c->connect();
        } catch (const FtpError &) {
            QThread::msleep(20);
        }
    }
    ASSERT_TRUE(c->connected());
    const QList<ResultatFtp> r = c->getParallele(fichiers, 8);
    for (qsizetype i = 0; i < r.size(); ++i) {
        ASSERT_TRUE(r[i]) << i << ": " << r[i].echec().texte().toStdString();
        EXPECT_EQ(lireFichier(fichiers[i].cheminLocal), QByteArray::number(i));
    }
}

TEST_F(Sftp, CancelledFetchAndUploadLeaveNoPartialFile)
{
    QList<Telechargement> fichiers;
    for (int i = 0; i < 60; ++i) {
        const QString nom = QStringLiteral("F%1.xml").arg(i);
        ASSERT_TRUE(ecrireFichier(racine() + u'/' + nom, QByteArray(20000, char('a' + i % 26))));
        fichiers << Telechargement{nom.toUtf8(), local() + u'/' + nom};
    }
    ASSERT_TRUE(ecrireFichier(tmp.path() + QStringLiteral("/nouveau.xml"), QByteArray(300000, 'n')));
    const SshServeur serveur(racine());
    auto c = client(serveur);
    Annulation annulation;
    c->setAnnulation(&annulation);
    c->connect();
    int termines = 0;
    try {
        c->getParallele(fichiers, 4, 0, [&](qsizetype, const ResultatFtp &) {
            if (++termines == 5)
                annulation.annuler();
        });
        ADD_FAILURE() << "not cancelled";
    } catch (const FtpError &e) {
        EXPECT_TRUE(e.echec().annulee());
    }
    EXPECT_FALSE(c->connected());
    const QStringList restes = QDir(local()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_LT(restes.size(), fichiers.size());
    for (const QString &nom : restes) // whole files only
        EXPECT_EQ(lireFichier(local() + u'/' + nom), lireFichier(racine() + u'/' + nom)) << nom.toStdString();

    // An upload cancelled at once: the server keeps its file, and no temporary one.
    const QByteArray avant = lireFichier(racine() + QStringLiteral("/F1.xml"));
    c->setAnnulation(nullptr);
    c->connect();
    Annulation immediate;
    immediate.annuler();
    c->setAnnulation(&immediate);
    try {
        deposerEnEntier(*c, tmp.path() + QStringLiteral("/nouveau.xml"), QStringLiteral("F1.xml"));
        ADD_FAILURE() << "not cancelled";
    } catch (const FtpError &e) {
        EXPECT_TRUE(e.echec().annulee());
    }
    EXPECT_EQ(lireFichier(racine() + QStringLiteral("/F1.xml")), avant);
    EXPECT_FALSE(QFile::exists(racine() + QStringLiteral("/.F1.xml.partiel")));
    EXPECT_EQ(c->annulation(), &immediate);
}

TEST_F(Sftp, ConnectionTestAndItsFailures)
{
    const SshServeur serveur(racine());
    auto c = client(serveur);
    EXPECT_TRUE(testerConnexion(*c));
    EXPECT_FALSE(c->connected());

    // Without the key, the password is refused.
    CompteFtp sansCle = compte(serveur, serveur.empreinte());
    sansCle.cleSsh.clear();
    SftpClient refuse;
    refuse.configurer(sansCle, tmp.path());
    const ResultatFtp r = testerConnexion(refuse);
    ASSERT_FALSE(r);
    EXPECT_TRUE(r.echec().authentification());
    EXPECT_EQ(r.echec().raison, raisonFtp(CauseFtp::LoginRefuse));

    CompteFtp ferme = sansCle;
    ferme.Port = [] { return Piege().port(); }(); // closed again at once
    SftpClient personne;
    personne.configurer(ferme, tmp.path());
    const ResultatFtp r2 = testerConnexion(personne);
    ASSERT_FALSE(r2);
    EXPECT_EQ(r2.echec().cause, CauseFtp::ConnexionRefusee);

    // A server that accepts the connection and then says nothing.
    const Piege muet;
    CompteFtp silence = sansCle;
    silence.Port = muet.port();
    SftpClient attente;
    attente.configurer(silence, tmp.path());
    attente.setDelaiReponse(1);
    const ResultatFtp r3 = testerConnexion(attente);
    ASSERT_FALSE(r3);
    EXPECT_EQ(r3.echec().cause, CauseFtp::DelaiDepasse) << r3.echec().texte().toStdString();
}

TEST_F(Sftp, HostKeysUnknownChangedOrOtherAreRefusedWithTheFingerprint)
{
    const SshServeur serveur(racine());
    const SshServeur autre(racine()); // another host key
    const QString empreinte = serveur.empreinte();
    ASSERT_TRUE(empreinte.startsWith(QStringLiteral("SHA256:")));
    ASSERT_NE(empreinte, autre.empreinte());
    const QString connus = tmp.path() + QStringLiteral("/known_hosts");

    const auto essayer = [&](const QString &empreinteAttendue) {
        SftpClient c;
        c.configurer(compte(serveur, empreinteAttendue), QFileInfo(serveur.cleClient()).absolutePath());
        c.setFichierHotesConnus(connus);
        const ResultatFtp r = testerConnexion(c);
        EXPECT_EQ(c.empreinteServeur(), empreinte); // what the settings window offers to trust
        return r;
    };
    const auto refuse = [&](const ResultatFtp &r, CauseFtp cause) {
        ASSERT_FALSE(r);
        EXPECT_EQ(r.echec().cause, cause);
        EXPECT_TRUE(r.echec().texte().contains(empreinte)) << r.echec().texte().toStdString();
        EXPECT_TRUE(r.echec().texte().contains(QStringLiteral("EmpreinteSSH")));
    };

    refuse(essayer({}), CauseFtp::CleHoteInconnue); // no known_hosts at all
    ASSERT_TRUE(ecrireFichier(connus, autre.ligneHotesConnus().toUtf8() + '\n'));
    refuse(essayer({}), CauseFtp::CleHoteInconnue); // another port is another host
    // The other server's key recorded for this host: changed.
    QString ligne = autre.ligneHotesConnus();
    ligne.replace(QStringLiteral(":%1 ").arg(autre.port()), QStringLiteral(":%1 ").arg(serveur.port()));
    ASSERT_TRUE(ecrireFichier(connus, ligne.toUtf8() + '\n'));
    refuse(essayer({}), CauseFtp::CleHoteChangee);
    refuse(essayer(autre.empreinte()), CauseFtp::CleHoteDifferente);

    EXPECT_TRUE(essayer(empreinte));
    // As ssh-keygen -lf prints the whole line, too.
    EXPECT_TRUE(essayer(QStringLiteral("256 ") + empreinte + QStringLiteral(" hote (ED25519)")));
    ASSERT_TRUE(ecrireFichier(connus, serveur.ligneHotesConnus().toUtf8() + '\n'));
    EXPECT_TRUE(essayer({}));
}

// A stock server has ed25519, ECDSA and RSA keys, and shows the one libssh2 prefers (ECDSA):
// EmpreinteSSH may name any of them.
TEST_F(Sftp, EmpreinteSshNamesAnyOfTheServersHostKeys)
{
    SshServeur::Options options;
    options.plusieursCles = true;
    const SshServeur serveur(racine(), options);
    const SshServeur autre(racine());
    const QString ecdsa = serveur.ligneEmpreinte(QStringLiteral("hote_ecdsa")).section(u' ', 1, 1);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(ecrireFichier(racine() + QStringLiteral("/%1.xml").arg(i), QByteArray(1000 + i, 'r')));

    const auto configure = [&](SftpClient &c, const QString &empreinte) {
        c.configurer(compte(serveur, empreinte), QFileInfo(serveur.cleClient()).absolutePath());
        c.setFichierHotesConnus(tmp.path() + QStringLiteral("/known_hosts"));
    };
    for (const QString &empreinte : {serveur.empreinte(), serveur.ligneEmpreinte(), ecdsa}) {
        SftpClient c;
        configure(c, empreinte);
        const ResultatFtp r = testerConnexion(c);
        EXPECT_TRUE(r) << empreinte.toStdString() << ": " << r.echec().texte().toStdString();
        EXPECT_EQ(c.empreinteServeur().toStdString(),
                  (empreinte.contains(u' ') ? empreinte.section(u' ', 1, 1) : empreinte).toStdString());
    }

    // The extra sessions of a parallel fetch ask for the key found, too.
    SftpClient c;
    configure(c, serveur.empreinte());
    c.connect();
    QList<Telechargement> fichiers;
    for (int i = 0; i < 3; ++i)
        fichiers << Telechargement{QByteArray::number(i) + ".xml", local() + QStringLiteral("/%1.xml").arg(i)};
    for (const ResultatFtp &r : c.getParallele(fichiers, 3))
        EXPECT_TRUE(r) << r.echec().texte().toStdString();
    EXPECT_EQ(QFileInfo(local() + QStringLiteral("/2.xml")).size(), 1002);

    // None of them: refused with the key shown first.
    SftpClient refuse;
    configure(refuse, autre.empreinte());
    const ResultatFtp r = testerConnexion(refuse);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.echec().cause, CauseFtp::CleHoteDifferente);
    EXPECT_TRUE(r.echec().texte().contains(ecdsa)) << r.echec().texte().toStdString();
    EXPECT_TRUE(r.echec().texte().contains(QStringLiteral("EmpreinteSSH")));
}
