#include "core/base/Chemins.h"
#include "gui/Action.h"
#include "gui/parametres/FicheExclureFnsListe.h"
#include "gui/parametres/FicheFtpParam.h"
#include "gui/parametres/FicheHalvenorConfig.h"

#include "DialoguesEnregistres.h"
#include "OutilsGui.h"
#include "OutilsTests.h"
#include "TablesSiege.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>

// Halvenor.ini as each settings window leaves it, byte for byte: what stored files and the
// head office's own edits rely on.
class TestEnregistrementIni : public QObject, protected BancFenetre
{
    Q_OBJECT

    static QString ini() { return chemins().FichierIni; }

private Q_SLOTS:
    void init() { monterBanc(); }
    void cleanup() { demonterBanc(); }

    void chaqueFenetreGardeLeResteDuFichier()
    {
        siege::ecrireFournis(siege::dossierTables(m_dir->path()),
                             {{QStringLiteral("B1"), QStringLiteral("Bravo")},
                              {QStringLiteral("C1"), QStringLiteral("Charlie")}});
        QVERIFY(ecrireFichier(ini(), "; R\xE9glages du si\xE8ge\r\n"
                                     "[Halvenor]\r\nRemise_Achat=0\r\nTheme=sombre\r\nTypeEnvoi=URI\r\n\r\n"
                                     "[halvenor_ftp]\r\nhost=ancien\r\n\r\n"
                                     "[Halvenor_FNS_Exclu]\r\nFournisseur0=ZZ\r\n; gard\xE9 \xE0 la main\r\n"
                                     "Fournisseur1=B1\r\n\r\n"
                                     "[Inconnue]\r\nCle=valeur\r\n"));
        {
            TFicheHalvenorConfig f(nullptr);
            montrer(f);
            cliquer(f, "cbRemiseAchat");
            cliquer(f, "cbDocument");
            cliquer(f, "rbFtp");
            cliquer(f, "btnEnregistrer");
            QVERIFY(!f.isVisible());
        }
        {
            TFicheFtpParam f(nullptr, QuelCompte::Publication, ini());
            montrer(f);
            enfant<QLineEdit>(f, "edtLogin")->setText(QStringLiteral("siège"));
            enfant<QLineEdit>(f, "edtPassword")->setText(QStringLiteral("mdp"));
            enfant<QLineEdit>(f, "edtHost")->setText(QStringLiteral("ftp.example"));
            enfant<QLineEdit>(f, "edtPort")->setText(QStringLiteral("2121"));
            cliquer(f, "btnEnregistrer");
            QVERIFY(!f.isVisible());
        }
        {
            TFicheExclureFnsListe f(nullptr);
            QTRY_VERIFY(!tacheEnCours(f));
            montrer(f);
            QTreeWidget *source = enfant<QTreeWidget>(f, "lvFnsSource");
            source->setCurrentItem(source->findItems(QStringLiteral("Charlie"), Qt::MatchExactly).value(0));
            cliquer(f, "btnExclrue");
            cliquer(f, "btnEnregistrer");
            QVERIFY(!f.isVisible());
        }
        QVERIFY(m_dialogues->messages.isEmpty());
        QVERIFY(m_dialogues->erreurs.isEmpty());
        // Changed keys keep their place and spelling, new ones follow the section's last key,
        // new sections go at the end; the exclusion list is rewritten there whole.
        QCOMPARE(lireFichier(ini()), QByteArray("; R\xE9glages du si\xE8ge\r\n"
                                                "[Halvenor]\r\nRemise_Achat=1\r\nTheme=sombre\r\nTypeEnvoi=FTP\r\n"
                                                "Personnalisation=0\r\nMessage=0\r\nDocument=1\r\n\r\n"
                                                "[halvenor_ftp]\r\nhost=ftp.example\r\nLogin=si\xE8ge\r\nMdp=mdp\r\n"
                                                "Port=2121\r\nTLS=0\r\n\r\n"
                                                "[Inconnue]\r\nCle=valeur\r\n\r\n"
                                                "[Halvenor_URI]\r\nURI=\r\n\r\n"
                                                "[Halvenor_FNS_Exclu]\r\nFournisseur0=B1\r\nFournisseur1=C1\r\n"));
    }

    void echecDEnregistrementLaisseLeFichierIntact()
    {
        const QByteArray avant = "[Halvenor]\r\nRemise_Achat=0\r\nTypeEnvoi=FTP\r\n";
        QVERIFY(ecrireFichier(ini(), avant));
        TFicheHalvenorConfig f(nullptr);
        montrer(f);
        cliquer(f, "cbRemiseAchat");
        {
            // The changed first key alone would still fit; the keys added after it do not.
            const LimiteTaille limite(static_cast<rlim_t>(avant.size()));
            cliquer(f, "btnEnregistrer");
        }
        QCOMPARE(lireFichier(ini()), avant);
        QCOMPARE(m_dialogues->erreurs.size(), 1);
        QVERIFY(m_dialogues->erreurs.first().contains(QStringLiteral("Halvenor.ini")));
        QVERIFY(f.isVisible());
        QVERIFY(executerAction(&f, [] {})); // the failure left nothing held: actions run again

        // The same settings, once the disk takes them, are saved whole.
        cliquer(f, "btnEnregistrer");
        QVERIFY(!f.isVisible());
        QCOMPARE(lireFichier(ini()), QByteArray("[Halvenor]\r\nRemise_Achat=1\r\nTypeEnvoi=FTP\r\nPersonnalisation=0\r\n"
                                                "Message=0\r\nDocument=0\r\n\r\n[Halvenor_URI]\r\nURI=\r\n"));
    }

    void fichierIlisibleChaqueFenetreOuvrePuisRefuseDEnregistrer()
    {
        siege::ecrireFournis(siege::dossierTables(m_dir->path()), {{QStringLiteral("B1"), QStringLiteral("Bravo")}});
        QVERIFY(QDir().mkpath(ini())); // root reads any file: a folder in its place cannot be read
        const auto verifier = [this](QDialog &f) {
            montrer(f);
            QVERIFY(m_dialogues->erreurs.isEmpty());
            cliquer(f, "btnEnregistrer");
            QCOMPARE(m_dialogues->erreurs.size(), 1);
            QVERIFY2(m_dialogues->erreurs.first().contains(ini()), qPrintable(m_dialogues->erreurs.first()));
            QVERIFY(f.isVisible());
            m_dialogues->vider();
        };
        {
            TFicheHalvenorConfig f(nullptr);
            montrer(f);
            cliquer(f, "rbFtp");
            verifier(f);
        }
        {
            TFicheFtpParam f(nullptr, QuelCompte::Publication, ini());
            QCOMPARE(enfant<QLineEdit>(f, "edtPort")->text(), QStringLiteral("21"));
            for (const char *nom : {"edtLogin", "edtPassword", "edtHost"})
                enfant<QLineEdit>(f, nom)->setText(QStringLiteral("x"));
            verifier(f);
        }
        {
            TFicheExclureFnsListe f(nullptr);
            QTRY_VERIFY(!tacheEnCours(f));
            QCOMPARE(enfant<QTreeWidget>(f, "lvFnsSource")->topLevelItemCount(), 1);
            verifier(f);
        }
        QVERIFY(QFileInfo(ini()).isDir());
    }
};

HALVENOR_TEST_MAIN(TestEnregistrementIni)
#include "test_enregistrement_ini.moc"
