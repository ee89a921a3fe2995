#include "gui/principale/FicheHalvenor.h"
#include "ui_FicheHalvenor.h"

#include "core/base/Chemins.h"
#include "core/base/Erreurs.h"
#include "gui/parametres/FicheHalvenorConfig.h"
#include "core/export/Generateurs.h"
#include "gui/rapports/FicheRapport.h"
#include "gui/Action.h"
#include "gui/CurseurOccupe.h"
#include "gui/ProgressionBarre.h"


#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>

TFicheHalvenor::TFicheHalvenor(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      ui(new Ui::TFicheHalvenor),
      m_tables(chemins().RepertoireProgramme),
      m_messages(this),
      m_session(IdFTP1, m_messages)
{
    ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/icons/halvenor.svg")));

    const QPixmap oui = QIcon(QStringLiteral(":/icons/oui.svg")).pixmap(16, 16);
    const QPixmap non = QIcon(QStringLiteral(":/icons/non.svg")).pixmap(16, 16);
    for (Genre g : tousLesGenres) {
        const Rangee r = rangee(g);
        r.genererOui->setPixmap(oui);
        r.envoiOui->setPixmap(oui);
        r.genererNon->setPixmap(non);
        r.envoiNon->setPixmap(non);
        // Keep the indicator cells' width while both pictures are hidden.
        for (QLabel *l : {r.genererOui, r.genererNon, r.envoiOui, r.envoiNon}) {
            QSizePolicy sp = l->sizePolicy();
            sp.setRetainSizeWhenHidden(true);
            l->setSizePolicy(sp);
            l->hide();
        }
        r.progression->setRange(0, 1);
        r.progression->setValue(0);
        connect(r.generer, &QPushButton::clicked, this, [this, g] { generer(g); });
        connect(r.envoyer, &QPushButton::clicked, this, [this, g] { envoyer(g); });
    }
    connect(ui->btnConfig, &QPushButton::clicked, this, &TFicheHalvenor::btnConfigClick);
    connect(ui->btnRapport, &QPushButton::clicked, this, &TFicheHalvenor::btnRapportClick);
    connect(ui->btnFermer, &QPushButton::clicked, this, &TFicheHalvenor::btnFermerClick);

    // Enter presses the focused button, as in the dialogs.
    for (QPushButton *bouton : findChildren<QPushButton *>())
        bouton->setAutoDefault(true);

    // The working folder: one level, a failure is not reported.
    QDir().mkdir(chemins().RepertoirePreparer);

    adjustSize();
    if (const QScreen *ecran = screen())
        move(ecran->availableGeometry().center() - rect().center());
    // Placed first, so an error about the file is centred where the window will appear.
    FormCreate();
}

TFicheHalvenor::~TFicheHalvenor() = default;

void TFicheHalvenor::FormCreate()
{
    RapportsRecuperes = false;
    try {
        AppliquerConfiguration(chemins().FichierIni);
    } catch (const std::exception &e) {
        // An unreadable file does not stop the program: it opens as without a file, and the
        // settings windows say why they cannot save.
        dialogues().erreur(this, texteErreur(e) + QStringLiteral("\nHalvenor s'ouvre sans ces réglages : "
                                                                  "aucune ligne n'est active."));
    }
}

void TFicheHalvenor::AppliquerConfiguration(const QString &fichier)
{
    ::AppliquerConfiguration(fichier, m_config);
    for (Genre g : tousLesGenres) {
        const Rangee r = rangee(g);
        r.generer->setEnabled(m_config.actif(g));
        r.envoyer->setEnabled(m_config.actif(g));
    }
}

TFicheHalvenor::Rangee TFicheHalvenor::rangee(Genre g) const
{
    switch (g) {
    case Genre::Remise:
        return {ui->btnGenererRA, ui->btnEnvoiRA, ui->pgbGenererRA, ui->imgGenererRAYes,
                ui->imgGenererRANo, ui->imgEnvoiRAYes, ui->imgEnvoiRANo};
    case Genre::Personnalisation:
        return {ui->btnGenererPerso, ui->btnEnvoiPerso, ui->pgbGenererPerso, ui->imgGenererPersoYes,
                ui->imgGenererPersoNo, ui->imgEnvoiPersoYes, ui->imgEnvoiPersoNo};
    case Genre::Messages:
        return {ui->btnGenererMessage, ui->btnEnvoiMessage, ui->pgbGenererMessage, ui->imgGenererMessageYes,
                ui->imgGenererMessageNo, ui->imgEnvoiMessageYes, ui->imgEnvoiMessageNo};
    case Genre::Documents:
        break;
    }
    return {ui->btnGenererDocument, ui->btnEnvoiDocument, ui->pgbGenererDocument, ui->imgGenererDocumentYes,
            ui->imgGenererDocumentNo, ui->imgEnvoiDocumentYes, ui->imgEnvoiDocumentNo};
}

void TFicheHalvenor::generer(Genre g)
{
    const Rangee r = rangee(g);
    executerAction(this, [&] {
        r.genererOui->hide();
        r.genererNon->hide();
        r.envoiOui->hide();
        r.envoiNon->hide();
        ProgressionBarre progression(r.progression);
        try {
            ::generer(g, m_tables, progression);
        } catch (...) {
            // The error dialog tells what failed; the cross tells the row did not finish.
            r.genererNon->show();
            throw;
        }
        r.genererOui->show();
    });
}

void TFicheHalvenor::envoyer(Genre g)
{
    const Rangee r = rangee(g);
    executerAction(this, [&] {
        r.envoiOui->hide();
        r.envoiNon->hide();
        Envoi envoi(m_session, m_config.mode, m_config.CheminURI, m_messages);
        if (m_config.mode == ModeEnvoi::URI && !envoi.repertoireValide()) {
            r.envoiNon->show();
            return;
        }
        const CurseurOccupe curseur;
        if (g == Genre::Remise)
            QCoreApplication::processEvents(); // draws the cursor before the transfer starts
        bool ok = false;
        try {
            ok = envoi.envoyerFichiers(g);
        } catch (...) {
            r.envoiNon->show();
            throw;
        }
        (ok ? r.envoiOui : r.envoiNon)->show();
    });
}

void TFicheHalvenor::btnConfigClick()
{
    if (ouvrirFenetre(this, [this] {
            TFicheHalvenorConfig fiche(this);
            fiche.exec();
        }))
        executerAction(this, [this] { AppliquerConfiguration(chemins().FichierIni); });
}

void TFicheHalvenor::btnRapportClick()
{
    ouvrirFenetre(this, [this] {
        TFicheRapport fiche(this, &RapportsRecuperes);
        fiche.exec();
    });
}

void TFicheHalvenor::closeEvent(QCloseEvent *event)
{
    // The running action still uses the tables and the connection: a transfer stops at its
    // next wait, any other action runs to its end, and this close comes again after it.
    if (actionEnCours()) {
        signalerSiOccupe(this);
        fermetureDifferee(this);
        event->ignore();
        return;
    }
    // A window opened from here (the reports) goes with the program.
    for (QDialog *fiche : findChildren<QDialog *>()) {
        if (fiche->isVisible())
            fiche->reject();
    }
    DeconnexionFTP();
    event->accept();
}
