#include "core/base/Chemins.h"
#include "core/base/Horloge.h"
#include "gui/rapports/FicheRapport.h"
#include "gui/rapports/FicheRapportHistorique.h"
#include "gui/Action.h"

#include "DialoguesEnregistres.h"
#include "FtpServeur.h"
#include "OutilsGui.h"
#include "OutilsTests.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <memory>

namespace {

const QDateTime Maintenant(QDate(2013, 3, 25), QTime(10, 0));

QByteArray rapportXml(const QString &date, const QString &etatHvn = QStringLiteral("0"),
                      const QString &message = QString())
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><MajAuto Date=\"%1\">"
                          "<General><Etat Etat=\"0\"/><Messages/></General>"
                          "<HVN><Etat Etat=\"%2\"/><Messages>%3</Messages></HVN>"
                          "<Zentrave><Etat Etat=\"0\"/><Messages/></Zentrave></MajAuto>")
        .arg(date, etatHvn, message.isEmpty() ? QString() : QStringLiteral("<Message>") + message + QStringLiteral("</Message>"))
        .toUtf8();
}

} // namespace

class TestFicheRapport : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FtpServeur> m_ftp;
    std::unique_ptr<DialoguesEnregistres> m_dialogues;
    HorlogeFixe m_horloge{Maintenant};
    bool m_recuperes = false;
    QString m_serveur;

    static QModelIndex ligne(QWidget &w, const QString &identifiant)
    {
        const QAbstractItemModel *m = enfant<QListView>(w, QStringLiteral("lstRapport"))->model();
        const auto trouves = m->match(m->index(0, 0), Qt::DisplayRole, identifiant, 1, Qt::MatchExactly);
        return trouves.isEmpty() ? QModelIndex() : trouves.first();
    }

    // The lines as the views show them, in their order.
    static QStringList lignes(QWidget &w)
    {
        QStringList r;
        const QAbstractItemModel *m = enfant<QListView>(w, QStringLiteral("lstRapport"))->model();
        for (int i = 0; i < m->rowCount(); ++i)
            r << m->index(i, 0).data().toString()
                    + (m->index(i, 0).data(TFicheRapport::RoleImage).toInt() == 1 ? QStringLiteral(":rouge")
                                                                                   : QStringLiteral(":vert"));
        return r;
    }

    // A file of the report account's folder, on the server side.
    QString surServeur(const char *relatif) const
    {
        return m_serveur + QStringLiteral("Rapport/") + QLatin1String(relatif);
    }

    void ecrireIni(const QString &motDePasse)
    {
        QVERIFY(ecrireFichier(chemins().FichierIni, m_ftp->sectionRapport(motDePasse)));
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_serveur = m_dir->filePath(QStringLiteral("ftp/"));
        QDir().mkpath(m_serveur + QStringLiteral("Rapport/Historique"));
        definirChemins(Chemins::depuisRepertoire(m_dir->filePath(QStringLiteral("programme"))));
        QDir().mkpath(chemins().RepertoireProgramme);
        definirHorloge(&m_horloge);
        // LIST keeps the lines in name order.
        m_ftp = std::make_unique<FtpServeur>(QList<FtpServeur::Compte>{FtpServeur::compteRapport(m_serveur)}, false);

        QVERIFY(ecrireFichier(surServeur("0421.xml"), rapportXml(QStringLiteral("25/03/2013 06:30:00"))));
        QVERIFY(ecrireFichier(surServeur("0422.xml"), rapportXml(QStringLiteral("22/03/2013 06:30:00"))));
        QVERIFY(ecrireFichier(surServeur("0423.xml"), rapportXml(QStringLiteral("25/03/2013"), QStringLiteral("1"),
                                                                 QStringLiteral("Base; verrouillée"))));
        const QByteArray historique =
            "<MajAuto><Item Date=\"24/03/2013 06:30:00\"><General><Etat Etat=\"0\"/><Messages/></General>"
            "<HVN><Etat Etat=\"0\"/><Messages/></HVN><Zentrave><Etat Etat=\"0\"/><Messages/></Zentrave></Item>"
            "<Item Date=\"25/03/2013 06:30:00\"><General><Etat Etat=\"2\"/><Messages><Message>x</Message></Messages>"
            "</General><HVN><Etat Etat=\"0\"/><Messages/></HVN><Zentrave><Etat Etat=\"0\"/><Messages/></Zentrave></Item>"
            "</MajAuto>";
        QVERIFY(ecrireFichier(surServeur("Historique/0421.xml"), historique));
        QVERIFY(ecrireFichier(surServeur("Historique/0423.xml"), "<MajAuto><Item"));
    }

    void init()
    {
        m_dialogues = std::make_unique<DialoguesEnregistres>();
        m_recuperes = false; // each test is a run of its own
        ecrireIni(QStringLiteral("secret"));
    }
    void cleanup() { m_dialogues.reset(); }
    void cleanupTestCase() { definirHorloge(nullptr); }

    // A server whose every reply takes 50 ms, for the tests of a refresh in progress.
    std::unique_ptr<FtpServeur> serveurLent()
    {
        FtpServeur::Options options;
        options.mlsd = false;
        options.delaiReponse = 0.05;
        auto lent = std::make_unique<FtpServeur>(QList<FtpServeur::Compte>{FtpServeur::compteRapport(m_serveur)}, options);
        ecrireFichier(chemins().FichierIni, lent->sectionRapport());
        return lent;
    }

    void fenetreVivantePendantUnActualiserLent()
    {
        const auto lent = serveurLent();
        TFicheRapport f(nullptr, &m_recuperes);
        QTRY_VERIFY(!tacheEnCours(f));
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        struct Peintures : QObject
        {
            int n = 0;
            bool occupe = false;
            bool eventFilter(QObject *, QEvent *e) override
            {
                if (e->type() == QEvent::Paint) {
                    ++n;
                    const QCursor *c = QGuiApplication::overrideCursor();
                    occupe = occupe || (c && c->shape() == Qt::WaitCursor);
                }
                return false;
            }
        } peintures;
        enfant<QListView>(f, QStringLiteral("lstRapport"))->viewport()->installEventFilter(&peintures);
        auto *actualiser = enfant<QPushButton>(f, QStringLiteral("btnActualiser"));
        bool secondRefuse = false;
        QTimer::singleShot(150, &f, [&] {
            secondRefuse = tacheEnCours(f);
            actualiser->click(); // refused: it must not run inside the first
        });
        QTest::mouseClick(actualiser, Qt::LeftButton);
        QTRY_VERIFY(!tacheEnCours(f));
        QVERIFY(secondRefuse);
        QVERIFY(peintures.n > 0);
        QVERIFY(peintures.occupe);
        QCOMPARE(lignes(f).size(), 3);
        QVERIFY(m_dialogues->erreurs.isEmpty());
        QVERIFY(m_dialogues->messages.isEmpty());
    }

    void fermerPendantUnActualiserAbandonneProprement()
    {
        const auto lent = serveurLent();
        TFicheRapport f(nullptr, &m_recuperes);
        QTRY_VERIFY(!tacheEnCours(f));
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QTimer::singleShot(150, &f, [&f] { f.close(); });
        QTest::mouseClick(enfant<QPushButton>(f, QStringLiteral("btnActualiser")), Qt::LeftButton);
        QTRY_VERIFY(!tacheEnCours(f));
        QVERIFY(m_dialogues->erreurs.isEmpty());
        QVERIFY(m_dialogues->messages.isEmpty());
        QVERIFY(!tacheEnCours(f));
        QTRY_VERIFY(!f.isVisible());
    }

    void controlesEtFeux()
    {
        TFicheRapport f(nullptr, &m_recuperes);
        QTRY_VERIFY(!tacheEnCours(f));
        QVERIFY(m_dialogues->erreurs.isEmpty());
        QVERIFY(m_dialogues->messages.isEmpty());
        QCOMPARE(f.windowTitle(), QStringLiteral("Rapport de la MajAuto"));
        QCOMPARE(enfant<QLabel>(f, QStringLiteral("Label1"))->text(), QStringLiteral("Rapport avec J-"));
        auto *jour = enfant<QSpinBox>(f, QStringLiteral("cseJour"));
        QCOMPARE(jour->minimum(), 1);
        QCOMPARE(jour->maximum(), 31);
        QCOMPARE(jour->value(), 1);
        auto *actualiser = enfant<QPushButton>(f, QStringLiteral("btnActualiser"));
        QCOMPARE(actualiser->text(), QStringLiteral("Actualiser"));
        QVERIFY(!actualiser->icon().isNull());
        auto *historique = enfant<QPushButton>(f, QStringLiteral("btnHistorique"));
        QCOMPARE(historique->text(), QStringLiteral("Voir l'historique"));
        QVERIFY(historique->font().bold());
        QVERIFY(!historique->isEnabled());
        auto *liste = enfant<QListView>(f, QStringLiteral("lstRapport"));
        QCOMPARE(liste->viewMode(), QListView::IconMode);
        QCOMPARE(liste->iconSize(), QSize(48, 48));
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);

        QCOMPARE(lignes(f), (QStringList{QStringLiteral("0421:vert"), QStringLiteral("0422:rouge"), QStringLiteral("0423:rouge")}));
        QCOMPARE(enfant<QLabel>(f, QStringLiteral("lblResume"))->text(), QStringLiteral("3 franchisés : 1 à jour, 2 en erreur"));
        QVERIFY(m_recuperes);
        // The lights really are two different pictures.
        const QImage vert = ligne(f, QStringLiteral("0421")).data(Qt::DecorationRole).value<QIcon>().pixmap(48, 48).toImage();
        const QImage rouge = ligne(f, QStringLiteral("0422")).data(Qt::DecorationRole).value<QIcon>().pixmap(48, 48).toImage();
        QVERIFY(!vert.isNull());
        QVERIFY(vert != rouge);
        QVERIFY(vert.pixelColor(24, 30).green() > vert.pixelColor(24, 30).red());
        QVERIFY(rouge.pixelColor(24, 30).red() > rouge.pixelColor(24, 30).green());
    }

    void selectionEtTexte()
    {
        TFicheRapport f(nullptr, &m_recuperes);
        QTRY_VERIFY(!tacheEnCours(f));
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        auto *liste = enfant<QListView>(f, QStringLiteral("lstRapport"));
        auto *texte = enfant<QTextEdit>(f, QStringLiteral("reMessage"));
        auto *historique = enfant<QPushButton>(f, QStringLiteral("btnHistorique"));

        const QModelIndex l0423 = ligne(f, QStringLiteral("0423"));
        QTest::mouseClick(liste->viewport(), Qt::LeftButton, {}, liste->visualRect(l0423).center());
        QVERIFY(liste->selectionModel()->isSelected(l0423));
        QVERIFY(historique->isEnabled());
        QCOMPARE(f.FranchiseSelectionne(), QStringLiteral("0423"));
        QCOMPARE(texte->toPlainText(), QStringLiteral("Derniere mise à jour automatique effectuée le 25/03/2013\n"
                                                      "[HVN] Base; verrouillée\n"));

        liste->setCurrentIndex(ligne(f, QStringLiteral("0421")));
        QCOMPARE(texte->toPlainText(), QStringLiteral("Derniere mise à jour automatique effectuée le 25/03/2013 06:30:00\n"
                                                      "Mise à jour automatique installée."));

        // A click in an empty area deselects; the text stays.
        const QPoint vide(liste->viewport()->width() - 3, liste->viewport()->height() - 3);
        QVERIFY(!liste->indexAt(vide).isValid());
        QTest::mouseClick(liste->viewport(), Qt::LeftButton, {}, vide);
        QVERIFY(!liste->selectionModel()->hasSelection());
        QVERIFY(!historique->isEnabled());
        QVERIFY(f.FranchiseSelectionne().isEmpty());
        QVERIFY(texte->toPlainText().endsWith(QStringLiteral("Mise à jour automatique installée.")));
    }

    void joursEtActualiserSansNouveauTelechargement()
    {
        TFicheRapport f(nullptr, &m_recuperes);
        QTRY_VERIFY(!tacheEnCours(f));
        QCOMPARE(lignes(f).at(1), QStringLiteral("0422:rouge"));
        // Changed on the server after the first refresh of the run: not downloaded again.
        QVERIFY(ecrireFichier(surServeur("0421.xml"), rapportXml(QStringLiteral("25/03/2013 06:30:00"), QStringLiteral("1"),
                                                                 QStringLiteral("nouveau"))));
        enfant<QListView>(f, QStringLiteral("lstRapport"))->setCurrentIndex(ligne(f, QStringLiteral("0421")));
        enfant<QSpinBox>(f, QStringLiteral("cseJour"))->setValue(31);
        QCOMPARE(lignes(f).at(1), QStringLiteral("0422:rouge")); // the spin edit alone recomputes nothing
        QTest::mouseClick(enfant<QPushButton>(f, QStringLiteral("btnActualiser")), Qt::LeftButton);
        QTRY_VERIFY(!tacheEnCours(f));
        QCOMPARE(lignes(f), (QStringList{QStringLiteral("0421:vert"), QStringLiteral("0422:vert"), QStringLiteral("0423:rouge")}));
        QCOMPARE(enfant<QLabel>(f, QStringLiteral("lblResume"))->text(), QStringLiteral("3 franchisés : 2 à jour, 1 en erreur"));
        QVERIFY(!enfant<QPushButton>(f, QStringLiteral("btnHistorique"))->isEnabled());
        QVERIFY(ecrireFichier(surServeur("0421.xml"), rapportXml(QStringLiteral("25/03/2013 06:30:00"))));
    }

    void connexionRefusee()
    {
        ecrireIni(QStringLiteral("faux"));
        bool recuperes = false;
        TFicheRapport f(nullptr, &recuperes);
        QTRY_VERIFY(!tacheEnCours(f));
        QCOMPARE(enfant<QListView>(f, QStringLiteral("lstRapport"))->model()->rowCount(), 0);
        QVERIFY(enfant<QLabel>(f, QStringLiteral("lblResume"))->text().isEmpty());
        QVERIFY(!recuperes);
        QCOMPARE(m_dialogues->messages.size(), 1);
        QVERIFY(m_dialogues->messages[0].startsWith(QStringLiteral("Impossible de se connecter au serveur FTP. Erreur ")));
        QVERIFY(m_dialogues->erreurs.isEmpty());
    }

    void dateIllisibleDonneUneLigneRougeSansArreter()
    {
        QVERIFY(ecrireFichier(surServeur("0422.xml"), rapportXml(QStringLiteral("le 22 mars"))));
        bool recuperes = false;
        TFicheRapport f(nullptr, &recuperes);
        QTRY_VERIFY(!tacheEnCours(f));
        QCOMPARE(lignes(f), (QStringList{QStringLiteral("0421:vert"), QStringLiteral("0422:rouge"), QStringLiteral("0423:rouge")}));
        QVERIFY(m_dialogues->erreurs.isEmpty());
        QCOMPARE(f.TexteRapport(ligne(f, QStringLiteral("0422"))),
                 QStringLiteral("Date illisible dans le rapport : ") + chemins().RepertoireRapport + QStringLiteral("0422.xml"));
        QVERIFY(recuperes);
        QCOMPARE(enfant<QLabel>(f, QStringLiteral("lblResume"))->text(), QStringLiteral("3 franchisés : 1 à jour, 2 en erreur"));
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);
        QVERIFY(ecrireFichier(surServeur("0422.xml"), rapportXml(QStringLiteral("22/03/2013 06:30:00"))));
    }

    void voirHistorique()
    {
        TFicheRapport f(nullptr, &m_recuperes);
        QTRY_VERIFY(!tacheEnCours(f));
        auto *liste = enfant<QListView>(f, QStringLiteral("lstRapport"));
        liste->setCurrentIndex(ligne(f, QStringLiteral("0421")));
        QString titre;
        QStringList dates;
        QList<QColor> couleurs;
        quandOuverte<TFicheRapportHistorique>(this, [&](TFicheRapportHistorique &w) {
            titre = w.windowTitle();
            auto *t = enfant<QTableWidget>(w, QStringLiteral("lstRapportHistorique"));
            for (int i = 0; i < t->rowCount(); ++i) {
                dates << t->item(i, 0)->text();
                couleurs << t->item(i, 1)->foreground().color();
            }
            w.reject();
        });
        QTest::mouseClick(enfant<QPushButton>(f, QStringLiteral("btnHistorique")), Qt::LeftButton);
        QTRY_VERIFY(!tacheEnCours(f));
        QCOMPARE(titre, QStringLiteral("Historique pour le franchisé 0421"));
        QCOMPARE(dates, (QStringList{QStringLiteral("24/03/2013"), QStringLiteral("25/03/2013")}));
        QCOMPARE(couleurs.value(1), QColor(255, 0, 0));
        QVERIFY(couleurs.value(0) != QColor(255, 0, 0));
        QVERIFY(m_dialogues->messages.isEmpty());
        QVERIFY(QFile::exists(chemins().RepertoireHistorique + QStringLiteral("0421.xml")));

        liste->setCurrentIndex(ligne(f, QStringLiteral("0422")));
        QTest::mouseClick(enfant<QPushButton>(f, QStringLiteral("btnHistorique")), Qt::LeftButton);
        QTRY_VERIFY(!tacheEnCours(f));
        QCOMPARE(m_dialogues->messages, QStringList{QStringLiteral("Il n'y a pas d'historique pour le franchisé 0422")});

        m_dialogues->vider();
        liste->setCurrentIndex(ligne(f, QStringLiteral("0423")));
        QTest::mouseClick(enfant<QPushButton>(f, QStringLiteral("btnHistorique")), Qt::LeftButton);
        QTRY_VERIFY(!tacheEnCours(f));
        QCOMPARE(m_dialogues->messages,
                 (QStringList{QStringLiteral("Impossible de lire le fichier XML : ") + chemins().RepertoireHistorique
                                  + QStringLiteral("0423.xml"),
                              QStringLiteral("Il n'y a pas d'historique pour le franchisé 0423")}));
        QVERIFY(m_dialogues->erreurs.isEmpty());
    }

    void historiqueAbsentDuServeur()
    {
        TFicheRapport f(nullptr, &m_recuperes);
        QTRY_VERIFY(!tacheEnCours(f));
        enfant<QListView>(f, QStringLiteral("lstRapport"))->setCurrentIndex(ligne(f, QStringLiteral("0421")));
        const QString historique = m_serveur + QStringLiteral("Rapport/Historique");
        const QString cache = m_serveur + QStringLiteral("Historique.cache");
        QVERIFY(QDir().rename(historique, cache));
        QTest::mouseClick(enfant<QPushButton>(f, QStringLiteral("btnHistorique")), Qt::LeftButton);
        QTRY_VERIFY(!tacheEnCours(f));
        QVERIFY(QDir().rename(cache, historique));
        QCOMPARE(m_dialogues->erreurs.size(), 1);
        QVERIFY(m_dialogues->messages.isEmpty());
        // The session left open is reused by the next refresh.
        QTest::mouseClick(enfant<QPushButton>(f, QStringLiteral("btnActualiser")), Qt::LeftButton);
        QTRY_VERIFY(!tacheEnCours(f));
        QCOMPARE(enfant<QListView>(f, QStringLiteral("lstRapport"))->model()->rowCount(), 3);
        QCOMPARE(m_dialogues->erreurs.size(), 1);
    }
};

HALVENOR_TEST_MAIN(TestFicheRapport)
#include "test_ficherapport.moc"
