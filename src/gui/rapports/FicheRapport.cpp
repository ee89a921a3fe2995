#include "gui/rapports/FicheRapport.h"
#include "ui_FicheRapport.h"

#include "core/base/Chemins.h"
#include "core/base/Erreurs.h"
#include "core/reports/Supervision.h"
#include "gui/rapports/FicheRapportHistorique.h"
#include "gui/Action.h"
#include "gui/CurseurOccupe.h"
#include "gui/Dialogues.h"
#include "gui/Tache.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QShortcut>

TFicheRapport::TFicheRapport(QWidget *owner, bool *rapportsRecuperes)
    : QDialog(owner),
      ui(new Ui::TFicheRapport),
      m_rapportsRecuperes(rapportsRecuperes),
      m_session(LireCompteRapport(chemins().FichierIni), chemins(), m_relais),
      m_tache(new Tache(this)),
      m_lignes(new ModeleRapports(this)),
      m_filtre(new FiltreRapports(this))
{
    ui->setupUi(this);
    m_filtre->setSourceModel(m_lignes);
    ui->lstRapport->setModel(m_filtre);
    ui->lstRapportDetails->setModel(m_filtre);
    // One selection for both views: switching views keeps the selected line.
    delete ui->lstRapportDetails->selectionModel();
    ui->lstRapportDetails->setSelectionModel(ui->lstRapport->selectionModel());
    QHeaderView *entete = ui->lstRapportDetails->header();
    entete->setSortIndicator(-1, Qt::AscendingOrder); // listing order until asked
    ui->lstRapportDetails->setSortingEnabled(true);
    const QFontMetrics mesure(ui->lstRapportDetails->font());
    entete->resizeSection(ModeleRapports::Franchise, mesure.horizontalAdvance(QStringLiteral("Franchisé")) + 60);
    entete->resizeSection(ModeleRapports::Etat, mesure.horizontalAdvance(QStringLiteral("En erreur")) + 24);
    entete->resizeSection(ModeleRapports::Date, mesure.horizontalAdvance(QStringLiteral("00/00/0000 00:00:00")) + 24);
    entete->setStretchLastSection(true);
    ui->lstRapportDetails->viewport()->installEventFilter(this);
    ilImages = {QIcon(QStringLiteral(":/icons/feu_vert.svg")), QIcon(QStringLiteral(":/icons/feu_rouge.svg")),
                QIcon(QStringLiteral(":/icons/actualiser.svg"))};
    ui->lstRapport->setGridSize(QSize(96, 84));
    ui->separation->setStretchFactor(0, 3);
    ui->separation->setStretchFactor(1, 2);
    ui->lstRapport->viewport()->installEventFilter(this);

    connect(ui->btnActualiser, &QPushButton::clicked, this, &TFicheRapport::btnActualiserClick);
    connect(ui->btnHistorique, &QPushButton::clicked, this, &TFicheRapport::btnHistoriqueClick);
    connect(ui->btnAnnuler, &QPushButton::clicked, m_tache, &Tache::annuler);
    connect(ui->lstRapport->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TFicheRapport::selectionChangee);
    // Rows the filter drops leave the selection without a selectionChanged.
    connect(m_filtre, &QAbstractItemModel::rowsRemoved, this, &TFicheRapport::selectionChangee);
    connect(m_filtre, &QAbstractItemModel::modelReset, this, &TFicheRapport::selectionChangee);
    connect(ui->edtFiltre, &QLineEdit::textChanged, this, [this](const QString &texte) {
        m_filtre->setRecherche(texte);
        afficherResume();
    });
    connect(ui->cbErreursSeulement, &QCheckBox::toggled, this, [this](bool oui) {
        m_filtre->setErreursSeulement(oui);
        afficherResume();
        enregistrerAffichage();
    });
    connect(ui->cbxTri, &QComboBox::currentIndexChanged, this, &TFicheRapport::triChoisi);
    connect(entete, &QHeaderView::sortIndicatorChanged, this, &TFicheRapport::enteteCliquee);
    connect(ui->rbDetails, &QRadioButton::toggled, this, [this](bool details) {
        ui->lstRapport->setVisible(!details);
        ui->lstRapportDetails->setVisible(details);
        // The view just shown gets its size from the next layout pass: scroll once it has it.
        QMetaObject::invokeMethod(this, [this, details] {
            const QModelIndexList choisis = ui->lstRapport->selectionModel()->selectedIndexes();
            if (choisis.isEmpty())
                return;
            const QModelIndex courant = choisis.first();
            if (details)
                ui->lstRapportDetails->scrollTo(courant);
            else
                ui->lstRapport->scrollTo(courant.siblingAtColumn(ModeleRapports::Franchise));
        }, Qt::QueuedConnection);
        enregistrerAffichage();
    });
    auto *chercher = new QShortcut(QKeySequence::Find, this);
    connect(chercher, &QShortcut::activated, this, [this] {
        ui->edtFiltre->setFocus(Qt::ShortcutFocusReason);
        ui->edtFiltre->selectAll();
    });
    // A file that cannot be read opens the window with the defaults.
    appliquerAffichage(Parametres::lireSiPossible(chemins().FichierIni).affichage);
    connect(m_tache, &Tache::terminee, this, &TFicheRapport::actionTerminee);
    m_minuteurProgression.setInterval(100);

    FormCreate();
}

TFicheRapport::~TFicheRapport()
{
    m_tache->arreter(); // the worker uses the session
}

void TFicheRapport::FormCreate()
{
    // The first refresh starts at once; the window shows while it runs.
    ChargerRapports();
    ui->btnActualiser->setIcon(ilImages[2]);
}

bool TFicheRapport::actionEnCours() const
{
    return m_tache->enCours();
}

void TFicheRapport::ChargerRapports()
{
    if (m_tache->signalerSiOccupe())
        return;
    m_lignes->vider();
    lstRapportSelectItem({}, false);
    afficherResume();

    auto progression = std::make_shared<ProgressionPartagee>();
    const bool premier = !*m_rapportsRecuperes;
    const int jours = ui->cseJour->value();
    auto recuperes = std::make_shared<bool>(*m_rapportsRecuperes);
    auto curseur = std::make_shared<CurseurOccupe>();
    disconnect(&m_minuteurProgression, nullptr, this, nullptr);
    connect(&m_minuteurProgression, &QTimer::timeout, this, [this, progression] {
        if (progression->maximum() > 0)
            ui->lblResume->setText(QStringLiteral("Téléchargement des rapports : %1 / %2")
                                       .arg(progression->position())
                                       .arg(progression->maximum()));
    });
    if (premier)
        m_minuteurProgression.start();
    ui->btnAnnuler->show();
    m_tache->lancer(
        [this, progression, jours, recuperes](Messages &messages, const Annulation &annulation) {
            m_relais.cible = &messages;
            m_session.ftpMaj().setAnnulation(&annulation);
            // Lines go to the window in batches: one queued call per line would flood it.
            QList<LigneRapport> lot;
            QElapsedTimer depuis;
            depuis.start();
            const auto envoyer = [this, &lot, &depuis] {
                if (!lot.isEmpty())
                    m_tache->publier([this, l = std::exchange(lot, {})] { ajouterLignes(l); });
                depuis.restart();
            };
            const struct Fin
            {
                std::function<void()> f;
                ~Fin() { f(); }
            } fin{[&] {
                envoyer(); // the lines read before a failure or a cancellation stay
                m_session.ftpMaj().setAnnulation(nullptr);
                m_relais.cible = nullptr;
            }};
            return ::ChargerRapports(m_session, *recuperes, jours, [&](const LigneRapport &l) {
                lot << l;
                if (depuis.elapsed() >= 30)
                    envoyer();
            }, progression.get());
        },
        [this, recuperes, premier, curseur](const Resultat &resultat) mutable {
            curseur.reset();
            m_minuteurProgression.stop();
            *m_rapportsRecuperes = *recuperes;
            afficherResume();
            if (resultat.annule() && premier)
                ui->lblResume->setText(QStringLiteral("Actualisation annulée : ") + ui->lblResume->text());
            presenterResultat(this, resultat);
        });
}

void TFicheRapport::ajouterLignes(const QList<LigneRapport> &lignes)
{
    m_lignes->ajouter(lignes);
}

void TFicheRapport::actionTerminee()
{
    ui->btnAnnuler->hide();
    if (m_fermerApres) {
        m_fermerApres = false;
        QDialog::reject();
    }
}

void TFicheRapport::reject()
{
    // Closed during a task: it is cancelled, and the window closes once it has ended.
    if (m_tache->enCours()) {
        m_fermerApres = true;
        m_tache->annuler();
        return;
    }
    QDialog::reject();
}

void TFicheRapport::keyPressEvent(QKeyEvent *evenement)
{
    // Escape stops a refresh; otherwise it closes the window, as in every dialog.
    if (evenement->key() == Qt::Key_Escape && evenement->modifiers() == Qt::NoModifier && m_tache->enCours()) {
        m_tache->annuler();
        evenement->accept();
        return;
    }
    QDialog::keyPressEvent(evenement);
}

void TFicheRapport::afficherResume()
{
    ResumeRapports resume;
    for (int i = 0; i < m_lignes->rowCount(); ++i)
        resume.ajouter(m_lignes->ligne(i).identifiant, m_lignes->ligne(i).enErreur);
    QString texte = texteResume(resume);
    if (m_filtre->filtreActif())
        texte += QStringLiteral(" — %1 affichés").arg(m_filtre->rowCount());
    ui->lblResume->setText(texte);
}

void TFicheRapport::btnActualiserClick()
{
    ChargerRapports();
}

QString TFicheRapport::TexteRapport(const QModelIndex &ligne) const
{
    return ligne.data(ModeleRapports::RoleTexte).toString();
}

void TFicheRapport::lstRapportSelectItem(const QModelIndex &ligne, bool selectionne)
{
    ui->btnHistorique->setEnabled(false);
    m_franchiseSelectionne.clear();
    if (ligne.isValid() && selectionne) {
        ui->btnHistorique->setEnabled(true);
        m_franchiseSelectionne = ligne.siblingAtColumn(ModeleRapports::Franchise).data().toString();
        ui->reMessage->setPlainText(TexteRapport(ligne));
    }
}

void TFicheRapport::selectionChangee()
{
    // A line hidden by the filter leaves the selection, and so leaves the buttons.
    const QModelIndexList choisis = ui->lstRapport->selectionModel()->selectedIndexes();
    if (choisis.isEmpty())
        lstRapportSelectItem({}, false);
    else
        lstRapportSelectItem(choisis.first(), true);
}

void TFicheRapport::appliquerAffichage(const ParametresAffichage &affichage)
{
    m_appliquant = true; // what is read is not written back half-applied
    ui->cbErreursSeulement->setChecked(affichage.erreursSeulement);
    ui->cbxTri->setCurrentIndex(static_cast<int>(affichage.tri));
    ui->rbDetails->setChecked(affichage.details);
    ui->rbIcones->setChecked(!affichage.details);
    m_appliquant = false;
}

void TFicheRapport::enregistrerAffichage()
{
    if (m_appliquant)
        return;
    Parametres p;
    p.affichage.tri = static_cast<ParametresAffichage::Tri>(std::max(0, ui->cbxTri->currentIndex()));
    p.affichage.details = ui->rbDetails->isChecked();
    p.affichage.erreursSeulement = ui->cbErreursSeulement->isChecked();
    // A display choice that cannot be kept is not worth interrupting the user for.
    try {
        p.enregistrer(chemins().FichierIni, Parametres::Affichage);
    } catch (const HalvenorError &) {
    }
}

void TFicheRapport::triChoisi(int choix)
{
    // "Ordre du serveur" is no sort at all: the model is in listing order.
    static constexpr std::array<int, 4> colonnes = {-1, ModeleRapports::Franchise, ModeleRapports::Etat,
                                                    ModeleRapports::Date};
    const int colonne = colonnes[static_cast<size_t>(std::clamp(choix, 0, 3))];
    {
        const QSignalBlocker bloque(ui->lstRapportDetails->header());
        ui->lstRapportDetails->header()->setSortIndicator(colonne, Qt::AscendingOrder);
    }
    m_filtre->sort(colonne, Qt::AscendingOrder);
    enregistrerAffichage();
}

void TFicheRapport::enteteCliquee(int colonne, Qt::SortOrder sens)
{
    // The view has sorted already; the list of orders follows when it has the same one.
    int choix = -1;
    if (sens == Qt::AscendingOrder && colonne >= ModeleRapports::Franchise && colonne <= ModeleRapports::Date)
        choix = colonne + 1;
    {
        const QSignalBlocker bloque(ui->cbxTri);
        ui->cbxTri->setCurrentIndex(choix);
    }
    // An order the list has no word for (descending, by reason) leaves the kept one as it was.
    if (choix >= 0)
        enregistrerAffichage();
}

bool TFicheRapport::eventFilter(QObject *objet, QEvent *evenement)
{
    // A click in an empty area of the list deselects, as users of the old list view expect.
    for (QAbstractItemView *vue : {static_cast<QAbstractItemView *>(ui->lstRapport),
                                   static_cast<QAbstractItemView *>(ui->lstRapportDetails)}) {
        if (objet == vue->viewport() && evenement->type() == QEvent::MouseButtonPress) {
            const auto *souris = static_cast<QMouseEvent *>(evenement);
            if (!vue->indexAt(souris->position().toPoint()).isValid())
                vue->clearSelection();
        }
    }
    return QDialog::eventFilter(objet, evenement);
}

void TFicheRapport::btnHistoriqueClick()
{
    if (m_tache->signalerSiOccupe())
        return;
    const QString identifiant = m_franchiseSelectionne;
    auto chemin = std::make_shared<std::optional<QString>>();
    auto curseur = std::make_shared<CurseurOccupe>();
    m_tache->lancer(
        [this, identifiant, chemin](Messages &messages, const Annulation &annulation) {
            m_relais.cible = &messages;
            m_session.ftpMaj().setAnnulation(&annulation);
            const struct Fin
            {
                TFicheRapport *f;
                ~Fin()
                {
                    f->m_session.ftpMaj().setAnnulation(nullptr);
                    f->m_relais.cible = nullptr;
                }
            } fin{this};
            // A failed connection says so through the messages and gives false.
            if (!m_session.ConnexionFTPRapport())
                return false;
            *chemin = m_session.RecupererHistorique(identifiant);
            return true;
        },
        [this, identifiant, chemin, curseur](const Resultat &resultat) mutable {
            curseur.reset();
            // A failed connection, listing or download has said so.
            presenterResultat(this, resultat);
            if (!resultat.reussi() || m_fermerApres)
                return;
            executerAction(this, [&] {
                if (*chemin) {
                    TNativeXMLDocument document(RacineMajAuto);
                    bool lu = true;
                    try {
                        document.LoadFromFile(**chemin);
                    } catch (const std::exception &) {
                        lu = false;
                    }
                    if (!lu) {
                        dialogues().message(this, DebutXmlIllisible + **chemin);
                    } else {
                        TFicheRapportHistorique fiche(this, identifiant, document);
                        fiche.exec();
                        return;
                    }
                }
                dialogues().message(this, texteSansHistorique(identifiant));
            });
        });
}
