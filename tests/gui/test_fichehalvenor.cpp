#include "core/base/Chemins.h"
#include "gui/principale/FicheHalvenor.h"
#include "gui/parametres/FicheHalvenorConfig.h"
#include "core/base/Erreurs.h"
#include "gui/Action.h"
#include "gui/Tache.h"

#include "DialoguesEnregistres.h"
#include "FtpServeur.h"
#include "OutilsGui.h"
#include "OutilsTests.h"
#include "TablesSiege.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>

namespace {

const char *const rangees[] = {"RA", "Perso", "Message", "Document"};

} // namespace

class TestFicheHalvenor : public QObject, protected BancFenetre
{
    Q_OBJECT

    QString ini() const { return chemins().FichierIni; }

    static QList<bool> boutonsActifs(QWidget &w)
    {
        QList<bool> r;
        for (const char *k : rangees) {
            const bool g = enfant<QPushButton>(w, QStringLiteral("btnGenerer") + QLatin1String(k))->isEnabled();
            const bool e = enfant<QPushButton>(w, QStringLiteral("btnEnvoi") + QLatin1String(k))->isEnabled();
            if (g != e)
                qFatal("les deux boutons d'une ligne divergent");
            r << g;
        }
        return r;
    }

private Q_SLOTS:
    void init() { monterBanc(); }
    void cleanup() { demonterBanc(); }

    void sansFichierToutEstDesactive()
    {
        TFicheHalvenor f;
        QCOMPARE(boutonsActifs(f), (QList<bool>{false, false, false, false}));
        QCOMPARE(f.ModeEnvoi(), ModeEnvoi::FTP);
        QVERIFY(f.CheminURI().isEmpty());
        for (const char *b : {"btnConfig", "btnRapport", "btnFermer"})
            QVERIFY(enfant<QPushButton>(f, QLatin1String(b))->isEnabled());
        QCOMPARE(enfant<QLabel>(f, QStringLiteral("lblVersion"))->text(), QStringLiteral("Version 2.0 du 27/05/2020"));
        QCOMPARE(f.windowTitle(), QStringLiteral("Halvenor"));
        QVERIFY(!(f.windowFlags() & Qt::WindowMaximizeButtonHint));
        for (const char *k : rangees)
            for (const char *etape : {"Generer", "Envoi"})
                for (const char *yn : {"Yes", "No"}) {
                    auto *img = enfant<QLabel>(f, QStringLiteral("img") + QLatin1String(etape) + QLatin1String(k) + QLatin1String(yn));
                    QVERIFY(img->isHidden());
                    QCOMPARE(img->pixmap().size(), QSize(16, 16));
                }
    }

    void reglesDActivation_data()
    {
        QTest::addColumn<QByteArray>("contenu");
        QTest::addColumn<QList<bool>>("attendu");
        QTest::newRow("remise seule") << QByteArray("[Halvenor]\r\nRemise_Achat=1\r\n")
                                      << QList<bool>{true, false, false, false};
        QTest::newRow("casse des noms") << QByteArray("[HALVENOR]\nremise_achat=0\nPERSONNALISATION=1\n")
                                        << QList<bool>{false, true, false, false};
        QTest::newRow("entiers et mots") << QByteArray("[Halvenor]\nMessage=true\nDocument=-2\nRemise_Achat=oui\n")
                                         << QList<bool>{false, false, false, true};
        QTest::newRow("tout") << QByteArray("[Halvenor]\nRemise_Achat=1\nPersonnalisation=1\nMessage=1\nDocument=1\n")
                              << QList<bool>{true, true, true, true};
    }

    void reglesDActivation()
    {
        QFETCH(QByteArray, contenu);
        QFETCH(QList<bool>, attendu);
        QVERIFY(ecrireFichier(ini(), contenu));
        TFicheHalvenor f;
        QCOMPARE(boutonsActifs(f), attendu);
    }

    void typeEnvoi()
    {
        QVERIFY(ecrireFichier(ini(), "[Halvenor]\nTypeEnvoi=URI\n"));
        TFicheHalvenor f;
        QCOMPARE(f.ModeEnvoi(), ModeEnvoi::URI);
        QVERIFY(f.CheminURI().isEmpty()); // no URI key

        QVERIFY(ecrireFichier(ini(), "[Halvenor]\nTypeEnvoi=URI\n[Halvenor_URI]\nURI=/srv/pub/\n"));
        f.AppliquerConfiguration(ini());
        QCOMPARE(f.CheminURI(), QStringLiteral("/srv/pub/"));

        // Exact, case-sensitive: "ftp" matches neither value and changes nothing.
        QVERIFY(ecrireFichier(ini(), "[Halvenor]\nTypeEnvoi=ftp\n[Halvenor_URI]\nURI=/ailleurs/\n"));
        f.AppliquerConfiguration(ini());
        QCOMPARE(f.ModeEnvoi(), ModeEnvoi::URI);
        QCOMPARE(f.CheminURI(), QStringLiteral("/srv/pub/"));

        // FTP keeps the path it had.
        QVERIFY(ecrireFichier(ini(), "[Halvenor]\nTypeEnvoi=FTP\n"));
        f.AppliquerConfiguration(ini());
        QCOMPARE(f.ModeEnvoi(), ModeEnvoi::FTP);
        QCOMPARE(f.CheminURI(), QStringLiteral("/srv/pub/"));

        // A file that disappears changes nothing, buttons included.
        QVERIFY(ecrireFichier(ini(), "[Halvenor]\nDocument=1\nTypeEnvoi=URI\n"));
        f.AppliquerConfiguration(ini());
        QFile::remove(ini());
        f.AppliquerConfiguration(ini());
        QCOMPARE(boutonsActifs(f), (QList<bool>{false, false, false, true}));
        QCOMPARE(f.ModeEnvoi(), ModeEnvoi::URI);
    }

    void typeEnvoiMinusculesAuDemarrage()
    {
        QVERIFY(ecrireFichier(ini(), "[Halvenor]\nTypeEnvoi=uri\n[Halvenor_URI]\nURI=/srv/pub/\n"));
        TFicheHalvenor f;
        QCOMPARE(f.ModeEnvoi(), ModeEnvoi::FTP);
        QVERIFY(f.CheminURI().isEmpty());
    }

    void dossierDeTravail()
    {
        QVERIFY(!QDir(chemins().RepertoirePreparer).exists());
        {
            TFicheHalvenor f;
            QVERIFY(QDir(chemins().RepertoirePreparer).exists());
        }
        QVERIFY(ecrireFichier(chemins().RepertoirePreparer + QStringLiteral("remise_achat.xml"), "ancien"));
        TFicheHalvenor f;
        QCOMPARE(lireFichier(chemins().RepertoirePreparer + QStringLiteral("remise_achat.xml")), QByteArray("ancien"));
        QVERIFY(!QFile::exists(ini())); // nothing writes a default file
    }

    void genererPuisEnvoyerParChemin()
    {
        const QString cible = m_dir->path() + QStringLiteral("/publication/");
        QVERIFY(QDir().mkpath(cible));
        QVERIFY(ecrireFichier(ini(),
                              "[Halvenor]\nMessage=1\nTypeEnvoi=URI\n[Halvenor_URI]\nURI=" + cible.toUtf8() + "\n"));
        const QString dossier = siege::dossierTables(chemins().RepertoireProgramme);
        siege::ecrireMessageTypes(dossier, {{1, QStringLiteral("Info"), 0}, {2, QStringLiteral("Promo"), 1}, {3, QStringLiteral("Alerte"), QVariant()}});
        QList<siege::Message> messages;
        for (int i = 0; i < 10; ++i)
            messages.append({i, 1, QStringLiteral("Message %1").arg(i), QStringLiteral("Ligne 1\nLigne 2"), QDate(2026, 1, 1 + i), QDate(), i % 2});
        siege::ecrireMessages(dossier, messages);

        TFicheHalvenor f;
        f.show();
        QTest::mouseClick(enfant<QPushButton>(f, QStringLiteral("btnGenererMessage")), Qt::LeftButton);
        QTRY_VERIFY(!tacheEnCours(f));
        QVERIFY2(m_dialogues->erreurs.isEmpty(), qPrintable(m_dialogues->erreurs.join(u'\n')));
        QVERIFY(enfant<QLabel>(f, QStringLiteral("imgGenererMessageYes"))->isVisible());
        QVERIFY(enfant<QLabel>(f, QStringLiteral("imgGenererMessageNo"))->isHidden());
        auto *barre = enfant<QProgressBar>(f, QStringLiteral("pgbGenererMessage"));
        QCOMPARE(barre->property("maximumLogique").toInt(), 13);
        QCOMPARE(barre->value(), barre->maximum());

        QTest::mouseClick(enfant<QPushButton>(f, QStringLiteral("btnEnvoiMessage")), Qt::LeftButton);

        QTRY_VERIFY(!tacheEnCours(f));
        QVERIFY(m_dialogues->messages.isEmpty());
        QVERIFY(enfant<QLabel>(f, QStringLiteral("imgEnvoiMessageYes"))->isVisible());
        for (const char *n : {"message.xml", "message_type.xml"})
            QCOMPARE(lireFichier(cible + QLatin1String(n)),
                     lireFichier(chemins().RepertoirePreparer + QLatin1String(n)));

        // A new generation hides the row's send indicators.
        QTest::mouseClick(enfant<QPushButton>(f, QStringLiteral("btnGenererMessage")), Qt::LeftButton);
        QTRY_VERIFY(!tacheEnCours(f));
        QVERIFY(enfant<QLabel>(f, QStringLiteral("imgEnvoiMessageYes"))->isHidden());
    }

    void echecDeGenerationMontreLaCroix()
    {
        QVERIFY(ecrireFichier(ini(), "[Halvenor]\nPersonnalisation=1\n"));
        TFicheHalvenor f; // no tables at all
        f.show();
        QTest::mouseClick(enfant<QPushButton>(f, QStringLiteral("btnGenererPerso")), Qt::LeftButton);
        QTRY_VERIFY(!tacheEnCours(f));
        QCOMPARE(m_dialogues->erreurs.size(), 1);
        QVERIFY(m_dialogues->erreurs.first().contains(QStringLiteral("Perso.DB"), Qt::CaseInsensitive)
                || m_dialogues->erreurs.first().contains(QStringLiteral("ZentraveAdministration")));
        QVERIFY(enfant<QLabel>(f, QStringLiteral("imgGenererPersoNo"))->isVisible());
        QVERIFY(enfant<QLabel>(f, QStringLiteral("imgGenererPersoYes"))->isHidden());
        // The window stays usable: the same button runs again.
        QTest::mouseClick(enfant<QPushButton>(f, QStringLiteral("btnGenererPerso")), Qt::LeftButton);
        QTRY_VERIFY(!tacheEnCours(f));
        QCOMPARE(m_dialogues->erreurs.size(), 2);
    }

    void envoiParCheminSansRepertoireEstUneCroixMuette_data()
    {
        QTest::addColumn<QByteArray>("uri");
        QTest::newRow("absent") << QByteArray("/nulle/part/");
        QTest::newRow("vide") << QByteArray("");
    }

    void envoiParCheminSansRepertoireEstUneCroixMuette()
    {
        QFETCH(QByteArray, uri);
        QVERIFY(ecrireFichier(ini(), "[Halvenor]\nRemise_Achat=1\nTypeEnvoi=URI\n[Halvenor_URI]\nURI=" + uri + "\n"));
        TFicheHalvenor f;
        f.show();
        QTest::mouseClick(enfant<QPushButton>(f, QStringLiteral("btnEnvoiRA")), Qt::LeftButton);
        QTRY_VERIFY(!tacheEnCours(f));
        QVERIFY(m_dialogues->messages.isEmpty());
        QVERIFY(m_dialogues->erreurs.isEmpty());
        QVERIFY(enfant<QLabel>(f, QStringLiteral("imgEnvoiRANo"))->isVisible());
        QVERIFY(enfant<QLabel>(f, QStringLiteral("imgEnvoiRAYes"))->isHidden());
    }

    void envoiParFtp()
    {
        QTemporaryDir racine;
        FtpServeur serveur({{QStringLiteral("siege"), QStringLiteral("secret"), racine.path()}});
        QVERIFY(ecrireFichier(ini(),
                              "[Halvenor]\nPersonnalisation=1\nTypeEnvoi=FTP\n[Halvenor_FTP]\nLogin=siege\nMdp=secret\n"
                              "Host=127.0.0.1\nPort=" + QByteArray::number(serveur.port()) + "\n"));
        QDir().mkpath(chemins().RepertoirePreparer);
        QVERIFY(ecrireFichier(chemins().RepertoirePreparer + QStringLiteral("personnalisation.xml"),
                              "<Personnalisations/>\r\n\x80"));

        TFicheHalvenor f;
        f.show();
        QTest::mouseClick(enfant<QPushButton>(f, QStringLiteral("btnEnvoiPerso")), Qt::LeftButton);
        QTRY_VERIFY(!tacheEnCours(f));
        QVERIFY2(m_dialogues->messages.isEmpty(), qPrintable(m_dialogues->messages.join(u'\n')));
        QVERIFY(enfant<QLabel>(f, QStringLiteral("imgEnvoiPersoYes"))->isVisible());
        QCOMPARE(lireFichier(racine.path() + QStringLiteral("/personnalisation.xml")),
                 QByteArray("<Personnalisations/>\r\n\x80"));

        // A wrong password: one message, the cross.
        QVERIFY(ecrireFichier(ini(), "[Halvenor]\nPersonnalisation=1\n[Halvenor_FTP]\nLogin=siege\nMdp=faux\n"
                                     "Host=127.0.0.1\nPort=" + QByteArray::number(serveur.port()) + "\n"));
        QTest::mouseClick(enfant<QPushButton>(f, QStringLiteral("btnEnvoiPerso")), Qt::LeftButton);
        QTRY_VERIFY(!tacheEnCours(f));
        QCOMPARE(m_dialogues->messages.size(), 1);
        QVERIFY(m_dialogues->messages.first().startsWith(QStringLiteral("Impossible de se connecter au serveur FTP. Erreur ")));
        QVERIFY(enfant<QLabel>(f, QStringLiteral("imgEnvoiPersoNo"))->isVisible());
        QVERIFY(enfant<QLabel>(f, QStringLiteral("imgEnvoiPersoYes"))->isHidden());
    }

    void configurerRelitLeFichierALaFermeture()
    {
        QVERIFY(ecrireFichier(ini(), "[Halvenor]\nRemise_Achat=1\nMessage=1\nTypeEnvoi=FTP\n"));
        TFicheHalvenor f;
        montrer(f);
        auto *croix = enfant<QLabel>(f, "imgEnvoiRANo");
        croix->show();

        // A kind switched off loses both buttons at once; its indicator stays.
        quandOuverte<TFicheHalvenorConfig>(this, [](TFicheHalvenorConfig &c) {
            cliquer(c, "cbRemiseAchat");
            cliquer(c, "btnEnregistrer");
        });
        cliquer(f, "btnConfig");
        QCOMPARE(boutonsActifs(f), (QList<bool>{false, false, true, false}));
        QVERIFY(croix->isVisible());

        // Closed without saving: the file is read again all the same.
        quandOuverte<TFicheHalvenorConfig>(this, [this](TFicheHalvenorConfig &c) {
            ecrireFichier(ini(), "[Halvenor]\nDocument=1\nTypeEnvoi=URI\n[Halvenor_URI]\nURI=/srv/pub/\n");
            c.close();
        });
        cliquer(f, "btnConfig");
        QCOMPARE(boutonsActifs(f), (QList<bool>{false, false, false, true}));
        QCOMPARE(f.ModeEnvoi(), ModeEnvoi::URI);
        QCOMPARE(f.CheminURI(), QStringLiteral("/srv/pub/"));
        QVERIFY(!QApplication::activeModalWidget());
    }

    void iniIlisibleAuDemarrage()
    {
        // Root reads any file: a folder in its place is what cannot be read.
        QVERIFY(QDir().mkpath(ini()));
        TFicheHalvenor f;
        QCOMPARE(m_dialogues->erreurs.size(), 1);
        const QString erreur = m_dialogues->erreurs.first();
        QVERIFY2(erreur.startsWith(QStringLiteral("Impossible de lire le fichier de configuration « ") + ini()
                                   + QStringLiteral(" » : un dossier porte ce nom.")),
                 qPrintable(erreur));
        QCOMPARE(boutonsActifs(f), (QList<bool>{false, false, false, false}));
        QCOMPARE(f.ModeEnvoi(), ModeEnvoi::FTP);

        // The settings window opens as without a file; its save says why it fails and it stays open.
        montrer(f);
        m_dialogues->vider();
        bool ouverte = false;
        QStringList erreursALEnregistrement;
        quandOuverte<TFicheHalvenorConfig>(this, [&](TFicheHalvenorConfig &c) {
            cliquer(c, "rbFtp");
            cliquer(c, "btnEnregistrer");
            ouverte = c.isVisible();
            erreursALEnregistrement = m_dialogues->erreurs;
            c.reject();
        });
        cliquer(f, "btnConfig");
        QVERIFY(ouverte);
        QCOMPARE(erreursALEnregistrement.size(), 1);
        QVERIFY(erreursALEnregistrement.first().contains(ini()));
        QVERIFY(QFileInfo(ini()).isDir());
    }

    // A task that runs until it is cancelled, in the window's runner.
    static void lancerTacheLongue(TFicheHalvenor &f, bool *annuleeVue = nullptr)
    {
        f.tache().lancer(
            [annuleeVue](Messages &, const Annulation &annulation) {
                while (!annulation.demandee())
                    QThread::msleep(5);
                if (annuleeVue)
                    *annuleeVue = true;
                return false;
            },
            {});
    }

    void clicRefuseMontreLOccupationEtFermerAttendLaFin()
    {
        QVERIFY(ecrireFichier(ini(), "[Halvenor]\nRemise_Achat=1\n"));
        TFicheHalvenor f; // no tables: a generation that ran would show an error
        montrer(f);
        bool annulee = false;
        lancerTacheLongue(f, &annulee);
        QVERIFY(enfant<QPushButton>(f, "btnAnnuler")->isVisible());
        cliquer(f, "btnGenererRA");
        const QString titre = f.windowTitle();
        const bool curseur =
            QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
        // Closing cancels the task; the window stays until the task has ended.
        f.close();
        const bool visibleApresFermeture = f.isVisible();
        QCOMPARE(titre, QStringLiteral("Halvenor") + suffixeOccupe());
        QVERIFY(curseur);
        QVERIFY(visibleApresFermeture);
        QTRY_VERIFY(!f.isVisible());
        QVERIFY(annulee);
        QVERIFY(m_dialogues->erreurs.isEmpty());
        QVERIFY(enfant<QLabel>(f, "imgGenererRANo")->isHidden());
        QCOMPARE(f.windowTitle(), QStringLiteral("Halvenor"));
        QVERIFY(!QGuiApplication::overrideCursor());
        QVERIFY(!enfant<QPushButton>(f, "btnAnnuler")->isVisible());
    }

    void uneSecondeActionEstRefuseePendantLaPremiere()
    {
        TFicheHalvenor f;
        lancerTacheLongue(f);
        QVERIFY(!f.tache().lancer([](Messages &, const Annulation &) { return true; }, {}));
        f.tache().annuler();
        QTRY_VERIFY(!tacheEnCours(f));
        // Afterwards tasks run again, and an exception reaches the error dialog only.
        bool fini = false;
        QVERIFY(f.tache().lancer([](Messages &, const Annulation &) -> bool { throw HalvenorError(QStringLiteral("Échec voulu")); },
                                 [&](const Resultat &r) {
                                     fini = true;
                                     presenterResultat(&f, r);
                                 }));
        QTRY_VERIFY(fini);
        QCOMPARE(m_dialogues->erreurs, QStringList{QStringLiteral("Échec voulu")});
        QVERIFY(f.tache().lancer([](Messages &, const Annulation &) { return true; }, {}));
        QTRY_VERIFY(!tacheEnCours(f));
    }

    void unMessageEnCoursDeTacheAttendQueSaBoiteSoitFermee()
    {
        // Boxes that take the time of a reader, and say what the worker had done meanwhile.
        struct BoitesLues : DialoguesEnregistres
        {
            std::function<void()> pendant;
            void message(QWidget *parent, const QString &texte) override
            {
                DialoguesEnregistres::message(parent, texte);
                if (pendant)
                    pendant();
            }
        } boites;
        TFicheHalvenor f;
        montrer(f);
        std::atomic<int> passes{0}; // boxes the worker has gone past
        QList<int> passesPendant;
        QList<bool> enCoursPendant;
        boites.pendant = [&] {
            enCoursPendant << tacheEnCours(f);
            QTest::qWait(150);
            passesPendant << passes.load();
        };
        bool fini = false;
        Resultat resultat;
        QVERIFY(f.tache().lancer(
            [&passes](Messages &messages, const Annulation &) {
                messages.afficher(QStringLiteral("Erreur lors de la déconnexion : perdue"));
                passes = 1;
                messages.afficher(QStringLiteral("Impossible d'uploader les données. Erreur refusé"));
                passes = 2;
                return false;
            },
            [&](const Resultat &r) {
                fini = true;
                resultat = r;
                presenterResultat(&f, r);
            }));
        QTRY_VERIFY(fini);
        QCOMPARE(boites.messages, (QStringList{QStringLiteral("Erreur lors de la déconnexion : perdue"),
                                               QStringLiteral("Impossible d'uploader les données. Erreur refusé")}));
        QCOMPARE(enCoursPendant, (QList<bool>{true, true}));
        QCOMPARE(passesPendant, (QList<int>{0, 1}));
        QVERIFY(resultat.messages.isEmpty()); // already shown, not again at the end
        QVERIFY(boites.erreurs.isEmpty());

        // Stopped while its box is open: the worker stops waiting and asks for no other box.
        boites.vider();
        passes = 0;
        bool presente = false;
        boites.pendant = [&] { f.tache().arreter(); };
        QVERIFY(f.tache().lancer(
            [&passes](Messages &messages, const Annulation &) {
                messages.afficher(QStringLiteral("premier"));
                messages.afficher(QStringLiteral("second"));
                passes = 1;
                return false;
            },
            [&](const Resultat &) { presente = true; }));
        QTRY_VERIFY(!tacheEnCours(f));
        QCOMPARE(passes.load(), 1);
        QTest::qWait(100);
        QCOMPARE(boites.messages, QStringList{QStringLiteral("premier")});
        QVERIFY(!presente);
        definirDialogues(m_dialogues.get());
    }
};

HALVENOR_TEST_MAIN(TestFicheHalvenor)
#include "test_fichehalvenor.moc"
