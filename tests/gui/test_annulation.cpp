// Stopping a long action from the windows: the main window's "Annuler" during a generation, and
// the report window's "Annuler" and Escape during a first refresh against a slow server.
#include "core/base/Chemins.h"
#include "core/base/Horloge.h"
#include "gui/principale/FicheHalvenor.h"
#include "gui/rapports/FicheRapport.h"

#include "DialoguesEnregistres.h"
#include "FtpServeur.h"
#include "OutilsGui.h"
#include "OutilsTests.h"
#include "TablesSiege.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

class TestAnnulation : public QObject, protected BancFenetre
{
    Q_OBJECT

    // Everything in a folder but the files named.
    static QStringList autresFichiers(const QString &dossier, const QStringList &attendus)
    {
        QStringList autres = QDir(dossier).entryList(QDir::Files | QDir::Hidden | QDir::System);
        for (const QString &a : attendus)
            autres.removeAll(a);
        return autres;
    }

private Q_SLOTS:
    void init() { monterBanc(); }
    void cleanup() { demonterBanc(); }

    void genererAnnuleGardeLAncienFichier()
    {
        QVERIFY(ecrireFichier(chemins().FichierIni, "[Halvenor]\r\nRemise_Achat=1\r\n"));
        const QString dossier = siege::dossierTables(chemins().RepertoireProgramme);
        siege::ecrireFournis(dossier, {{QStringLiteral("AB"), QStringLiteral("Ateliers Besson")}});
        siege::ecrireRemisesNombreuses(dossier, 400'000);
        const QString fichier = chemins().RepertoirePreparer + QStringLiteral("remise_achat.xml");
        QVERIFY(QDir().mkpath(chemins().RepertoirePreparer));
        const QByteArray ancien = "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<RemisesAchat/>\n\x80";
        QVERIFY(ecrireFichier(fichier, ancien));

        TFicheHalvenor f;
        montrer(f);
        auto *annuler = enfant<QPushButton>(f, "btnAnnuler");
        auto *barre = enfant<QProgressBar>(f, "pgbGenererRA");
        QVERIFY(!annuler->isVisible());
        cliquer(f, "btnGenererRA");
        QVERIFY(annuler->isVisible());
        // Stopped once the bar shows the walk under way.
        QTRY_VERIFY(barre->property("positionLogique").toInt() > 0 || !tacheEnCours(f));
        QVERIFY2(tacheEnCours(f), "the generation ended before it could be stopped");
        const int position = barre->property("positionLogique").toInt();
        QVERIFY(position < barre->property("maximumLogique").toInt());
        QElapsedTimer chrono;
        chrono.start();
        cliquer(f, "btnAnnuler");
        QTRY_VERIFY(!tacheEnCours(f));
        QVERIFY2(chrono.elapsed() < 1000, qPrintable(QString::number(chrono.elapsed())));

        QCOMPARE(lireFichier(fichier), ancien);
        QCOMPARE(autresFichiers(chemins().RepertoirePreparer, {QStringLiteral("remise_achat.xml")}), QStringList());
        QVERIFY(enfant<QLabel>(f, "imgGenererRAYes")->isHidden());
        QVERIFY(enfant<QLabel>(f, "imgGenererRANo")->isHidden());
        QVERIFY(m_dialogues->erreurs.isEmpty());
        QVERIFY(m_dialogues->messages.isEmpty());
        QVERIFY(!annuler->isVisible());
        QCOMPARE(f.windowTitle(), QStringLiteral("Halvenor"));

        // The same click, left to run, replaces the file and ticks the row.
        cliquer(f, "btnGenererRA");
        QTRY_VERIFY_WITH_TIMEOUT(!tacheEnCours(f), 30000);
        QVERIFY(enfant<QLabel>(f, "imgGenererRAYes")->isVisible());
        QVERIFY(lireFichier(fichier).size() > 400'000);
    }

    void actualiserAnnuleGardeLesLignesLues()
    {
        const QString serveur = m_dir->filePath(QStringLiteral("ftp/"));
        QVERIFY(QDir().mkpath(serveur + QStringLiteral("Rapport/Historique")));
        const QByteArray rapport = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><MajAuto Date=\"25/03/2013 06:30:00\">"
                                   "<General><Etat Etat=\"0\"/><Messages/></General></MajAuto>";
        constexpr int nombre = 60;
        for (int i = 0; i < nombre; ++i)
            QVERIFY(ecrireFichier(serveur + QStringLiteral("Rapport/F%1.xml").arg(i, 3, 10, QLatin1Char('0')), rapport));
        FtpServeur::Options options;
        options.delaiReponse = 0.03; // every reply
        options.mlsd = false;        // LIST gives the names in order
        FtpServeur lent({FtpServeur::compteRapport(serveur)}, options);
        QVERIFY(ecrireFichier(chemins().FichierIni,
                              lent.sectionRapport()));

        bool recuperes = false;
        TFicheRapport f(nullptr, &recuperes); // the first refresh starts at once
        montrer(f);
        auto *liste = enfant<QListView>(f, "lstRapport");
        auto *annuler = enfant<QPushButton>(f, "btnAnnuler");
        auto *resume = enfant<QLabel>(f, "lblResume");
        QVERIFY(annuler->isVisible());
        // The lines come as the reports arrive, with the count of the download.
        QTRY_VERIFY_WITH_TIMEOUT(liste->model()->rowCount() >= 3 || !tacheEnCours(f), 20000);
        QVERIFY2(tacheEnCours(f), "the refresh ended before it could be stopped");
        QVERIFY2(resume->text().startsWith(QStringLiteral("Téléchargement des rapports : ")), qPrintable(resume->text()));
        QVERIFY(resume->text().endsWith(QStringLiteral(" / %1").arg(nombre)));
        QElapsedTimer chrono;
        chrono.start();
        cliquer(f, "btnAnnuler");
        QTRY_VERIFY(!tacheEnCours(f));
        QVERIFY2(chrono.elapsed() < 1000, qPrintable(QString::number(chrono.elapsed())));

        const int lues = liste->model()->rowCount();
        QVERIFY(lues >= 3);
        QVERIFY(lues < nombre);
        for (int i = 0; i < lues; ++i) // listing order
            QCOMPARE(liste->model()->index(i, 0).data().toString(), QStringLiteral("F%1").arg(i, 3, 10, QLatin1Char('0')));
        QVERIFY2(resume->text().startsWith(QStringLiteral("Actualisation annulée : %1 franchisés").arg(lues)),
                 qPrintable(resume->text()));
        QVERIFY(!recuperes);
        QVERIFY(!annuler->isVisible());
        QVERIFY(m_dialogues->erreurs.isEmpty());
        QVERIFY(m_dialogues->messages.isEmpty());
        // Whole copies only: no partial download is left.
        for (const QString &nom : QDir(chemins().RepertoireRapport).entryList(QDir::Files | QDir::Hidden))
            QVERIFY2(nom.startsWith(u'F') && nom.endsWith(QStringLiteral(".xml")), qPrintable(nom));

        // The next refresh downloads again; Escape stops it and leaves the window open.
        cliquer(f, "btnActualiser");
        QTRY_VERIFY_WITH_TIMEOUT(liste->model()->rowCount() >= 1 || !tacheEnCours(f), 20000);
        QVERIFY(tacheEnCours(f));
        QTest::keyClick(&f, Qt::Key_Escape);
        QTRY_VERIFY(!tacheEnCours(f));
        QVERIFY(f.isVisible());
        QVERIFY(!recuperes);
        // Without a refresh running, Escape closes.
        QTest::keyClick(&f, Qt::Key_Escape);
        QVERIFY(!f.isVisible());
    }

    void fermerLaFenetreDesRapportsPendantLActualisation()
    {
        const QString serveur = m_dir->filePath(QStringLiteral("ftp/"));
        QVERIFY(QDir().mkpath(serveur + QStringLiteral("Rapport/Historique")));
        for (int i = 0; i < 40; ++i)
            QVERIFY(ecrireFichier(serveur + QStringLiteral("Rapport/F%1.xml").arg(i, 3, 10, QLatin1Char('0')),
                                  "<MajAuto Date=\"25/03/2013\"/>"));
        FtpServeur::Options options;
        options.delaiReponse = 0.03;
        FtpServeur lent({FtpServeur::compteRapport(serveur)}, options);
        QVERIFY(ecrireFichier(chemins().FichierIni,
                              lent.sectionRapport()));
        bool recuperes = false;
        TFicheRapport f(nullptr, &recuperes);
        montrer(f);
        QTRY_VERIFY_WITH_TIMEOUT(enfant<QListView>(f, "lstRapport")->model()->rowCount() >= 1 || !tacheEnCours(f), 20000);
        QVERIFY(tacheEnCours(f));
        f.close();
        QVERIFY(f.isVisible()); // until the refresh has stopped
        QTRY_VERIFY_WITH_TIMEOUT(!f.isVisible(), 1000);
        QVERIFY(!tacheEnCours(f));
        QVERIFY(!recuperes);
        QVERIFY(m_dialogues->erreurs.isEmpty());
        QVERIFY(m_dialogues->messages.isEmpty());
    }
};

HALVENOR_TEST_MAIN(TestAnnulation)
#include "test_annulation.moc"
