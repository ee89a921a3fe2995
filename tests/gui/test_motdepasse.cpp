// Protected head-office tables from the windows: the password dialog over "Générer" and over the
// supplier exclusion window, its wrong answers, Cancel, "Mémoriser pour cette session", and a
// window closed while it asks. The tables are protected by pxlib.
#include "core/base/Chemins.h"
#include "gui/FicheMotDePasse.h"
#include "gui/parametres/FicheExclureFnsListe.h"
#include "gui/principale/FicheHalvenor.h"

#include "DialoguesEnregistres.h"
#include "OutilsGui.h"
#include "OutilsTests.h"
#include "TablesSiege.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTreeWidget>

#include <deque>
#include <functional>
#include <optional>

namespace {

const QString MotDePasse = QStringLiteral("Secret7");
const QString Question = QStringLiteral("La table REMISES.DB est protégée par un mot de passe.");

// Answers every password dialog that shows, from a queue (nothing: "Annuler"; an empty queue
// leaves the dialog up), and notes what each one showed.
class Repondeur : public QObject
{
public:
    struct Reponse
    {
        std::optional<QString> motDePasse;
        bool memoriser = false;
    };

    Repondeur()
    {
        connect(&m_minuteur, &QTimer::timeout, this, [this] { regarder(); });
        m_minuteur.start(10);
    }

    std::deque<Reponse> reponses;
    // Done instead of answering, when set: the test's own code cannot run while a dialog is up.
    std::function<void()> action;
    QStringList vus; // "text|wrong" of each dialog
    bool ouvert() const { return qobject_cast<TFicheMotDePasse *>(QApplication::activeModalWidget()); }

private:
    void regarder()
    {
        auto *fiche = qobject_cast<TFicheMotDePasse *>(QApplication::activeModalWidget());
        if (!fiche || fiche == m_vu || (reponses.empty() && !action))
            return;
        m_vu = fiche;
        if (action) {
            std::exchange(action, {})();
            return;
        }
        auto *champ = enfant<QLineEdit>(*fiche, "edtMotDePasse");
        QCOMPARE(champ->echoMode(), QLineEdit::Password);
        vus << enfant<QLabel>(*fiche, "lblTable")->text() + u'|'
                   + (enfant<QLabel>(*fiche, "lblFaux")->isVisible() ? QStringLiteral("faux") : QString());
        const Reponse r = reponses.front();
        reponses.pop_front();
        if (!r.motDePasse) {
            cliquer(*fiche, "btnAnnuler");
            return;
        }
        QTest::keyClicks(champ, *r.motDePasse);
        if (r.memoriser)
            cliquer(*fiche, "chkMemoriser");
        cliquer(*fiche, "btnOk");
    }

    QTimer m_minuteur;
    QPointer<TFicheMotDePasse> m_vu;
};

class TestMotDePasse : public QObject, protected BancFenetre
{
    Q_OBJECT

    QString exportRemise() const { return chemins().RepertoirePreparer + QStringLiteral("remise_achat.xml"); }

    static void proteger(const char *table)
    {
        QProcess p;
        p.start(QStringLiteral(PXLIB_TABLE), {QStringLiteral("chiffrer"),
                                               siege::dossierTables(chemins().RepertoireProgramme) + QLatin1String(table),
                                               MotDePasse});
        QVERIFY(p.waitForFinished(60000));
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    }

    void generer(TFicheHalvenor &f)
    {
        cliquer(f, "btnGenererRA");
        QTRY_VERIFY_WITH_TIMEOUT(!tacheEnCours(f), 30000);
    }

private Q_SLOTS:
    void init()
    {
        monterBanc();
        oublierMotsDePasseMemorises();
        siege::ecrireExemple(siege::dossierTables(chemins().RepertoireProgramme));
        proteger("REMISES.DB");
        QVERIFY(ecrireFichier(chemins().FichierIni, "[Halvenor]\r\nRemise_Achat=1\r\n"));
        QVERIFY(QDir().mkpath(chemins().RepertoirePreparer));
        QVERIFY(ecrireFichier(exportRemise(), "ancien"));
    }
    void cleanup()
    {
        oublierMotsDePasseMemorises();
        demonterBanc();
    }

    void fauxPuisBonPuisAnnuler()
    {
        TFicheHalvenor f;
        montrer(f);
        Repondeur r;
        r.reponses = {{QStringLiteral("secret7")}, {MotDePasse}};
        generer(f);
        QCOMPARE(r.vus, (QStringList{Question + u'|', Question + QStringLiteral("|faux")}));
        QVERIFY(m_dialogues->erreurs.isEmpty());
        QVERIFY(lireFichier(exportRemise()).contains("Libelle=\"Remise de base\""));
        QVERIFY(enfant<QLabel>(f, "imgGenererRAYes")->isVisible());
        const QByteArray genere = lireFichier(exportRemise());

        // Not remembered: the next click asks again, and Cancel fails the generation.
        r.vus.clear();
        r.reponses = {{std::nullopt}};
        generer(f);
        QCOMPARE(r.vus, QStringList{Question + u'|'});
        QCOMPARE(m_dialogues->erreurs,
                 QStringList{QStringLiteral("La table REMISES.DB est protégée par un mot de passe : lecture abandonnée.")});
        QVERIFY(enfant<QLabel>(f, "imgGenererRANo")->isVisible());
        QVERIFY(enfant<QLabel>(f, "imgGenererRAYes")->isHidden());
        QCOMPARE(lireFichier(exportRemise()), genere);
        QVERIFY(!r.ouvert());
    }

    // FOURNIS, protected too, is read by the same generation and by the exclusion window.
    void memoriserPourLaSession()
    {
        proteger("FOURNIS.DB");
        TFicheHalvenor f;
        montrer(f);
        Repondeur r;
        r.reponses = {{MotDePasse, true}};
        generer(f);
        QCOMPARE(r.vus.size(), 1);
        QVERIFY(m_dialogues->erreurs.isEmpty());
        QVERIFY(lireFichier(exportRemise()).contains("Libelle=\"Remise de base\""));
        QCOMPARE(motsDePasseMemorises(), QStringList{MotDePasse});

        QVERIFY(ecrireFichier(exportRemise(), "ancien"));
        generer(f);
        QVERIFY(lireFichier(exportRemise()).contains("Libelle=\"Remise de base\""));
        {
            TFicheExclureFnsListe fiche(&f);
            QTRY_VERIFY(!tacheEnCours(fiche));
            QCOMPARE(enfant<QTreeWidget>(fiche, "lvFnsSource")->topLevelItemCount(), 4);
        }
        QCOMPARE(r.vus.size(), 1);
        QVERIFY(m_dialogues->erreurs.isEmpty());

        // Forgotten (a new run): the exclusion window asks, a wrong remembered one is dropped.
        oublierMotsDePasseMemorises();
        r.reponses = {{QStringLiteral("faux"), true}, {MotDePasse}};
        TFicheExclureFnsListe fiche(&f);
        QTRY_VERIFY(!tacheEnCours(fiche));
        QCOMPARE(r.vus.mid(1), (QStringList{QStringLiteral("La table FOURNIS.DB est protégée par un mot de passe.|"),
                                            QStringLiteral("La table FOURNIS.DB est protégée par un mot de passe.|faux")}));
        QCOMPARE(enfant<QTreeWidget>(fiche, "lvFnsSource")->topLevelItemCount(), 4);
        QCOMPARE(motsDePasseMemorises(), QStringList());
    }

    // The task stops while the dialog waits: nothing waits for the other, the dialog goes.
    void fenetreFermeeOuDetruitePendantLaQuestion()
    {
        Repondeur r;
        auto *f = new TFicheHalvenor;
        montrer(*f);
        r.action = [f] { f->close(); };
        cliquer(*f, "btnGenererRA");
        QTRY_VERIFY(!r.action && !tacheEnCours(*f));
        QTRY_VERIFY(!f->isVisible());
        QVERIFY(!r.ouvert());
        QVERIFY(enfant<QLabel>(*f, "imgGenererRANo")->isHidden());

        // Destroyed while it asks, as when the program ends.
        montrer(*f);
        QPointer<TFicheHalvenor> garde(f);
        r.action = [f] { delete f; };
        cliquer(*f, "btnGenererRA");
        QTRY_VERIFY(garde.isNull());
        QTRY_VERIFY(!r.ouvert());
        QVERIFY(m_dialogues->erreurs.isEmpty());
        QCOMPARE(lireFichier(exportRemise()), QByteArray("ancien"));
    }
};

} // namespace

HALVENOR_TEST_MAIN(TestMotDePasse)
#include "test_motdepasse.moc"
