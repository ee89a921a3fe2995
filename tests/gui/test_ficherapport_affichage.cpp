#include "core/base/Chemins.h"
#include "core/base/Horloge.h"
#include "core/config/Parametres.h"
#include "gui/rapports/FicheRapport.h"

#include "DialoguesEnregistres.h"
#include "FtpServeur.h"
#include "OutilsGui.h"
#include "OutilsTests.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTreeView>

#include <memory>

namespace {

// 31 franchisees F1..F31: every third one has a locked base, every fifth (not third) an old
// report, F31 an unreadable file; the others are green, dated 25/03/2013 at i o'clock.
constexpr int Nombre = 31;
bool verrouille(int i) { return i % 3 == 0 && i < Nombre; }
bool ancien(int i) { return i % 5 == 0 && !verrouille(i); }
bool rouge(int i) { return verrouille(i) || ancien(i) || i == Nombre; }

QByteArray rapport(int i)
{
    if (i == Nombre)
        return "pas du XML";
    const QString date = ancien(i) ? QStringLiteral("20/03/2013 06:00:00") : QStringLiteral("25/03/2013 %1:00:00").arg(i % 24, 2, 10, QLatin1Char('0'));
    const QString hvn = verrouille(i) ? QStringLiteral("<Etat Etat=\"1\"/><Messages><Message>Base verrouillée n°%1</Message></Messages>").arg(i)
                                      : QStringLiteral("<Etat Etat=\"0\"/><Messages/>");
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><MajAuto Date=\"%1\">"
                          "<General><Etat Etat=\"0\"/><Messages/></General><HVN>%2</HVN>"
                          "<Zentrave><Etat Etat=\"0\"/><Messages/></Zentrave></MajAuto>")
        .arg(date, hvn)
        .toUtf8();
}

QStringList noms(const QList<int> &numeros)
{
    QStringList r;
    for (int i : numeros)
        r << QStringLiteral("F%1").arg(i);
    return r;
}

} // namespace

class TestFicheRapportAffichage : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FtpServeur> m_ftp;
    std::unique_ptr<DialoguesEnregistres> m_dialogues;
    HorlogeFixe m_horloge{QDateTime(QDate(2013, 3, 25), QTime(23, 0))};
    bool m_recuperes = false;
    QList<int> m_serveur; // the listing's order: names sorted as text (F1, F10, F11, ...)

    static QStringList lignes(QWidget &w)
    {
        const QAbstractItemModel *m = enfant<QListView>(w, "lstRapport")->model();
        QStringList r;
        for (int i = 0; i < m->rowCount(); ++i)
            r << m->index(i, 0).data().toString();
        return r;
    }

    void ouvrir(TFicheRapport &f)
    {
        QTRY_VERIFY(!tacheEnCours(f));
        QVERIFY(!lignes(f).isEmpty());
        QVERIFY(m_dialogues->erreurs.isEmpty());
        QVERIFY(m_dialogues->messages.isEmpty());
    }

    void ecrireIni(const QByteArray &plus = {})
    {
        QVERIFY(ecrireFichier(chemins().FichierIni,
                              m_ftp->sectionRapport()
                                  + plus));
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        const QString serveur = m_dir->filePath(QStringLiteral("ftp/"));
        QDir().mkpath(serveur + QStringLiteral("Rapport/Historique"));
        definirChemins(Chemins::depuisRepertoire(m_dir->filePath(QStringLiteral("programme"))));
        QDir().mkpath(chemins().RepertoireProgramme);
        definirHorloge(&m_horloge);
        FtpServeur::Options options;
        options.mlsd = false; // LIST gives the names in order
        m_ftp = std::make_unique<FtpServeur>(
            QList<FtpServeur::Compte>{FtpServeur::compteRapport(serveur)},
            options);
        QStringList tries;
        for (int i = 1; i <= Nombre; ++i) {
            QVERIFY(ecrireFichier(serveur + QStringLiteral("Rapport/F%1.xml").arg(i), rapport(i)));
            tries << QString::number(i);
        }
        tries.sort();
        for (const QString &t : tries)
            m_serveur << t.toInt();
    }

    void init()
    {
        m_dialogues = std::make_unique<DialoguesEnregistres>();
        m_recuperes = false;
        ecrireIni();
    }
    void cleanup() { m_dialogues.reset(); }
    void cleanupTestCase() { definirHorloge(nullptr); }

    void rechercheEtErreursSeulement()
    {
        TFicheRapport f(nullptr, &m_recuperes);
        QAbstractItemModelTester testeur(f.filtre(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        ouvrir(f);
        f.show();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        auto *filtre = enfant<QLineEdit>(f, "edtFiltre");
        auto *erreurs = enfant<QCheckBox>(f, "cbErreursSeulement");
        auto *resume = enfant<QLabel>(f, "lblResume");
        QCOMPARE(filtre->placeholderText(), QStringLiteral("Rechercher un franchisé ou un message…"));
        QCOMPARE(erreurs->text(), QStringLiteral("En erreur seulement"));
        QCOMPARE(lignes(f), noms(m_serveur)); // nothing touched: the listing's order, every line
        const QString total = QStringLiteral("31 franchisés : 16 à jour, 15 en erreur");
        QCOMPARE(resume->text(), total);

        QTest::keyClick(&f, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(filtre->hasFocus());
        // Without case or accents, in the report text.
        QTest::keyClicks(filtre, QStringLiteral("VERROUILLEE"));
        QCOMPARE(lignes(f), noms({12, 15, 18, 21, 24, 27, 3, 30, 6, 9}));
        QCOMPARE(resume->text(), total + QStringLiteral(" — 10 affichés"));
        filtre->setText(QStringLiteral("n°12"));
        QCOMPARE(lignes(f), noms({12}));
        // In the identifier.
        filtre->setText(QStringLiteral("f2"));
        QCOMPARE(lignes(f), noms({2, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29}));
        erreurs->click();
        QCOMPARE(lignes(f), noms({20, 21, 24, 25, 27}));
        QCOMPARE(resume->text(), total + QStringLiteral(" — 5 affichés"));
        filtre->clear();
        QCOMPARE(lignes(f).size(), 15);
        QCOMPARE(resume->text(), total + QStringLiteral(" — 15 affichés"));
        erreurs->click();
        QCOMPARE(resume->text(), total);

        // A selected line the filter hides leaves the selection: what "Voir l'historique" would
        // open and the text shown are those of a line still shown.
        auto *liste = enfant<QListView>(f, "lstRapport");
        liste->setCurrentIndex(liste->model()->index(0, 0));
        QCOMPARE(f.FranchiseSelectionne(), QStringLiteral("F1"));
        filtre->setText(QStringLiteral("F3"));
        const bool choisi = enfant<QPushButton>(f, "btnHistorique")->isEnabled();
        QCOMPARE(choisi, liste->selectionModel()->hasSelection());
        if (choisi) {
            QVERIFY(lignes(f).contains(f.FranchiseSelectionne()));
            QCOMPARE(enfant<QTextEdit>(f, "reMessage")->toPlainText(),
                     liste->selectionModel()->selectedIndexes().first().data(ModeleRapports::RoleTexte).toString());
        }
        // A refresh with a filter set fills through it.
        QTest::mouseClick(enfant<QPushButton>(f, "btnActualiser"), Qt::LeftButton);
        QTRY_VERIFY(!tacheEnCours(f));
        QCOMPARE(lignes(f), noms({3, 30, 31}));
    }

    void ordres()
    {
        TFicheRapport f(nullptr, &m_recuperes);
        ouvrir(f);
        auto *tri = enfant<QComboBox>(f, "cbxTri");
        QStringList textes;
        for (int i = 0; i < tri->count(); ++i)
            textes << tri->itemText(i);
        QCOMPARE(textes, (QStringList{QStringLiteral("Ordre du serveur"), QStringLiteral("Franchisé"),
                                      QStringLiteral("En erreur d'abord"), QStringLiteral("Date du rapport")}));
        QCOMPARE(tri->currentIndex(), 0);

        QList<int> naturel;
        for (int i = 1; i <= Nombre; ++i)
            naturel << i;
        tri->setCurrentIndex(1);
        QCOMPARE(lignes(f), noms(naturel)); // F2 before F10
        // Red first, each group in the listing's order.
        QList<int> etat;
        for (int i : m_serveur)
            if (rouge(i))
                etat << i;
        for (int i : m_serveur)
            if (!rouge(i))
                etat << i;
        tri->setCurrentIndex(2);
        QCOMPARE(lignes(f), noms(etat));
        // Oldest first: no date (F31), 20/03 (listing order), then 25/03 by hour (F24 at 00:00);
        // F25..F30 have the hours 1..6 as well: equal dates keep the listing's order.
        QList<int> dateAttendue{31};
        for (int i : m_serveur)
            if (ancien(i))
                dateAttendue << i;
        dateAttendue << 24;
        for (int h = 1; h < 24; ++h)
            for (int i : m_serveur)
                if (!ancien(i) && i != Nombre && i % 24 == h)
                    dateAttendue << i;
        tri->setCurrentIndex(3);
        QCOMPARE(lignes(f), noms(dateAttendue));
        tri->setCurrentIndex(0);
        QCOMPARE(lignes(f), noms(m_serveur));
    }

    void vueDetails()
    {
        TFicheRapport f(nullptr, &m_recuperes);
        ouvrir(f);
        f.resize(800, 600);
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        auto *icones = enfant<QListView>(f, "lstRapport");
        auto *details = enfant<QTreeView>(f, "lstRapportDetails");
        QVERIFY(enfant<QRadioButton>(f, "rbIcones")->isChecked());
        QVERIFY(icones->isVisible());
        QVERIFY(!details->isVisible());
        enfant<QRadioButton>(f, "rbDetails")->click();
        QVERIFY(details->isVisible());
        QVERIFY(!icones->isVisible());

        const QAbstractItemModel *m = details->model();
        QCOMPARE(m, icones->model());
        QStringList entetes;
        for (int c = 0; c < m->columnCount(); ++c)
            entetes << m->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(entetes, (QStringList{QStringLiteral("Franchisé"), QStringLiteral("État"), QStringLiteral("Date du rapport"),
                                       QStringLiteral("Motif")}));
        const auto rangee = [&](int i) {
            QStringList r;
            const int ligne = static_cast<int>(m_serveur.indexOf(i));
            for (int c = 0; c < m->columnCount(); ++c)
                r << m->index(ligne, c).data().toString();
            return r;
        };
        QCOMPARE(rangee(1), (QStringList{QStringLiteral("F1"), QStringLiteral("À jour"), QStringLiteral("25/03/2013 01:00:00"), QString()}));
        QCOMPARE(rangee(3), (QStringList{QStringLiteral("F3"), QStringLiteral("En erreur"), QStringLiteral("25/03/2013 03:00:00"),
                                         QStringLiteral("[HVN] Base verrouillée n°3")}));
        QCOMPARE(rangee(5), (QStringList{QStringLiteral("F5"), QStringLiteral("En erreur"), QStringLiteral("20/03/2013 06:00:00"),
                                         QStringLiteral("Rapport trop ancien")}));
        QCOMPARE(rangee(31), (QStringList{QStringLiteral("F31"), QStringLiteral("En erreur"), QString(),
                                          QStringLiteral("Impossible de lire le fichier XML : ") + chemins().RepertoireRapport
                                              + QStringLiteral("F31.xml")}));

        // A click on a row drives the text and the button, and the icon list shows the same selection.
        const QModelIndex f9 = m->index(static_cast<int>(m_serveur.indexOf(9)), ModeleRapports::Motif);
        details->scrollTo(f9);
        QTest::mouseClick(details->viewport(), Qt::LeftButton, {}, details->visualRect(f9).center());
        QCOMPARE(f.FranchiseSelectionne(), QStringLiteral("F9"));
        QVERIFY(enfant<QPushButton>(f, "btnHistorique")->isEnabled());
        QVERIFY(enfant<QTextEdit>(f, "reMessage")->toPlainText().endsWith(QStringLiteral("[HVN] Base verrouillée n°9\n")));
        QVERIFY(icones->selectionModel()->isSelected(f9.siblingAtColumn(0)));

        // A header click sorts, the order list follows, and the order is kept in the file.
        auto *tri = enfant<QComboBox>(f, "cbxTri");
        const auto cliquerEntete = [details](int colonne) {
            QHeaderView *entete = details->header();
            const QRect r(entete->sectionViewportPosition(colonne), 0, entete->sectionSize(colonne), entete->height());
            QTest::mouseClick(entete->viewport(), Qt::LeftButton, {}, r.center());
        };
        const auto triGarde = [] { return Parametres::lire(chemins().FichierIni).affichage.tri; };
        cliquerEntete(ModeleRapports::Etat);
        QCOMPARE(tri->currentIndex(), 2);
        QCOMPARE(triGarde(), ParametresAffichage::Tri::Etat);
        QCOMPARE(m->index(0, ModeleRapports::Etat).data().toString(), QStringLiteral("En erreur"));
        QCOMPARE(m->index(14, ModeleRapports::Etat).data().toString(), QStringLiteral("En erreur"));
        QCOMPARE(m->index(15, ModeleRapports::Etat).data().toString(), QStringLiteral("À jour"));
        QCOMPARE(f.FranchiseSelectionne(), QStringLiteral("F9")); // sorting keeps the selection
        cliquerEntete(ModeleRapports::Etat);
        QCOMPARE(m->index(0, ModeleRapports::Etat).data().toString(), QStringLiteral("À jour"));
        QCOMPARE(tri->currentIndex(), -1); // no order of the list is "green first"
        QCOMPARE(triGarde(), ParametresAffichage::Tri::Etat);
        // After a descending sort, another column starts ascending: the list names it again.
        cliquerEntete(ModeleRapports::Date);
        QCOMPARE(tri->currentIndex(), 3);
        QCOMPARE(m->index(0, ModeleRapports::Franchise).data().toString(), QStringLiteral("F31"));
        cliquerEntete(ModeleRapports::Franchise);
        QCOMPARE(tri->currentIndex(), 1);
        QCOMPARE(triGarde(), ParametresAffichage::Tri::Franchise);
        TFicheRapport rouverte(nullptr, &m_recuperes); // the next window opens with it
        ouvrir(rouverte);
        QCOMPARE(enfant<QComboBox>(rouverte, "cbxTri")->currentIndex(), 1);
    }

    void basculeMontreLaLigneChoisie()
    {
        // Qt scrolls a hidden view to a line chosen meanwhile, not to one an order has moved.
        TFicheRapport f(nullptr, &m_recuperes);
        ouvrir(f);
        f.resize(500, 400);
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        auto *icones = enfant<QListView>(f, "lstRapport");
        auto *details = enfant<QTreeView>(f, "lstRapportDetails");
        const auto visible = [](QAbstractItemView *vue) {
            return vue->viewport()->rect().intersects(vue->visualRect(vue->currentIndex().siblingAtColumn(0)));
        };
        icones->setCurrentIndex(icones->model()->index(0, 0)); // F1, green
        enfant<QRadioButton>(f, "rbDetails")->click();
        enfant<QRadioButton>(f, "rbIcones")->click();
        enfant<QComboBox>(f, "cbxTri")->setCurrentIndex(2); // F1 goes below the 15 red lines
        QVERIFY(!visible(details));
        enfant<QRadioButton>(f, "rbDetails")->click();
        QTRY_VERIFY(visible(details));
        icones->verticalScrollBar()->setValue(icones->verticalScrollBar()->maximum());
        QVERIFY(!visible(icones));
        enfant<QRadioButton>(f, "rbIcones")->click();
        QTRY_VERIFY(visible(icones));
    }

    void choixGardesDansLeFichier()
    {
        // Another section's keys stay.
        ecrireIni("[Halvenor_Affichage]\r\nAutre=1\r\n");
        {
            TFicheRapport f(nullptr, &m_recuperes);
            ouvrir(f);
            enfant<QCheckBox>(f, "cbErreursSeulement")->click();
            enfant<QComboBox>(f, "cbxTri")->setCurrentIndex(3);
            enfant<QRadioButton>(f, "rbDetails")->click();
            enfant<QSpinBox>(f, "cseJour")->setValue(5);
        }
        const Parametres p = Parametres::lire(chemins().FichierIni);
        QCOMPARE(p.affichage.tri, ParametresAffichage::Tri::Date);
        QVERIFY(p.affichage.details);
        QVERIFY(p.affichage.erreursSeulement);
        QCOMPARE(p.rapport.Host, QStringLiteral("127.0.0.1"));
        const QByteArray texte = lireFichier(chemins().FichierIni);
        QVERIFY2(texte.contains("[Halvenor_Affichage]"), texte.constData());
        QVERIFY(texte.contains("Tri=Date"));
        QVERIFY(texte.contains("Vue=Details"));
        QVERIFY(texte.contains("Autre=1"));

        m_recuperes = false;
        TFicheRapport f(nullptr, &m_recuperes);
        ouvrir(f);
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QVERIFY(enfant<QCheckBox>(f, "cbErreursSeulement")->isChecked());
        QCOMPARE(enfant<QComboBox>(f, "cbxTri")->currentIndex(), 3);
        QVERIFY(enfant<QRadioButton>(f, "rbDetails")->isChecked());
        QVERIFY(enfant<QTreeView>(f, "lstRapportDetails")->isVisible());
        QCOMPARE(enfant<QSpinBox>(f, "cseJour")->value(), 1); // J- is not a kept choice
        QCOMPARE(lignes(f).size(), 15);
        QCOMPARE(lignes(f).first(), QStringLiteral("F31"));
    }
};

HALVENOR_TEST_MAIN(TestFicheRapportAffichage)
#include "test_ficherapport_affichage.moc"
