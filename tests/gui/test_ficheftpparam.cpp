#include "core/base/Chemins.h"
#include "gui/parametres/FicheFtpParam.h"
#include "core/config/IniFile.h"
#include "gui/Action.h"

#include "DialoguesEnregistres.h"
#include "FtpServeur.h"
#include "SshServeur.h"
#include "OutilsGui.h"
#include "OutilsTests.h"

#include <QDir>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr QuelCompte Section = QuelCompte::Publication;
const QString Echec = QStringLiteral("Impossible de se connecter au serveur FTP. Erreur ");
const QString Succes = QStringLiteral("Connection établie avec le serveur FTP");

QLineEdit *edit(QWidget &w, const char *nom)
{
    return enfant<QLineEdit>(w, nom);
}

void saisir(QWidget &f, const QString &login, const QString &mdp, const QString &host, const QString &port)
{
    edit(f, "edtLogin")->setText(login);
    edit(f, "edtPassword")->setText(mdp);
    edit(f, "edtHost")->setText(host);
    edit(f, "edtPort")->setText(port);
}

QStringList champs(QWidget &f)
{
    return {edit(f, "edtLogin")->text(), edit(f, "edtPassword")->text(), edit(f, "edtHost")->text(),
            edit(f, "edtPort")->text()};
}

// A loopback port on which nothing listens: bound once to get a free number, then released.
int portFerme()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in adresse{};
    adresse.sin_family = AF_INET;
    adresse.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t taille = sizeof adresse;
    if (s < 0 || ::bind(s, reinterpret_cast<sockaddr *>(&adresse), sizeof adresse) != 0
        || ::getsockname(s, reinterpret_cast<sockaddr *>(&adresse), &taille) != 0)
        qFatal("aucun port libre");
    ::close(s);
    return ntohs(adresse.sin_port);
}

} // namespace

class TestFicheFtpParam : public QObject, protected BancFenetre
{
    Q_OBJECT

    // The window edits the file it is given, not necessarily the program's.
    QString fichier() const { return m_dir->filePath(QStringLiteral("autre.ini")); }

private Q_SLOTS:
    void init() { monterBanc(); }
    void cleanup() { demonterBanc(); }

    void sansFichier()
    {
        TFicheFtpParam f(nullptr, Section, fichier());
        montrer(f);
        QCOMPARE(f.windowTitle(), QStringLiteral("Paramétrage FTP"));
        QVERIFY(!(f.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QCOMPARE(champs(f), (QStringList{QString(), QString(), QString(), QStringLiteral("21")}));
        QCheckBox *tls = enfant<QCheckBox>(f, "cbTLS");
        QCOMPARE(tls->text(), QStringLiteral("Connexion chiffrée (TLS)"));
        QVERIFY(!tls->isChecked());
        QCOMPARE(edit(f, "edtPort")->nextInFocusChain(), tls);
        QCOMPARE(edit(f, "edtPassword")->echoMode(), QLineEdit::Normal);
        QCOMPARE(f.findChild<QPushButton *>(QStringLiteral("btnTestFtp"))->text(),
                 QStringLiteral("Test de la connexion FTP"));
    }

    void chargement_data()
    {
        QTest::addColumn<QByteArray>("contenu");
        QTest::addColumn<QStringList>("attendu");
        QTest::addColumn<bool>("tls");
        QTest::newRow("complet") << QByteArray("[Halvenor_FTP]\r\nLogin=siege\r\nMdp=Pa ss\r\nHost=10.0.0.1\r\nPort=2121\r\nTLS=1\r\n")
                                 << QStringList{QStringLiteral("siege"), QStringLiteral("Pa ss"),
                                                QStringLiteral("10.0.0.1"), QStringLiteral("2121")}
                                 << true;
        QTest::newRow("port en lettres") << QByteArray("[halvenor_ftp]\nlogin=a\nPORT=vingt\ntls=oui\n")
                                         << QStringList{QStringLiteral("a"), QString(), QString(), QStringLiteral("21")}
                                         << false;
        QTest::newRow("sans port") << QByteArray("[Halvenor_FTP]\nHost=h\nTLS=0\n")
                                   << QStringList{QString(), QString(), QStringLiteral("h"), QStringLiteral("21")} << false;
        QTest::newRow("autre section") << QByteArray("[Halvenor_Rapport]\nLogin=rapport\nPort=990\nTLS=1\n")
                                       << QStringList{QString(), QString(), QString(), QStringLiteral("21")} << false;
    }

    void chargement()
    {
        QFETCH(QByteArray, contenu);
        QFETCH(QStringList, attendu);
        QFETCH(bool, tls);
        QVERIFY(ecrireFichier(fichier(), contenu));
        TFicheFtpParam f(nullptr, Section, fichier());
        QCOMPARE(champs(f), attendu);
        QCOMPARE(enfant<QCheckBox>(f, "cbTLS")->isChecked(), tls);
    }

    void enregistrer()
    {
        QVERIFY(ecrireFichier(fichier(), "[Halvenor_Rapport]\nLogin=rapport\n"));
        TFicheFtpParam f(nullptr, QuelCompte::Rapport, fichier());
        montrer(f);
        saisir(f, QStringLiteral("siège"), QStringLiteral("mot de passe"), QStringLiteral("ftp.example"),
               QStringLiteral("0021"));
        cliquer(f, "btnEnregistrer");
        QVERIFY(m_dialogues->messages.isEmpty());
        QVERIFY(m_dialogues->erreurs.isEmpty());
        QVERIFY(!f.isVisible());
        QCOMPARE(IniFile(fichier()).readSectionValues(QStringLiteral("Halvenor_Rapport")),
                 (QStringList{QStringLiteral("Login=siège"), QStringLiteral("Mdp=mot de passe"),
                              QStringLiteral("Host=ftp.example"), QStringLiteral("Port=21"), QStringLiteral("TLS=0")}));
        QVERIFY(!QFile::exists(chemins().FichierIni));

        // Ticked, after the four others; CertificatCA is the file's own and stays.
        QVERIFY(ecrireFichier(fichier(), "[Halvenor_FTP]\nCertificatCA=ca.pem\n"));
        TFicheFtpParam g(nullptr, Section, fichier());
        montrer(g);
        saisir(g, QStringLiteral("l"), QStringLiteral("m"), QStringLiteral("h"), QStringLiteral("990"));
        enfant<QCheckBox>(g, "cbTLS")->setChecked(true);
        cliquer(g, "btnEnregistrer");
        QCOMPARE(IniFile(fichier()).readSectionValues(QStringLiteral("Halvenor_FTP")),
                 (QStringList{QStringLiteral("CertificatCA=ca.pem"), QStringLiteral("Login=l"), QStringLiteral("Mdp=m"),
                              QStringLiteral("Host=h"), QStringLiteral("Port=990"), QStringLiteral("TLS=1")}));
    }

    void champVideRefuse_data()
    {
        QTest::addColumn<int>("vide");
        QTest::newRow("login") << 0;
        QTest::newRow("mot de passe") << 1;
        QTest::newRow("host") << 2;
        QTest::newRow("port") << 3;
    }

    void champVideRefuse()
    {
        QFETCH(int, vide);
        TFicheFtpParam f(nullptr, Section, fichier());
        montrer(f);
        saisir(f, QStringLiteral("l"), QStringLiteral("m"), QStringLiteral("h"), QStringLiteral("21"));
        const char *noms[] = {"edtLogin", "edtPassword", "edtHost", "edtPort"};
        edit(f, noms[vide])->clear();
        cliquer(f, "btnEnregistrer");
        QCOMPARE(m_dialogues->messages, QStringList{QStringLiteral("Veuillez renseigner la configuration FTP")});
        QVERIFY(f.isVisible());
        QVERIFY(!QFile::exists(fichier()));
    }

    void portInvalideALEnregistrement()
    {
        const QByteArray avant = "[Halvenor_FTP]\nLogin=ancien\nMdp=x\nHost=h\nPort=21\n";
        QVERIFY(ecrireFichier(fichier(), avant));
        TFicheFtpParam f(nullptr, Section, fichier());
        montrer(f);
        saisir(f, QStringLiteral("nouveau"), QStringLiteral("y"), QStringLiteral("h2"), QStringLiteral("21x"));
        cliquer(f, "btnEnregistrer");
        QCOMPARE(m_dialogues->erreurs.size(), 1);
        QVERIFY(m_dialogues->erreurs.first().contains(QStringLiteral("21x")));
        QVERIFY(m_dialogues->messages.isEmpty());
        QVERIFY(f.isVisible());
        QCOMPARE(lireFichier(fichier()), avant);
        QVERIFY(executerAction(&f, [] {})); // the failure left nothing held: actions run again
    }

    void testDeConnexion()
    {
        QTemporaryDir racine;
        FtpServeur serveur({{QStringLiteral("siege"), QStringLiteral("bon mot"), racine.path()}});
        const QString port = QString::number(serveur.port());
        const QByteArray avant = "[Halvenor_FTP]\nLogin=autre\nMdp=autre\nHost=ailleurs\nPort=21\n";
        QVERIFY(ecrireFichier(fichier(), avant));

        TFicheFtpParam f(nullptr, Section, fichier());
        montrer(f);

        // The values as typed, not the stored ones.
        saisir(f, QStringLiteral("siege"), QStringLiteral("bon mot"), QStringLiteral("127.0.0.1"), port);
        const QStringList saisis = champs(f);
        cliquer(f, "btnTestFtp");
        QTRY_VERIFY(!tacheEnCours(f));
        QCOMPARE(m_dialogues->messages, QStringList{Succes});
        QVERIFY(!QGuiApplication::overrideCursor());

        // A second test on the same client: the first left it disconnected.
        cliquer(f, "btnTestFtp");
        QTRY_VERIFY(!tacheEnCours(f));
        QCOMPARE(m_dialogues->messages, (QStringList{Succes, Succes}));
        m_dialogues->vider();

        edit(f, "edtPassword")->setText(QStringLiteral("mauvais"));
        cliquer(f, "btnTestFtp");
        QTRY_VERIFY(!tacheEnCours(f));
        QCOMPARE(m_dialogues->messages.size(), 1);
        QVERIFY2(m_dialogues->messages.first().startsWith(Echec), qPrintable(m_dialogues->messages.first()));
        QVERIFY(m_dialogues->messages.first().size() > Echec.size());
        m_dialogues->vider();

        // The failure did not spoil the client for the next test.
        edit(f, "edtPassword")->setText(QStringLiteral("bon mot"));
        cliquer(f, "btnTestFtp");
        QTRY_VERIFY(!tacheEnCours(f));
        QCOMPARE(m_dialogues->messages, QStringList{Succes});
        m_dialogues->vider();

        edit(f, "edtPort")->setText(QString::number(portFerme()));
        cliquer(f, "btnTestFtp");
        QTRY_VERIFY(!tacheEnCours(f));
        QCOMPARE(m_dialogues->messages.size(), 1);
        QVERIFY2(m_dialogues->messages.first().startsWith(Echec), qPrintable(m_dialogues->messages.first()));
        QVERIFY(m_dialogues->erreurs.isEmpty());
        QVERIFY(!QGuiApplication::overrideCursor());
        QVERIFY(f.isVisible());

        // Testing saves nothing and leaves the fields as they were.
        edit(f, "edtPort")->setText(port);
        QCOMPARE(champs(f), saisis);
        f.close();
        QCOMPARE(lireFichier(fichier()), avant);
    }

    // The test button connects over TLS when cbTLS is ticked, trusting the file's CertificatCA.
    void testDeConnexionTls()
    {
        QTemporaryDir racine;
        QString cert, cle;
        FtpServeur::creerCertificat(racine.path(), QStringLiteral("DNS:localhost,IP:127.0.0.1"), cert, cle);
        FtpServeur::Options options;
        options.certificat = cert;
        options.cle = cle;
        FtpServeur serveur({{QStringLiteral("siege"), QStringLiteral("mdp"), racine.path()}}, options);
        QVERIFY(ecrireFichier(fichier(), "[Halvenor_FTP]\nTLS=1\nCertificatCA=" + cert.toUtf8() + "\n"));

        TFicheFtpParam f(nullptr, Section, fichier());
        montrer(f);
        QCheckBox *tls = enfant<QCheckBox>(f, "cbTLS");
        QVERIFY(tls->isChecked());
        saisir(f, QStringLiteral("siege"), QStringLiteral("mdp"), QStringLiteral("127.0.0.1"),
               QString::number(serveur.port()));
        cliquer(f, "btnTestFtp");
        QTRY_VERIFY(!tacheEnCours(f));
        QCOMPARE(m_dialogues->messages, QStringList{Succes});
        m_dialogues->vider();

        // Unticked: the server wants TLS and refuses the log-in in clear.
        tls->setChecked(false);
        cliquer(f, "btnTestFtp");
        QTRY_VERIFY(!tacheEnCours(f));
        QCOMPARE(m_dialogues->messages.size(), 1);
        QVERIFY2(m_dialogues->messages.first().startsWith(Echec), qPrintable(m_dialogues->messages.first()));
    }

    // SFTP: the port follows the protocol while it is the other's default; an unknown host key
    // is shown, and trusting it saves EmpreinteSSH, with which the next test connects.
    void sftpCleInconnueApprouvee()
    {
        QTemporaryDir racine, maison;
        const SshServeur serveur(racine.path());
        // The user's own known_hosts stays out of it.
        const QByteArray home = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(maison.path()));
        const auto remettre = qScopeGuard([&] { qputenv("HOME", home); });
        QVERIFY(ecrireFichier(fichier(), "[Halvenor_FTP]\nCleSSH=" + QFile::encodeName(serveur.cleClient()) + "\n"));
        const QByteArray avant = lireFichier(fichier());

        TFicheFtpParam f(nullptr, Section, fichier());
        montrer(f);
        auto *protocole = enfant<QComboBox>(f, "cbProtocole");
        QCOMPARE(protocole->currentText(), QStringLiteral("FTP"));
        QVERIFY(!enfant<QLineEdit>(f, "edtEmpreinte")->isVisible());
        protocole->setCurrentIndex(protocole->findText(QStringLiteral("SFTP")));
        QCOMPARE(edit(f, "edtPort")->text(), QStringLiteral("22"));
        QVERIFY(!enfant<QCheckBox>(f, "cbTLS")->isEnabled());
        QVERIFY(edit(f, "edtEmpreinte")->isVisible());
        saisir(f, serveur.utilisateur(), QStringLiteral("inutile"), QStringLiteral("127.0.0.1"),
               QString::number(serveur.port()));

        // "Non": nothing is saved.
        cliquer(f, "btnTestFtp");
        QTRY_VERIFY(!tacheEnCours(f));
        QCOMPARE(m_dialogues->questions.size(), 1);
        QVERIFY2(m_dialogues->questions.first().contains(serveur.empreinte()), qPrintable(m_dialogues->questions.first()));
        QVERIFY(m_dialogues->messages.isEmpty());
        QCOMPARE(lireFichier(fichier()), avant);

        m_dialogues->reponses.push_back(true);
        cliquer(f, "btnTestFtp");
        QTRY_VERIFY(!tacheEnCours(f));
        QCOMPARE(m_dialogues->questions.size(), 2);
        QCOMPARE(edit(f, "edtEmpreinte")->text(), serveur.empreinte());
        QCOMPARE(Parametres::lire(fichier()).publication.empreinteSsh, serveur.empreinte());

        cliquer(f, "btnTestFtp");
        QTRY_VERIFY(!tacheEnCours(f));
        QCOMPARE(m_dialogues->messages, QStringList{Succes});
        QCOMPARE(m_dialogues->questions.size(), 2);

        // Saved as SFTP, with no password since the key logs in; back to FTP, the default port follows.
        edit(f, "edtPassword")->clear();
        cliquer(f, "btnEnregistrer");
        QCOMPARE(m_dialogues->messages, QStringList{Succes});
        const CompteFtp c = Parametres::lire(fichier()).publication;
        QVERIFY(c.sftp());
        QVERIFY(c.Mdp.isEmpty());
        QCOMPARE(c.Port, serveur.port());
        edit(f, "edtPort")->setText(QStringLiteral("22"));
        protocole->setCurrentIndex(protocole->findText(QStringLiteral("FTP")));
        QCOMPARE(edit(f, "edtPort")->text(), QStringLiteral("21"));
    }

    void portInvalideAuTest()
    {
        TFicheFtpParam f(nullptr, Section, fichier());
        montrer(f);
        // Any connection attempt to this host would fail with a message, not an error.
        saisir(f, QStringLiteral("l"), QStringLiteral("m"), QStringLiteral("127.0.0.1"), QStringLiteral("port"));
        cliquer(f, "btnTestFtp");
        QTRY_VERIFY(!tacheEnCours(f));
        QCOMPARE(m_dialogues->erreurs.size(), 1);
        QVERIFY(m_dialogues->erreurs.first().contains(QStringLiteral("'port'")));
        QVERIFY(m_dialogues->messages.isEmpty());
        QVERIFY(f.isVisible());
        QVERIFY(!QFile::exists(fichier()));
    }
};

HALVENOR_TEST_MAIN(TestFicheFtpParam)
#include "test_ficheftpparam.moc"
