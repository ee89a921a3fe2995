#include "core/base/Chemins.h"
#include "gui/parametres/FicheExclureFnsListe.h"
#include "gui/parametres/FicheHalvenorConfig.h"
#include "core/config/IniFile.h"
#include "gui/Action.h"

#include "DialoguesEnregistres.h"
#include "OutilsGui.h"
#include "OutilsTests.h"
#include "TablesSiege.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QHeaderView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>

#include <memory>

namespace {

const QString Section = QStringLiteral("Halvenor_FNS_Exclu");
const QString RienAExclure = QStringLiteral("Vous devez sélectionner une ligne avant d'exclure un fournisseur.");
const QString RienAReintegrer =
    QStringLiteral("Vous devez sélectionner une ligne avant de réintégrer un fournisseur.");

QTreeWidget *liste(QWidget &w, const char *nom)
{
    return enfant<QTreeWidget>(w, nom);
}

// "Nom/Code" of every row, in displayed order.
QStringList lignes(QTreeWidget *l)
{
    QStringList r;
    for (int i = 0; i < l->topLevelItemCount(); ++i)
        r << l->topLevelItem(i)->text(0) + u'/' + l->topLevelItem(i)->text(1);
    return r;
}

QTreeWidgetItem *ligne(QTreeWidget *l, const QString &nom)
{
    const QList<QTreeWidgetItem *> trouves = l->findItems(nom, Qt::MatchExactly, 0);
    if (trouves.size() != 1)
        qFatal("ligne %s introuvable", qPrintable(nom));
    return trouves.first();
}

// Ctrl+click on a row, as a user adds it to the selection.
void ajouterALaSelection(QTreeWidget *l, const QString &nom)
{
    QTreeWidgetItem *item = ligne(l, nom);
    QTest::mouseClick(l->viewport(), Qt::LeftButton, Qt::ControlModifier, l->visualItemRect(item).center());
}

// As the window system delivers it: press, release, press, double-click, release.
void doubleCliquer(QTreeWidget *l, const QPoint &pos)
{
    QTest::mousePress(l->viewport(), Qt::LeftButton, Qt::NoModifier, pos);
    QTest::mouseRelease(l->viewport(), Qt::LeftButton, Qt::NoModifier, pos);
    QTest::mousePress(l->viewport(), Qt::LeftButton, Qt::NoModifier, pos);
    QTest::mouseDClick(l->viewport(), Qt::LeftButton, Qt::NoModifier, pos);
    QTest::mouseRelease(l->viewport(), Qt::LeftButton, Qt::NoModifier, pos);
}

QPoint zoneVide(QTreeWidget *l)
{
    return {l->viewport()->width() / 2, l->viewport()->height() - 3};
}

} // namespace

class TestFicheExclureFnsListe : public QObject, protected BancFenetre
{
    Q_OBJECT

    static QString ini() { return chemins().FichierIni; }

    static QStringList exclusDuFichier() { return IniFile(ini()).readSectionValues(Section); }

private Q_SLOTS:
    void init()
    {
        monterBanc();
        // Table order differs from name order; letter case and accents must not decide it.
        siege::ecrireFournis(siege::dossierTables(m_dir->path()),
                             {{QStringLiteral("C1"), QStringLiteral("CHARLIE")},
                              {QStringLiteral("A1"), QStringLiteral("alpha")},
                              {QStringLiteral("E1"), QStringLiteral("Écho")},
                              {QStringLiteral("B1"), QStringLiteral("Bravo")},
                              {QStringLiteral("d1"), QStringLiteral("DELTA")},
                              {QStringLiteral("F1"), QStringLiteral("Foxtrot")}});
    }

    void cleanup() { demonterBanc(); }

    void sansFichierToutEstInclus()
    {
        TFicheExclureFnsListe f(nullptr);
        QTRY_VERIFY(!tacheEnCours(f));
        montrer(f);
        QCOMPARE(f.windowTitle(), QStringLiteral("FicheExclureFnsListe"));
        QVERIFY(!(f.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QTreeWidget *source = liste(f, "lvFnsSource");
        QTreeWidget *exclu = liste(f, "lvFnsExclu");
        QCOMPARE(lignes(source), (QStringList{QStringLiteral("alpha/A1"), QStringLiteral("Bravo/B1"),
                                              QStringLiteral("CHARLIE/C1"), QStringLiteral("DELTA/d1"),
                                              QStringLiteral("Écho/E1"), QStringLiteral("Foxtrot/F1")}));
        QCOMPARE(exclu->topLevelItemCount(), 0);
        QCOMPARE(source->headerItem()->text(0), QStringLiteral("Fournisseurs inclus dans la MAJ"));
        QCOMPARE(exclu->headerItem()->text(0), QStringLiteral("Fournisseurs non inclus dans la MAJ"));
        for (QTreeWidget *l : {source, exclu}) {
            QCOMPARE(l->headerItem()->text(1), QStringLiteral("Code"));
            QVERIFY(l->isColumnHidden(1));
            QCOMPARE(l->selectionMode(), QAbstractItemView::ExtendedSelection);
            QCOMPARE(l->selectionBehavior(), QAbstractItemView::SelectRows);
            QCOMPARE(l->editTriggers(), QAbstractItemView::NoEditTriggers);
        }
        QCOMPARE(f.findChild<QPushButton *>(QStringLiteral("btnExclrue"))->text(), QStringLiteral("->"));
        QCOMPARE(f.findChild<QPushButton *>(QStringLiteral("btnReintegrer"))->text(), QStringLiteral("<-"));
    }

    void codesStockesEtCodesInconnus()
    {
        // Any key name counts; codes compare exactly; a code matching no supplier is dropped on save.
        QVERIFY(ecrireFichier(ini(), "[Halvenor]\nRemise_Achat=1\n[Halvenor_FNS_Exclu]\nFournisseur0=ZZ\nAutre=F1\n"
                                     "Fournisseur1=D1\nX=C1=suite\nFournisseur2=B1\n"));
        TFicheExclureFnsListe f(nullptr);
        QTRY_VERIFY(!tacheEnCours(f));
        montrer(f);
        QCOMPARE(lignes(liste(f, "lvFnsExclu")), (QStringList{QStringLiteral("Bravo/B1"), QStringLiteral("Foxtrot/F1")}));
        QCOMPARE(liste(f, "lvFnsSource")->topLevelItemCount(), 4);

        cliquer(f, "btnEnregistrer");
        QVERIFY(!f.isVisible());
        QCOMPARE(exclusDuFichier(), (QStringList{QStringLiteral("Fournisseur0=B1"), QStringLiteral("Fournisseur1=F1")}));
        QVERIFY(IniFile(ini()).readBool(QStringLiteral("Halvenor"), QStringLiteral("Remise_Achat"), false));
    }

    void troisFournisseursExclusEnUneFois()
    {
        TFicheExclureFnsListe f(nullptr);
        QTRY_VERIFY(!tacheEnCours(f));
        montrer(f);
        QTreeWidget *source = liste(f, "lvFnsSource");
        QTreeWidget *exclu = liste(f, "lvFnsExclu");
        for (const QString &nom : {QStringLiteral("Foxtrot"), QStringLiteral("alpha"), QStringLiteral("DELTA")})
            ajouterALaSelection(source, nom);
        QCOMPARE(source->selectedItems().size(), 3);
        cliquer(f, "btnExclrue");
        QCOMPARE(lignes(exclu), (QStringList{QStringLiteral("alpha/A1"), QStringLiteral("DELTA/d1"),
                                             QStringLiteral("Foxtrot/F1")}));
        QCOMPARE(lignes(source), (QStringList{QStringLiteral("Bravo/B1"), QStringLiteral("CHARLIE/C1"),
                                              QStringLiteral("Écho/E1")}));
        QVERIFY(exclu->selectedItems().isEmpty());

        // Added later, a row still takes its place by name.
        ajouterALaSelection(source, QStringLiteral("Bravo"));
        cliquer(f, "btnExclrue");
        QCOMPARE(lignes(exclu), (QStringList{QStringLiteral("alpha/A1"), QStringLiteral("Bravo/B1"),
                                             QStringLiteral("DELTA/d1"), QStringLiteral("Foxtrot/F1")}));

        ajouterALaSelection(exclu, QStringLiteral("DELTA"));
        cliquer(f, "btnReintegrer");
        QCOMPARE(lignes(source), (QStringList{QStringLiteral("CHARLIE/C1"), QStringLiteral("DELTA/d1"),
                                              QStringLiteral("Écho/E1")}));
        QVERIFY(!QFile::exists(ini()));

        cliquer(f, "btnEnregistrer");
        QCOMPARE(exclusDuFichier(), (QStringList{QStringLiteral("Fournisseur0=A1"), QStringLiteral("Fournisseur1=B1"),
                                                 QStringLiteral("Fournisseur2=F1")}));
    }

    void rienDeSelectionne()
    {
        QVERIFY(ecrireFichier(ini(), "[Halvenor_FNS_Exclu]\nFournisseur0=A1\n"));
        TFicheExclureFnsListe f(nullptr);
        QTRY_VERIFY(!tacheEnCours(f));
        montrer(f);
        QTreeWidget *source = liste(f, "lvFnsSource");
        QTreeWidget *exclu = liste(f, "lvFnsExclu");
        const QStringList avantSource = lignes(source), avantExclu = lignes(exclu);

        cliquer(f, "btnExclrue");
        cliquer(f, "btnReintegrer");
        doubleCliquer(exclu, zoneVide(exclu));
        doubleCliquer(source, zoneVide(source));
        QCOMPARE(m_dialogues->messages, (QStringList{RienAExclure, RienAReintegrer, RienAReintegrer, RienAExclure}));
        QCOMPARE(lignes(source), avantSource);
        QCOMPARE(lignes(exclu), avantExclu);
    }

    void doubleClicSurUneLigne()
    {
        TFicheExclureFnsListe f(nullptr);
        QTRY_VERIFY(!tacheEnCours(f));
        montrer(f);
        QTreeWidget *source = liste(f, "lvFnsSource");
        QTreeWidget *exclu = liste(f, "lvFnsExclu");
        doubleCliquer(source, source->visualItemRect(ligne(source, QStringLiteral("CHARLIE"))).center());
        QCOMPARE(lignes(exclu), QStringList{QStringLiteral("CHARLIE/C1")});
        QCOMPARE(source->topLevelItemCount(), 5);

        doubleCliquer(exclu, exclu->visualItemRect(ligne(exclu, QStringLiteral("CHARLIE"))).center());
        QCOMPARE(exclu->topLevelItemCount(), 0);
        QCOMPARE(source->topLevelItemCount(), 6);
        QVERIFY(m_dialogues->messages.isEmpty());
    }

    void toutReintegrerSupprimeLaSection()
    {
        QVERIFY(ecrireFichier(ini(),
                              "[Halvenor_FNS_Exclu]\nFournisseur0=A1\nFournisseur1=B1\n[Halvenor]\nTypeEnvoi=FTP\n"));
        TFicheExclureFnsListe f(nullptr);
        QTRY_VERIFY(!tacheEnCours(f));
        montrer(f);
        QTreeWidget *exclu = liste(f, "lvFnsExclu");
        exclu->selectAll();
        cliquer(f, "btnReintegrer");
        QCOMPARE(exclu->topLevelItemCount(), 0);
        cliquer(f, "btnEnregistrer");
        QVERIFY(!f.isVisible());
        QVERIFY(!lireFichier(ini()).contains("Halvenor_FNS_Exclu"));
        QCOMPARE(IniFile(ini()).readString(QStringLiteral("Halvenor"), QStringLiteral("TypeEnvoi"), QString()),
                 QStringLiteral("FTP"));
    }

    void laCaseDeFermetureNEcritRien()
    {
        const QByteArray avant = "[Halvenor_FNS_Exclu]\r\nAutre=B1\r\n";
        QVERIFY(ecrireFichier(ini(), avant));
        TFicheExclureFnsListe f(nullptr);
        QTRY_VERIFY(!tacheEnCours(f));
        montrer(f);
        liste(f, "lvFnsSource")->selectAll();
        cliquer(f, "btnExclrue");
        QCOMPARE(liste(f, "lvFnsExclu")->topLevelItemCount(), 6);
        f.close();
        QCOMPARE(f.result(), int(QDialog::Rejected));
        QCOMPARE(lireFichier(ini()), avant);
    }

    void ouvertParLesReglages()
    {
        QVERIFY(ecrireFichier(ini(), "[Halvenor]\nRemise_Achat=1\n"));
        TFicheHalvenorConfig reglages(nullptr);
        montrer(reglages);
        bool vue = false;
        quandOuverte<TFicheExclureFnsListe>(this, [&](TFicheExclureFnsListe &fiche) {
            QTRY_VERIFY(!tacheEnCours(fiche));
            vue = fiche.parentWidget() == &reglages;
            ajouterALaSelection(liste(fiche, "lvFnsSource"), QStringLiteral("Écho"));
            cliquer(fiche, "btnExclrue");
            cliquer(fiche, "btnEnregistrer");
        });
        cliquer(reglages, "btnExclure");
        QVERIFY(vue);
        // Saved at once, even though the settings window is then closed without saving.
        reglages.close();
        QCOMPARE(exclusDuFichier(), QStringList{QStringLiteral("Fournisseur0=E1")});
    }

    void cinqMilleFournisseursAucunClicPendantLeChargement()
    {
        siege::ecrireFournis(siege::dossierTables(m_dir->path()), siege::fournisseursNombreux(5000));
        const QByteArray avant = "[Halvenor]\r\nRemise_Achat=1\r\n[Halvenor_FNS_Exclu]\r\nFournisseur0="
            + siege::codeFournisseur(2000).toLatin1() + "\r\n";
        QVERIFY(ecrireFichier(ini(), avant));
        TFicheHalvenorConfig reglages(nullptr);
        montrer(reglages);

        // While the suppliers load, the window is already open and modal, so the window system
        // gives the settings window behind it no click; its own lists and buttons wait for the
        // load. (QTest's clicks go around modality, so the guarantee is checked, not clicked.)
        int clics = 0;
        bool modaleEtInactive = true;
        QTimer impatient;
        connect(&impatient, &QTimer::timeout, this, [&] {
            auto *fiche = reglages.findChild<TFicheExclureFnsListe *>();
            if (!fiche || !fiche->chargementEnCours())
                return;
            ++clics;
            modaleEtInactive = modaleEtInactive && QApplication::activeModalWidget() == fiche
                && !liste(*fiche, "lvFnsSource")->isEnabled() && !enfant<QWidget>(*fiche, "btnEnregistrer")->isEnabled()
                && !enfant<QWidget>(*fiche, "btnExclrue")->isEnabled();
        });
        impatient.start(0);
        QStringList source, exclus;
        quandOuverte<TFicheExclureFnsListe>(this, [&](TFicheExclureFnsListe &fiche) {
            QTRY_VERIFY(!tacheEnCours(fiche));
            impatient.stop();
            source = lignes(liste(fiche, "lvFnsSource"));
            exclus = lignes(liste(fiche, "lvFnsExclu"));
            fiche.reject();
        });
        cliquer(reglages, "btnExclure");
        QVERIFY(clics > 0);
        QVERIFY(modaleEtInactive);
        QVERIFY(!enfant<QCheckBox>(reglages, "cbDocument")->isChecked());
        QVERIFY(reglages.isVisible());
        QCOMPARE(lireFichier(ini()), avant);

        QCOMPARE(source.size(), 4999);
        QCOMPARE(exclus, QStringList{QStringLiteral("Fournisseur 02999/") + siege::codeFournisseur(2000)});
        QCOMPARE(source.first(), QStringLiteral("Fournisseur 00000/") + siege::codeFournisseur(4999));
        QCOMPARE(source.last(), QStringLiteral("Fournisseur 04999/") + siege::codeFournisseur(0));
        // And the window's own lists are whole and in order once it is interactive.
        QStringList trie = source;
        std::sort(trie.begin(), trie.end());
        QCOMPARE(source, trie);
        // Input works again afterwards.
        cliquer(reglages, "cbDocument");
        QVERIFY(enfant<QCheckBox>(reglages, "cbDocument")->isChecked());
    }

    void tableIntrouvable()
    {
        QFile::remove(siege::dossierTables(m_dir->path()) + QStringLiteral("FOURNIS.DB"));
        QVERIFY(ecrireFichier(ini(), "[Halvenor]\nRemise_Achat=1\n"));
        TFicheHalvenorConfig reglages(nullptr);
        montrer(reglages);
        cliquer(reglages, "btnExclure");
        QCOMPARE(m_dialogues->erreurs.size(), 1);
        QVERIFY2(m_dialogues->erreurs.first().contains(QStringLiteral("FOURNIS.DB"), Qt::CaseInsensitive),
                 qPrintable(m_dialogues->erreurs.first()));
        QVERIFY(reglages.isVisible());
        QVERIFY(!QApplication::activeModalWidget());
    }
};

HALVENOR_TEST_MAIN(TestFicheExclureFnsListe)
#include "test_ficheexclurefnsliste.moc"
