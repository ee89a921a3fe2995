// Screenshots of every window, taken from the real windows over the demo's program directory
// (the demo's FTP server must be running). Usage: halvenor-captures DEMO_DIR OUT_DIR

#include "core/base/Chemins.h"
#include "gui/principale/FicheHalvenor.h"
#include "gui/Demarrage.h"
#include "gui/parametres/FicheExclureFnsListe.h"
#include "gui/parametres/FicheFtpParam.h"
#include "gui/parametres/FicheHalvenorConfig.h"
#include "gui/rapports/FicheRapport.h"
#include "gui/rapports/FicheRapportHistorique.h"
#include "gui/Dialogues.h"
#include "gui/Tache.h"
#include "core/xml/NativeXml.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QItemSelectionModel>
#include <QLibraryInfo>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QRadioButton>
#include <QPushButton>
#include <QTest>
#include <QTranslator>


#include <cstdio>

namespace {

// Nothing may block: messages go to stderr.
class DialoguesConsole : public Dialogues
{
public:
    void message(QWidget *, const QString &t) override { std::fprintf(stderr, "message : %s\n", qPrintable(t)); }
    void erreur(QWidget *, const QString &t) override { std::fprintf(stderr, "erreur : %s\n", qPrintable(t)); }
    bool question(QWidget *, const QString &t) override
    {
        std::fprintf(stderr, "question : %s\n", qPrintable(t));
        return false;
    }
    std::optional<QString> choisirDossier(QWidget *, const QString &, const QString &) override { return {}; }
    std::optional<QString> enregistrerSous(QWidget *, const QString &, const QString &, const QString &) override
    {
        return {};
    }
};

// The window's tasks (generation, send, refresh, load) run on their own: waits for their end.
void attendre(QWidget &w)
{
    const auto enCours = [&w] {
        for (const Tache *t : w.findChildren<Tache *>())
            if (t->enCours())
                return true;
        return false;
    };
    while (enCours())
        QTest::qWait(10);
}

void capturer(QWidget &w, const QString &fichier)
{
    w.show();
    attendre(w);
    QTest::qWait(50); // painted
    if (!w.grab().save(fichier))
        qFatal("impossible d'enregistrer %s", qPrintable(fichier));
    std::printf("%s\n", qPrintable(fichier));
}

void cliquer(QWidget &w, const char *nom)
{
    auto *b = w.findChild<QPushButton *>(QLatin1String(nom));
    if (!b)
        qFatal("bouton %s introuvable", nom);
    QTest::mouseClick(b, Qt::LeftButton);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "Usage : halvenor-captures DEMO_DIR OUT_DIR\n");
        return 2;
    }
    demarrer(app, QString::fromLocal8Bit(argv[1]));
    const QString sortie = QDir(QString::fromLocal8Bit(argv[2])).absolutePath() + u'/';
    QDir().mkpath(sortie);
    DialoguesConsole console;
    definirDialogues(&console);

    TFicheHalvenor principale;
    principale.show();
    for (const char *rangee : {"RA", "Perso", "Message", "Document"}) {
        cliquer(principale, QByteArray(QByteArray("btnGenerer") + rangee).constData());
        attendre(principale);
        cliquer(principale, QByteArray(QByteArray("btnEnvoi") + rangee).constData());
        attendre(principale);
    }
    capturer(principale, sortie + QStringLiteral("fenetre-principale.png"));

    {
        TFicheRapport rapport(&principale, &principale.RapportsRecuperes);
        rapport.resize(900, 640);
        attendre(rapport);
        auto *liste = rapport.findChild<QListView *>(QStringLiteral("lstRapport"));
        if (liste) {
            const QAbstractItemModel *m = liste->model();
            const auto trouves = m->match(m->index(0, 0), Qt::DisplayRole, QStringLiteral("0404"), 1, Qt::MatchExactly);
            if (!trouves.isEmpty())
                liste->setCurrentIndex(trouves.first());
        }
        capturer(rapport, sortie + QStringLiteral("rapport.png"));
        // The red ones at once: details, errors only; then one franchisee by its number.
        rapport.findChild<QRadioButton *>(QStringLiteral("rbDetails"))->click();
        rapport.findChild<QCheckBox *>(QStringLiteral("cbErreursSeulement"))->click();
        rapport.findChild<QComboBox *>(QStringLiteral("cbxTri"))->setCurrentIndex(1);
        capturer(rapport, sortie + QStringLiteral("rapport-erreurs.png"));
        rapport.findChild<QCheckBox *>(QStringLiteral("cbErreursSeulement"))->click();
        rapport.findChild<QLineEdit *>(QStringLiteral("edtFiltre"))->setText(QStringLiteral("verrouillée"));
        capturer(rapport, sortie + QStringLiteral("rapport-recherche.png"));
        // Back to the defaults, for whoever opens the demo next.
        rapport.findChild<QLineEdit *>(QStringLiteral("edtFiltre"))->clear();
        rapport.findChild<QComboBox *>(QStringLiteral("cbxTri"))->setCurrentIndex(0);
        rapport.findChild<QRadioButton *>(QStringLiteral("rbIcones"))->click();

        TNativeXMLDocument historique(QStringLiteral("MajAuto"));
        historique.LoadFromFile(chemins().RepertoireProgramme + QStringLiteral("ftp/rapports/Rapport/Historique/0404.xml"));
        TFicheRapportHistorique fenetre(&rapport, QStringLiteral("0404"), historique);
        fenetre.resize(900, 420);
        capturer(fenetre, sortie + QStringLiteral("historique.png"));
    }
    {
        TFicheHalvenorConfig config(&principale);
        capturer(config, sortie + QStringLiteral("parametrage.png"));
        TFicheFtpParam ftp(&config, QuelCompte::Publication, chemins().FichierIni);
        capturer(ftp, sortie + QStringLiteral("parametrage-ftp.png"));
        TFicheExclureFnsListe exclusion(&config);
        capturer(exclusion, sortie + QStringLiteral("exclusion-fournisseurs.png"));
    }
    definirDialogues(nullptr);
    return 0;
}
