#include "core/base/Chemins.h"
#include "gui/parametres/FicheFtpParam.h"
#include "gui/parametres/FicheHalvenorConfig.h"
#include "core/config/IniFile.h"
#include "gui/Action.h"

#include "DialoguesEnregistres.h"
#include "OutilsGui.h"
#include "OutilsTests.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

// Enabled state of the three controls under the radio buttons.
struct Etat
{
    bool uri, rep, ftpParam;
    bool operator==(const Etat &) const = default;
};

Etat etat(QWidget &w)
{
    return {enfant<QLineEdit>(w, "edtUri")->isEnabled(), enfant<QPushButton>(w, "btnHalvenorRep")->isEnabled(),
            enfant<QPushButton>(w, "btnFtpParam")->isEnabled()};
}

char *toString(const Etat &e)
{
    return qstrdup(QByteArray("uri=" + QByteArray::number(e.uri) + " rep=" + QByteArray::number(e.rep)
                              + " ftpParam=" + QByteArray::number(e.ftpParam))
                       .constData());
}

const Etat modeChemin{true, true, false};
const Etat modeFtp{false, false, true};
const Etat rienActif{false, false, false};

} // namespace

class TestFicheHalvenorConfig : public QObject, protected BancFenetre
{
    Q_OBJECT

    static QString ini() { return chemins().FichierIni; }

private Q_SLOTS:
    void init() { monterBanc(); }
    void cleanup() { demonterBanc(); }

    void premiereUtilisationSansFichier()
    {
        TFicheHalvenorConfig f(nullptr);
        montrer(f);
        QCOMPARE(f.windowTitle(), QStringLiteral("Paramétrage Halvenor"));
        QVERIFY(!(f.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(f.windowFlags() & Qt::WindowCloseButtonHint);
        QVERIFY(enfant<QRadioButton>(f, "rbChemin")->isChecked());
        QVERIFY(!enfant<QRadioButton>(f, "rbFtp")->isChecked());
        QCOMPARE(etat(f), modeChemin);
        QVERIFY(!enfant<QPushButton>(f, "btnExclure")->isEnabled());
        for (const char *cb : {"cbRemiseAchat", "cbPersonnalisation", "cbMessagerie", "cbDocument"})
            QVERIFY(!enfant<QCheckBox>(f, cb)->isChecked());
        QVERIFY(enfant<QLineEdit>(f, "edtUri")->text().isEmpty());
        QVERIFY(enfant<QLineEdit>(f, "edtUri")->isReadOnly());

        cliquer(f, "btnEnregistrer");
        QCOMPARE(m_dialogues->messages, QStringList{QStringLiteral("Veuillez renseigner un chemin")});
        QVERIFY(m_dialogues->erreurs.isEmpty());
        QVERIFY(f.isVisible());
        QVERIFY(!QFile::exists(ini()));
    }

    void fichierEnModeFtpGardeLeChemin()
    {
        QVERIFY(ecrireFichier(ini(), "[Halvenor]\r\nRemise_Achat=1\r\nMessage=1\r\nTypeEnvoi=FTP\r\n"
                                     "[Halvenor_URI]\r\nURI=/srv/franchise/\r\n"));
        TFicheHalvenorConfig f(nullptr);
        montrer(f);
        QVERIFY(enfant<QRadioButton>(f, "rbFtp")->isChecked());
        QCOMPARE(etat(f), modeFtp);
        QCOMPARE(enfant<QLineEdit>(f, "edtUri")->text(), QStringLiteral("/srv/franchise/"));
        QVERIFY(enfant<QPushButton>(f, "btnExclure")->isEnabled());
        QVERIFY(enfant<QCheckBox>(f, "cbMessagerie")->isChecked());
        QVERIFY(!enfant<QCheckBox>(f, "cbDocument")->isChecked());

        cliquer(f, "cbDocument");
        cliquer(f, "cbMessagerie");
        cliquer(f, "btnEnregistrer");
        QVERIFY(m_dialogues->messages.isEmpty());
        QVERIFY(m_dialogues->erreurs.isEmpty());
        QVERIFY(!f.isVisible());
        QCOMPARE(f.result(), int(QDialog::Accepted));

        const IniFile fichier(ini());
        QStringList halvenor = fichier.readSectionValues(QStringLiteral("Halvenor"));
        halvenor.sort();
        QCOMPARE(halvenor, (QStringList{QStringLiteral("Document=1"), QStringLiteral("Message=0"),
                                        QStringLiteral("Personnalisation=0"), QStringLiteral("Remise_Achat=1"),
                                        QStringLiteral("TypeEnvoi=FTP")}));
        QCOMPARE(fichier.readString(QStringLiteral("Halvenor_URI"), QStringLiteral("URI"), QString()),
                 QStringLiteral("/srv/franchise/"));
    }

    void typeEnvoiInattendu()
    {
        // Only "FTP" and "URI", in capitals, are modes.
        QVERIFY(ecrireFichier(ini(), "[Halvenor]\nTypeEnvoi=ftp\n[Halvenor_URI]\nURI=/srv/copie/\n"));
        TFicheHalvenorConfig f(nullptr);
        montrer(f);
        QVERIFY(enfant<QRadioButton>(f, "rbChemin")->isChecked());
        QCOMPARE(etat(f), rienActif);

        cliquer(f, "rbChemin");
        QVERIFY(enfant<QRadioButton>(f, "rbChemin")->isChecked());
        QCOMPARE(etat(f), rienActif);

        cliquer(f, "rbFtp");
        QVERIFY(enfant<QRadioButton>(f, "rbFtp")->isChecked());
        QCOMPARE(etat(f), modeFtp);
        cliquer(f, "rbFtp");
        QCOMPARE(etat(f), modeFtp);
        cliquer(f, "rbChemin");
        QCOMPARE(etat(f), modeChemin);
    }

    void sansTypeEnvoiLeModeEstFtp()
    {
        // What the FTP settings and the exclusion window save, before this window ever did.
        QVERIFY(ecrireFichier(ini(), "[Halvenor_FTP]\nLogin=siege\nMdp=x\nHost=ftp.example\nPort=21\n"
                                     "[Halvenor_FNS_Exclu]\nFournisseur0=AB\n"));
        TFicheHalvenorConfig f(nullptr);
        montrer(f);
        QVERIFY(enfant<QRadioButton>(f, "rbFtp")->isChecked());
        QCOMPARE(etat(f), modeFtp);
        QVERIFY(!enfant<QPushButton>(f, "btnExclure")->isEnabled());
    }

    void decocherRemiseGardeLesExclusions()
    {
        QVERIFY(ecrireFichier(ini(), "[Halvenor]\nRemise_Achat=1\nTypeEnvoi=FTP\n"
                                     "[Halvenor_FNS_Exclu]\nFournisseur0=AB\nFournisseur1=CD\n"));
        TFicheHalvenorConfig f(nullptr);
        montrer(f);
        auto *exclure = enfant<QPushButton>(f, "btnExclure");
        QVERIFY(exclure->isEnabled());
        cliquer(f, "cbRemiseAchat");
        QVERIFY(!exclure->isEnabled());
        cliquer(f, "cbRemiseAchat");
        QVERIFY(exclure->isEnabled());
        cliquer(f, "cbRemiseAchat");
        cliquer(f, "btnEnregistrer");
        QVERIFY(!f.isVisible());

        const IniFile fichier(ini());
        QVERIFY(!fichier.readBool(QStringLiteral("Halvenor"), QStringLiteral("Remise_Achat"), true));
        QCOMPARE(fichier.readSectionValues(QStringLiteral("Halvenor_FNS_Exclu")),
                 (QStringList{QStringLiteral("Fournisseur0=AB"), QStringLiteral("Fournisseur1=CD")}));
    }

    void enregistrerEnFtpAvecCheminVide()
    {
        TFicheHalvenorConfig f(nullptr);
        montrer(f);
        cliquer(f, "rbFtp");
        QCOMPARE(etat(f), modeFtp);
        cliquer(f, "cbPersonnalisation");
        cliquer(f, "btnEnregistrer");
        QVERIFY(m_dialogues->messages.isEmpty());
        QVERIFY(!f.isVisible());

        const IniFile fichier(ini());
        QCOMPARE(fichier.readString(QStringLiteral("Halvenor"), QStringLiteral("TypeEnvoi"), QString()),
                 QStringLiteral("FTP"));
        QVERIFY(fichier.readBool(QStringLiteral("Halvenor"), QStringLiteral("Personnalisation"), false));
        QCOMPARE(fichier.readSectionValues(QStringLiteral("Halvenor_URI")), QStringList{QStringLiteral("URI=")});
    }

    void choixDuDossier()
    {
        TFicheHalvenorConfig f(nullptr);
        montrer(f);
        auto *uri = enfant<QLineEdit>(f, "edtUri");

        m_dialogues->dossiers.push_back(QStringLiteral("/srv/depot"));
        cliquer(f, "btnHalvenorRep");
        QCOMPARE(uri->text(), QStringLiteral("/srv/depot/"));
        QCOMPARE(m_dialogues->titresDossier, QStringList{QStringLiteral("Sélectionnez le répertoire de copie")});
        QCOMPARE(m_dialogues->racinesDossier, QStringList{QStringLiteral("/")});

        m_dialogues->dossiers.push_back(std::nullopt);
        cliquer(f, "btnHalvenorRep");
        QCOMPARE(uri->text(), QStringLiteral("/srv/depot/"));

        // The root already ends with its delimiter.
        m_dialogues->dossiers.push_back(QStringLiteral("/"));
        cliquer(f, "btnHalvenorRep");
        QCOMPARE(uri->text(), QStringLiteral("/"));

        m_dialogues->dossiers.push_back(QStringLiteral("/srv/depot/"));
        cliquer(f, "btnHalvenorRep");
        QCOMPARE(uri->text(), QStringLiteral("/srv/depot/"));

        cliquer(f, "btnEnregistrer");
        QVERIFY(!f.isVisible());
        const IniFile fichier(ini());
        QCOMPARE(fichier.readString(QStringLiteral("Halvenor"), QStringLiteral("TypeEnvoi"), QString()),
                 QStringLiteral("URI"));
        QCOMPARE(fichier.readString(QStringLiteral("Halvenor_URI"), QStringLiteral("URI"), QString()),
                 QStringLiteral("/srv/depot/"));
        QVERIFY(m_dialogues->erreurs.isEmpty());
    }

    void laCaseDeFermetureNEcritRien()
    {
        const QByteArray avant = "[Halvenor]\r\nRemise_Achat=0\r\nTypeEnvoi=URI\r\n[Halvenor_URI]\r\nURI=/a/\r\n";
        QVERIFY(ecrireFichier(ini(), avant));
        TFicheHalvenorConfig f(nullptr);
        montrer(f);
        cliquer(f, "cbRemiseAchat");
        cliquer(f, "rbFtp");
        f.close();
        QVERIFY(!f.isVisible());
        QCOMPARE(f.result(), int(QDialog::Rejected));
        QCOMPARE(lireFichier(ini()), avant);
        QVERIFY(m_dialogues->messages.isEmpty());
    }

    void ecritureRefuseeLaFenetreResteOuverte()
    {
        // A program directory that does not exist: the file cannot be created there.
        definirChemins(Chemins::depuisRepertoire(m_dir->filePath(QStringLiteral("absent"))));
        TFicheHalvenorConfig f(nullptr);
        montrer(f);
        cliquer(f, "rbFtp");
        cliquer(f, "btnEnregistrer");
        QCOMPARE(m_dialogues->erreurs.size(), 1);
        QVERIFY(m_dialogues->erreurs.first().contains(QStringLiteral("Halvenor.ini")));
        QVERIFY(f.isVisible());
        QVERIFY(executerAction(&f, [] {})); // the failure left nothing held: actions run again
    }

    void parametrageOuvreLeCompteDePublication()
    {
        QVERIFY(ecrireFichier(ini(), "[Halvenor]\nTypeEnvoi=FTP\n"));
        TFicheHalvenorConfig f(nullptr);
        montrer(f);
        bool vue = false;
        QTimer::singleShot(0, this, [&] {
            auto *ftp = qobject_cast<TFicheFtpParam *>(QApplication::activeModalWidget());
            if (!ftp) {
                qWarning("pas de fenêtre FTP modale");
                if (QWidget *w = QApplication::activeModalWidget())
                    w->close();
                return;
            }
            vue = ftp->parentWidget() == &f;
            enfant<QLineEdit>(*ftp, "edtLogin")->setText(QStringLiteral("siege"));
            enfant<QLineEdit>(*ftp, "edtPassword")->setText(QStringLiteral("s3cret"));
            enfant<QLineEdit>(*ftp, "edtHost")->setText(QStringLiteral("ftp.example"));
            cliquer(*ftp, "btnEnregistrer");
        });
        cliquer(f, "btnFtpParam");
        QVERIFY(vue);
        // The FTP account is saved at once, whatever this window does next.
        f.close();
        const IniFile fichier(ini());
        QCOMPARE(fichier.readSectionValues(QStringLiteral("Halvenor_FTP")),
                 (QStringList{QStringLiteral("Login=siege"), QStringLiteral("Mdp=s3cret"),
                              QStringLiteral("Host=ftp.example"), QStringLiteral("Port=21"), QStringLiteral("TLS=0")}));
        QCOMPARE(fichier.readSectionValues(QStringLiteral("Halvenor")), QStringList{QStringLiteral("TypeEnvoi=FTP")});
    }
};

HALVENOR_TEST_MAIN(TestFicheHalvenorConfig)
#include "test_fichehalvenorconfig.moc"
