#include "gui/principale/FicheHalvenor.h"
#include "ui_FicheHalvenor.h"

#include "core/base/Chemins.h"
#include "core/base/Erreurs.h"
#include "core/config/Parametres.h"
#include "core/export/Generateurs.h"
#include "core/publish/Envoi.h"
#include "core/publish/ClientDistant.h"
#include "gui/Action.h"
#include "gui/CurseurOccupe.h"
#include "gui/Dialogues.h"
#include "gui/FicheMotDePasse.h"
#include "gui/SuiviProgression.h"
#include "gui/Tache.h"
#include "gui/parametres/FicheHalvenorConfig.h"
#include "gui/rapports/FicheRapport.h"

#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QScopeGuard>
#include <QScreen>

TFicheHalvenor::TFicheHalvenor(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      ui(new Ui::TFicheHalvenor),
      m_tables(chemins().RepertoireProgramme),
      m_tache(new Tache(this))
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
    connect(ui->btnAnnuler, &QPushButton::clicked, this, &TFicheHalvenor::btnAnnulerClick);
    connect(m_tache, &Tache::demarree, ui->btnAnnuler, &QWidget::show);
    connect(m_tache, &Tache::terminee, this, &TFicheHalvenor::actionTerminee);

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

TFicheHalvenor::~TFicheHalvenor()
{
    m_tache->arreter(); // a generation reads m_tables
}

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
    // The row's controls are named after the kind: btnGenererRA, pgbGenererRA, imgEnvoiRANo...
    const QString k = QString::fromLatin1(description(g).controles);
    const auto nom = [&k](const char *prefixe, const char *suffixe = "") -> QString {
        return QLatin1String(prefixe) + k + QLatin1String(suffixe);
    };
    return {findChild<QPushButton *>(nom("btnGenerer")),       findChild<QPushButton *>(nom("btnEnvoi")),
            findChild<QProgressBar *>(nom("pgbGenerer")),      findChild<QLabel *>(nom("imgGenerer", "Yes")),
            findChild<QLabel *>(nom("imgGenerer", "No")),      findChild<QLabel *>(nom("imgEnvoi", "Yes")),
            findChild<QLabel *>(nom("imgEnvoi", "No"))};
}

void TFicheHalvenor::generer(Genre g)
{
    if (m_tache->signalerSiOccupe())
        return;
    const Rangee r = rangee(g);
    const Chemins c = chemins();
    // The settings as they are at the click, read once; an unreadable file fails the row.
    QStringList exclus;
    const Resultat lecture = resultatDe(nullptr, [&](Messages &) {
        exclus = Parametres::lire(c.FichierIni).fournisseursExclus;
        return true;
    });
    if (!lecture.reussi()) {
        r.genererOui->hide();
        r.envoiOui->hide();
        r.envoiNon->hide();
        r.genererNon->show();
        presenterResultat(this, lecture);
        return;
    }
    auto progression = std::make_shared<ProgressionPartagee>();
    auto *suivi = new SuiviProgression(r.progression, progression);
    const QStringList memorises = motsDePasseMemorises();
    m_tache->lancer(
        [this, g, c, exclus, progression, memorises](Messages &, const Annulation &annulation) {
            // A protected table that no known password opens: the user is asked, over this window.
            m_tables.definirDemandeMotDePasse(demandeMotDePasse(this, annulation, memorises), memorises);
            const auto sansDemande = qScopeGuard([this] { m_tables.definirDemandeMotDePasse({}); });
            ::generer(g, m_tables, ContexteExport{c.RepertoirePreparer, exclus, *progression, &annulation});
            return true;
        },
        [this, r, suivi](const Resultat &resultat) {
            suivi->arreter();
            suivi->deleteLater();
            // A cancelled row shows neither: the file kept its previous version. The cross
            // comes before the error dialog, which says what failed.
            if (resultat.reussi())
                r.genererOui->show();
            else if (!resultat.annule())
                r.genererNon->show();
            presenterResultat(this, resultat);
        });
    r.genererOui->hide();
    r.genererNon->hide();
    r.envoiOui->hide();
    r.envoiNon->hide();
}

void TFicheHalvenor::envoyer(Genre g)
{
    if (m_tache->signalerSiOccupe())
        return;
    const Rangee r = rangee(g);
    r.envoiOui->hide();
    r.envoiNon->hide();
    const EtatConfiguration config = m_config;
    if (!repertoirePublicationValide(config.mode, config.CheminURI)) {
        r.envoiNon->show();
        return;
    }
    const Chemins c = chemins();
    // The publishing account as it is at the click, for every file of the row.
    CompteFtp compte;
    const Resultat lecture = resultatDe(nullptr, [&](Messages &) {
        if (config.mode == ModeEnvoi::FTP)
            compte = Parametres::lire(c.FichierIni).publication;
        return true;
    });
    if (!lecture.reussi()) {
        presenterResultat(this, lecture);
        r.envoiNon->show();
        return;
    }
    // The hourglass for the length of the send, as the window always showed it.
    auto curseur = std::make_shared<CurseurOccupe>();
    m_tache->lancer(
        [g, c, config, compte](Messages &messages, const Annulation &annulation) {
            const std::unique_ptr<ClientDistant> client = clientPourCompte(compte);
            client->setAnnulation(&annulation);
            SessionFtp session(*client, compte, c.RepertoireProgramme, messages);
            Envoi envoi(session, config.mode, config.CheminURI, messages);
            envoi.definirAnnulation(&annulation);
            return envoi.envoyerFichiers(g, c.RepertoirePreparer);
        },
        [this, r, curseur](const Resultat &resultat) mutable {
            curseur.reset();
            // The messages came during the send, the row's indicator after it.
            presenterResultat(this, resultat);
            if (resultat.reussi())
                r.envoiOui->show();
            else if (!resultat.annule())
                r.envoiNon->show();
        });
}

void TFicheHalvenor::btnAnnulerClick()
{
    m_tache->annuler();
}

void TFicheHalvenor::actionTerminee()
{
    ui->btnAnnuler->hide();
    if (m_fermerApres) {
        m_fermerApres = false;
        close();
    }
}

void TFicheHalvenor::btnConfigClick()
{
    if (m_tache->signalerSiOccupe())
        return;
    if (executerAction(this, [this] {
            TFicheHalvenorConfig fiche(this);
            fiche.exec();
        }))
        executerAction(this, [this] { AppliquerConfiguration(chemins().FichierIni); });
}

void TFicheHalvenor::btnRapportClick()
{
    if (m_tache->signalerSiOccupe())
        return;
    executerAction(this, [this] {
        TFicheRapport fiche(this, &RapportsRecuperes);
        fiche.exec();
    });
}

void TFicheHalvenor::closeEvent(QCloseEvent *event)
{
    // The running task still uses the tables: it is cancelled, and the window closes once
    // it has ended (within a second).
    if (m_tache->enCours()) {
        m_tache->signalerSiOccupe();
        m_tache->annuler();
        m_fermerApres = true;
        event->ignore();
        return;
    }
    // A window opened from here (the reports) goes with the program.
    for (QDialog *fiche : findChildren<QDialog *>()) {
        if (fiche->isVisible())
            fiche->reject();
    }
    event->accept();
}
