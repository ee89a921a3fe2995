#include "core/base/Chemins.h"
#include "core/reports/RapportMajAuto.h"
#include "gui/parametres/FicheExclureFnsListe.h"
#include "gui/parametres/FicheFtpParam.h"
#include "gui/parametres/FicheHalvenorConfig.h"
#include "gui/principale/FicheHalvenor.h"
#include "gui/rapports/FicheRapport.h"
#include "gui/rapports/FicheRapportHistorique.h"

#include "DialoguesEnregistres.h"
#include "OutilsGui.h"
#include "OutilsTests.h"
#include "TablesSiege.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <functional>
#include <memory>

namespace {

QStringList noms(const char *liste)
{
    return QString::fromLatin1(liste).split(u' ');
}

} // namespace

// The windows as a keyboard user meets them: Tab follows the visual order, Enter presses the
// focused button (else the dialog's "Enregistrer"), Escape closes a dialog without saving.
class TestClavier : public QObject, protected BancFenetre
{
    Q_OBJECT

    static QString ini() { return chemins().FichierIni; }

    static void montrerActive(QWidget &f)
    {
        f.show();
        QVERIFY(QTest::qWaitForWindowActive(&f));
    }

    // Gives the named control the focus, as Tab would, then presses the key on it.
    static void touche(QWidget &f, const char *nom, Qt::Key cle)
    {
        // Back from a modal window, the offscreen platform does not reactivate this one.
        f.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        auto *w = enfant<QWidget>(f, nom);
        w->setFocus(Qt::TabFocusReason);
        QCOMPARE(QApplication::focusWidget(), w);
        QTest::keyClick(w, cle);
    }

    // The focus from the first control, one Tab after another, until it comes back.
    static QStringList tabulations(QWidget &f, const QString &premier, int maximum)
    {
        enfant<QWidget>(f, premier)->setFocus(Qt::TabFocusReason);
        QStringList ordre{QApplication::focusWidget()->objectName()};
        while (ordre.size() <= maximum) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            const QString nom = QApplication::focusWidget()->objectName();
            if (nom == premier)
                break;
            ordre << nom;
        }
        return ordre;
    }

    std::unique_ptr<TNativeXMLDocument> historique() const
    {
        const QString chemin = m_dir->filePath(QStringLiteral("historique.xml"));
        if (!ecrireFichier(chemin, "<MajAuto><Item Date=\"24/03/2013 06:30:00\"><General><Etat Etat=\"0\"/>"
                                   "<Messages/></General><HVN><Etat Etat=\"0\"/><Messages/></HVN><Zentrave>"
                                   "<Etat Etat=\"0\"/><Messages/></Zentrave></Item></MajAuto>"))
            qFatal("cannot write %s", qPrintable(chemin));
        auto doc = std::make_unique<TNativeXMLDocument>(RacineMajAuto);
        doc->LoadFromFile(chemin);
        return doc;
    }

private Q_SLOTS:
    void init()
    {
        monterBanc();
        siege::ecrireFournis(siege::dossierTables(m_dir->path()),
                             {{QStringLiteral("B1"), QStringLiteral("Bravo")},
                              {QStringLiteral("A1"), QStringLiteral("Alpha")}});
        QVERIFY(ecrireFichier(ini(), "[Halvenor]\r\nRemise_Achat=1\r\nPersonnalisation=1\r\nMessage=1\r\n"
                                     "Document=1\r\nTypeEnvoi=FTP\r\n"));
    }
    void cleanup() { demonterBanc(); }

    void ordreDeTabulation()
    {
        bool recuperes = false;
        const auto doc = historique();
        const std::vector<std::pair<std::function<QWidget *()>, QStringList>> fenetres = {
            {[] { return new TFicheHalvenor; },
             noms("btnGenererRA btnEnvoiRA btnGenererPerso btnEnvoiPerso btnGenererMessage btnEnvoiMessage "
                  "btnGenererDocument btnEnvoiDocument btnConfig btnRapport btnFermer")},
            // FTP mode: the path field and "..." are disabled, so Tab passes them.
            {[] { return new TFicheHalvenorConfig(nullptr); },
             noms("cbRemiseAchat btnExclure cbPersonnalisation cbMessagerie cbDocument rbFtp btnFtpParam "
                  "btnEnregistrer")},
            {[] { return new TFicheFtpParam(nullptr, QuelCompte::Publication, ini()); },
             noms("cbProtocole edtLogin edtPassword edtHost edtPort cbTLS btnTestFtp btnEnregistrer")},
            {[] { return new TFicheExclureFnsListe(nullptr); },
             noms("lvFnsSource btnExclrue btnReintegrer lvFnsExclu btnEnregistrer")},
            // No report account: an empty list, "Voir l'historique" disabled.
            {[&] { return new TFicheRapport(nullptr, &recuperes); },
             noms("cseJour btnActualiser edtFiltre cbErreursSeulement cbxTri rbIcones lstRapport reMessage")},
            {[&] { return new TFicheRapportHistorique(nullptr, QStringLiteral("0421"), *doc); },
             noms("lstRapportHistorique cbToutHistorique Button1")},
        };
        for (const auto &[creer, attendu] : fenetres) {
            const std::unique_ptr<QWidget> f(creer());
            montrerActive(*f);
            QTRY_VERIFY(!tacheEnCours(*f));
            QCOMPARE(tabulations(*f, attendu.first(), 20), attendu);
        }
        // With the path mode, Tab goes through the path field and "...".
        QVERIFY(ecrireFichier(ini(), "[Halvenor]\r\nTypeEnvoi=URI\r\n"));
        TFicheHalvenorConfig f(nullptr);
        montrerActive(f);
        QCOMPARE(tabulations(f, QStringLiteral("cbRemiseAchat"), 20),
                 noms("cbRemiseAchat cbPersonnalisation cbMessagerie cbDocument rbChemin edtUri btnHalvenorRep "
                      "btnEnregistrer"));
    }

    void entreeDansLaFenetrePrincipale()
    {
        TFicheHalvenor f;
        montrerActive(f);
        bool ouverte = false;
        quandOuverte<TFicheHalvenorConfig>(this, [&](TFicheHalvenorConfig &c) {
            ouverte = true;
            c.reject();
        });
        touche(f, "btnConfig", Qt::Key_Return);
        QVERIFY(ouverte);
        touche(f, "btnFermer", Qt::Key_Enter);
        QVERIFY(!f.isVisible());
    }

    void reglages()
    {
        const QByteArray avant = lireFichier(ini());
        {
            TFicheHalvenorConfig f(nullptr);
            montrerActive(f);
            QVERIFY(enfant<QPushButton>(f, "btnEnregistrer")->isDefault());
            cliquer(f, "cbDocument");
            touche(f, "cbDocument", Qt::Key_Escape);
            QVERIFY(!f.isVisible());
            QCOMPARE(lireFichier(ini()), avant);
        }
        TFicheHalvenorConfig f(nullptr);
        montrerActive(f);
        bool ftp = false, exclusion = false;
        quandOuverte<TFicheFtpParam>(this, [&](TFicheFtpParam &w) {
            ftp = true;
            w.reject();
        });
        touche(f, "btnFtpParam", Qt::Key_Return);
        quandOuverte<TFicheExclureFnsListe>(this, [&](TFicheExclureFnsListe &w) {
            exclusion = true;
            w.reject();
        });
        touche(f, "btnExclure", Qt::Key_Enter);
        QVERIFY(ftp && exclusion);
        QVERIFY(f.isVisible());
        // Enter on a check box: the default button saves.
        cliquer(f, "cbDocument");
        touche(f, "cbMessagerie", Qt::Key_Return);
        QVERIFY(!f.isVisible());
        QVERIFY(lireFichier(ini()).contains("Document=0"));
    }

    void compteFtp()
    {
        const QByteArray avant = lireFichier(ini());
        {
            TFicheFtpParam f(nullptr, QuelCompte::Publication, ini());
            montrerActive(f);
            QVERIFY(enfant<QPushButton>(f, "btnEnregistrer")->isDefault());
            enfant<QLineEdit>(f, "edtLogin")->setText(QStringLiteral("siege"));
            touche(f, "edtLogin", Qt::Key_Escape);
            QVERIFY(!f.isVisible());
            QCOMPARE(lireFichier(ini()), avant);
        }
        TFicheFtpParam f(nullptr, QuelCompte::Publication, ini());
        montrerActive(f);
        // The test button pressed from the keyboard: no host, so it fails and says so.
        touche(f, "btnTestFtp", Qt::Key_Return);
        QTRY_VERIFY(!tacheEnCours(f));
        QCOMPARE(m_dialogues->messages.size(), 1);
        QVERIFY(m_dialogues->messages[0].startsWith(QStringLiteral("Impossible de se connecter au serveur FTP")));
        // Enter in an edit: "Enregistrer", which validates first.
        touche(f, "edtHost", Qt::Key_Return);
        QCOMPARE(m_dialogues->messages.value(1), QStringLiteral("Veuillez renseigner la configuration FTP"));
        QVERIFY(f.isVisible());
        for (const char *nom : {"edtLogin", "edtPassword", "edtHost"})
            enfant<QLineEdit>(f, nom)->setText(QStringLiteral("x"));
        touche(f, "edtPort", Qt::Key_Enter);
        QVERIFY(!f.isVisible());
        QVERIFY(lireFichier(ini()).contains("[Halvenor_FTP]\r\nLogin=x\r\nMdp=x\r\nHost=x\r\nPort=21\r\n"));
    }

    void exclusion()
    {
        const QByteArray avant = lireFichier(ini());
        {
            TFicheExclureFnsListe f(nullptr);
            montrerActive(f);
            QTRY_VERIFY(!tacheEnCours(f));
            QVERIFY(enfant<QPushButton>(f, "btnEnregistrer")->isDefault());
            touche(f, "btnExclrue", Qt::Key_Return);
            QCOMPARE(m_dialogues->messages,
                     QStringList{QStringLiteral("Vous devez sélectionner une ligne avant d'exclure un fournisseur.")});
            enfant<QTreeWidget>(f, "lvFnsSource")->setCurrentItem(enfant<QTreeWidget>(f, "lvFnsSource")->topLevelItem(0));
            touche(f, "btnExclrue", Qt::Key_Enter);
            QCOMPARE(enfant<QTreeWidget>(f, "lvFnsExclu")->topLevelItemCount(), 1);
            touche(f, "lvFnsExclu", Qt::Key_Escape);
            QVERIFY(!f.isVisible());
            QCOMPARE(lireFichier(ini()), avant);
        }
        TFicheExclureFnsListe f(nullptr);
        montrerActive(f);
        QTRY_VERIFY(!tacheEnCours(f));
        enfant<QTreeWidget>(f, "lvFnsSource")->setCurrentItem(enfant<QTreeWidget>(f, "lvFnsSource")->topLevelItem(1));
        touche(f, "btnExclrue", Qt::Key_Return);
        touche(f, "lvFnsSource", Qt::Key_Return);
        QVERIFY(!f.isVisible());
        QVERIFY(lireFichier(ini()).endsWith("[Halvenor_FNS_Exclu]\r\nFournisseur0=B1\r\n"));
    }

    void rapportEtHistorique()
    {
        bool recuperes = false;
        TFicheRapport rapport(nullptr, &recuperes);
        montrerActive(rapport);
        // No account: every refresh says it cannot connect. Enter in "J-" refreshes.
        QTRY_VERIFY(!tacheEnCours(rapport));
        QCOMPARE(m_dialogues->messages.size(), 1);
        touche(rapport, "cseJour", Qt::Key_Return);
        QTRY_VERIFY(!tacheEnCours(rapport));
        QCOMPARE(m_dialogues->messages.size(), 2);
        touche(rapport, "btnActualiser", Qt::Key_Enter);
        QTRY_VERIFY(!tacheEnCours(rapport));
        QCOMPARE(m_dialogues->messages.size(), 3);
        touche(rapport, "lstRapport", Qt::Key_Escape);
        QVERIFY(!rapport.isVisible());

        const auto doc = historique();
        TFicheRapportHistorique f(nullptr, QStringLiteral("0421"), *doc);
        montrerActive(f);
        touche(f, "Button1", Qt::Key_Return);
        QCOMPARE(m_dialogues->titresEnregistrer, QStringList{QStringLiteral("Export rapport MajAuto historique")});
        touche(f, "lstRapportHistorique", Qt::Key_Escape);
        QVERIFY(!f.isVisible());
    }
};

HALVENOR_TEST_MAIN(TestClavier)
#include "test_clavier.moc"
