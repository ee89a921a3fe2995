#include "core/base/Horloge.h"
#include "gui/rapports/FicheRapportHistorique.h"
#include "gui/rapports/FriseHistorique.h"
#include "core/reports/RapportMajAuto.h"

#include "DialoguesEnregistres.h"
#include "OutilsGui.h"
#include "OutilsTests.h"

#include <QCheckBox>
#include <QFile>
#include <QToolTip>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

QString item(const QString &date, const QString &general, const QString &messages = QString())
{
    return QStringLiteral("<Item Date=\"%1\"><General><Etat Etat=\"%2\"/><Messages>%3</Messages></General>"
                          "<HVN><Etat Etat=\"0\"/><Messages/></HVN><Zentrave><Etat Etat=\"0\"/><Messages/></Zentrave></Item>")
        .arg(date, general, messages);
}

} // namespace

class TestFicheRapportHistorique : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<DialoguesEnregistres> m_dialogues;

    // A history document loaded from a real file, as the report window hands it over.
    std::unique_ptr<TNativeXMLDocument> historique(const QString &items)
    {
        const QString chemin = m_dir->filePath(QStringLiteral("historique.xml"));
        const QString xml =
            QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><MajAuto>") + items + QStringLiteral("</MajAuto>");
        if (!ecrireFichier(chemin, xml.toUtf8()))
            qFatal("cannot write %s", qPrintable(chemin));
        auto doc = std::make_unique<TNativeXMLDocument>(RacineMajAuto);
        doc->LoadFromFile(chemin);
        return doc;
    }

    QString deuxPassages() const
    {
        return item(QStringLiteral("24/03/2013 06:30:00"), QStringLiteral("0"))
            + item(QStringLiteral("25/03/2013 18:05:00"), QStringLiteral("1"),
                   QStringLiteral("<Message>Disque plein; 2 Go</Message><Message>Réessayer</Message>"));
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_dialogues = std::make_unique<DialoguesEnregistres>();
    }
    void cleanup()
    {
        m_dialogues.reset();
        m_dir.reset();
    }

    void lignesEtRouge()
    {
        const auto doc = historique(deuxPassages());
        TFicheRapportHistorique f(nullptr, QStringLiteral("0421"), *doc);
        QCOMPARE(f.windowTitle(), QStringLiteral("Historique pour le franchisé 0421"));
        auto *t = enfant<QTableWidget>(f, QStringLiteral("lstRapportHistorique"));
        QCOMPARE(t->columnCount(), 2);
        QCOMPARE(t->horizontalHeaderItem(0)->text(), QStringLiteral("Date"));
        QCOMPARE(t->horizontalHeaderItem(1)->text(), QStringLiteral("Etat"));
        QCOMPARE(t->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(t->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(enfant<QPushButton>(f, QStringLiteral("Button1"))->text(), QStringLiteral("Exporter"));

        QCOMPARE(t->rowCount(), 2);
        QCOMPARE(t->item(0, 0)->text(), QStringLiteral("24/03/2013"));
        QCOMPARE(t->item(0, 1)->text(), QStringLiteral("Mise à jour automatique installée."));
        QCOMPARE(t->item(1, 0)->text(), QStringLiteral("25/03/2013"));
        QCOMPARE(t->item(1, 1)->text(), QStringLiteral("[General] Disque plein; 2 Go\n[General] Réessayer\n"));
        for (int c = 0; c < 2; ++c) {
            QCOMPARE(t->item(1, c)->foreground().color(), QColor(255, 0, 0));
            QCOMPARE(t->item(0, c)->data(Qt::ForegroundRole), QVariant());
        }
        QCOMPARE(f.ErreursParLigne(), (std::map<int, bool>{{0, false}, {1, true}}));
        QVERIFY(m_dialogues->erreurs.isEmpty());
    }

    void exportCsv()
    {
        const auto doc = historique(deuxPassages());
        TFicheRapportHistorique f(nullptr, QStringLiteral("0421"), *doc);
        const QString csv = m_dir->filePath(QStringLiteral("export.csv"));
        m_dialogues->fichiers.push_back(csv);
        QTest::mouseClick(enfant<QPushButton>(f, QStringLiteral("Button1")), Qt::LeftButton);
        QCOMPARE(m_dialogues->titresEnregistrer, QStringList{QStringLiteral("Export rapport MajAuto historique")});
        QCOMPARE(m_dialogues->filtresEnregistrer, QStringList{QStringLiteral("Fichier csv (*.csv)")});
        QCOMPARE(m_dialogues->suffixesEnregistrer, QStringList{QStringLiteral("csv")});
        QCOMPARE(lireFichier(csv), QByteArray("24/03/2013;Mise \xe0 jour automatique install\xe9" "e.;\r\n"
                                              "25/03/2013;[General] Disque plein; 2 Go\n[General] R\xe9" "essayer\n;\r\n"));
        QVERIFY(m_dialogues->erreurs.isEmpty());

        // Cancelled: nothing written, the previous file stays.
        QFile::remove(csv);
        QTest::mouseClick(enfant<QPushButton>(f, QStringLiteral("Button1")), Qt::LeftButton);
        QVERIFY(!QFile::exists(csv));

        // A folder that does not exist: the standard error dialog.
        m_dialogues->fichiers.push_back(m_dir->filePath(QStringLiteral("absent/export.csv")));
        QTest::mouseClick(enfant<QPushButton>(f, QStringLiteral("Button1")), Qt::LeftButton);
        QCOMPARE(m_dialogues->erreurs.size(), 1);
    }

    void historiqueVide()
    {
        const auto doc = historique(QString());
        TFicheRapportHistorique f(nullptr, QStringLiteral("7"), *doc);
        QCOMPARE(enfant<QTableWidget>(f, QStringLiteral("lstRapportHistorique"))->rowCount(), 0);
        const QString csv = m_dir->filePath(QStringLiteral("vide.csv"));
        m_dialogues->fichiers.push_back(csv);
        f.Button1Click();
        QVERIFY(QFile::exists(csv));
        QCOMPARE(lireFichier(csv), QByteArray());
    }

    void dateIllisibleArreteLeRemplissage()
    {
        const auto doc = historique(item(QStringLiteral("24/03/2013"), QStringLiteral("0"))
                                    + item(QStringLiteral("hier"), QStringLiteral("0"))
                                    + item(QStringLiteral("25/03/2013"), QStringLiteral("0")));
        TFicheRapportHistorique f(nullptr, QStringLiteral("0421"), *doc);
        QCOMPARE(enfant<QTableWidget>(f, QStringLiteral("lstRapportHistorique"))->rowCount(), 1);
        QCOMPARE(m_dialogues->erreurs.size(), 1);
        QVERIFY(m_dialogues->erreurs[0].contains(QStringLiteral("hier")));
    }

    void frise()
    {
        HorlogeFixe horloge(QDateTime(QDate(2013, 3, 25), QTime(20, 0)));
        definirHorloge(&horloge);
        // A run 200 days ago, then 24/03 green and 25/03 red; nothing in between.
        const auto doc = historique(item(QStringLiteral("06/09/2012 06:30:00"), QStringLiteral("0")) + deuxPassages());
        TFicheRapportHistorique f(nullptr, QStringLiteral("0421"), *doc);
        f.resize(900, 420);
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        auto *frise = enfant<FriseHistorique>(f, "friseHistorique");
        auto *tout = enfant<QCheckBox>(f, "cbToutHistorique");
        auto *t = enfant<QTableWidget>(f, "lstRapportHistorique");
        QCOMPARE(frise->dernierJour(), QDate(2013, 3, 25));
        QCOMPARE(frise->premierJour(), QDate(2013, 3, 25).addDays(-89));
        QVERIFY(frise->rectMarque(0).isEmpty()); // older than 90 days
        const QRect vert = frise->rectMarque(1);
        const QRect rouge = frise->rectMarque(2);
        QVERIFY(!vert.isEmpty() && !rouge.isEmpty());
        QVERIFY(vert.right() < rouge.left());
        const QImage image = frise->grab().toImage();
        const QColor cVert = image.pixelColor(vert.center());
        const QColor cRouge = image.pixelColor(rouge.center());
        QVERIFY(cVert.green() > cVert.red());
        QCOMPARE(cRouge, QColor(255, 0, 0));
        // A day without a run is a gap: the background, neither colour.
        const QColor vide = image.pixelColor(vert.left() - vert.width() * 3, vert.center().y());
        QVERIFY(vide != cVert && vide != cRouge);

        // Hovering a mark tells its date and text; a click selects its line.
        QHelpEvent survol(QEvent::ToolTip, rouge.center(), frise->mapToGlobal(rouge.center()));
        QApplication::sendEvent(frise, &survol);
        QTRY_VERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), QStringLiteral("25/03/2013 18:05:00\n[General] Disque plein; 2 Go\n[General] Réessayer"));
        QToolTip::hideText();
        QTest::mouseClick(frise, Qt::LeftButton, {}, vert.center());
        QCOMPARE(t->selectionModel()->selectedRows().size(), 1);
        QCOMPARE(t->selectionModel()->selectedRows().first().row(), 1);

        tout->click();
        QCOMPARE(frise->premierJour(), QDate(2012, 9, 6));
        QVERIFY(!frise->rectMarque(0).isEmpty());
        QTest::mouseClick(frise, Qt::LeftButton, {}, frise->rectMarque(0).center());
        QCOMPARE(t->selectionModel()->selectedRows().first().row(), 0);
        definirHorloge(nullptr);
    }
};

HALVENOR_TEST_MAIN(TestFicheRapportHistorique)
#include "test_ficherapporthistorique.moc"
