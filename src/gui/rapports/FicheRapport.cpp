#include "gui/rapports/FicheRapport.h"
#include "ui_FicheRapport.h"

#include "core/base/Chemins.h"
#include "core/reports/Supervision.h"
#include "gui/rapports/FicheRapportHistorique.h"
#include "gui/Action.h"
#include "gui/CurseurOccupe.h"
#include "gui/Dialogues.h"
#include "gui/Tache.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>

TFicheRapport::TFicheRapport(QWidget *owner, bool *rapportsRecuperes)
    : QDialog(owner),
      ui(new Ui::TFicheRapport),
      m_rapportsRecuperes(rapportsRecuperes),
      m_session(LireCompteRapport(chemins().FichierIni), chemins(), m_relais),
      m_tache(new Tache(this))
{
    ui->setupUi(this);
    ilImages = {QIcon(QStringLiteral(":/icons/feu_vert.svg")), QIcon(QStringLiteral(":/icons/feu_rouge.svg")),
                QIcon(QStringLiteral(":/icons/actualiser.svg"))};
    ui->lstRapport->setGridSize(QSize(96, 84));
    ui->separation->setStretchFactor(0, 3);
    ui->separation->setStretchFactor(1, 2);
    ui->lstRapport->viewport()->installEventFilter(this);

    connect(ui->btnActualiser, &QPushButton::clicked, this, &TFicheRapport::btnActualiserClick);
    connect(ui->btnHistorique, &QPushButton::clicked, this, &TFicheRapport::btnHistoriqueClick);
    connect(ui->btnAnnuler, &QPushButton::clicked, m_tache, &Tache::annuler);
    connect(ui->lstRapport, &QListWidget::itemSelectionChanged, this, &TFicheRapport::selectionChangee);
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
    ui->lstRapport->clear();
    MessagesParLigne.clear();
    lstRapportSelectItem(nullptr, false);
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
    for (const LigneRapport &l : lignes) {
        const int image = l.enErreur ? 1 : 0;
        auto *ligne = new QListWidgetItem(ilImages[static_cast<size_t>(image)], l.identifiant);
        ligne->setData(RoleImage, image);
        ligne->setToolTip(l.fichier);
        ligne->setTextAlignment(Qt::AlignHCenter | Qt::AlignTop);
        ui->lstRapport->addItem(ligne);
        MessagesParLigne[ligne] = l.texte;
    }
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
    for (int i = 0; i < ui->lstRapport->count(); ++i) {
        const QListWidgetItem *ligne = ui->lstRapport->item(i);
        resume.ajouter(ligne->text(), ligne->data(RoleImage).toInt() == 1);
    }
    ui->lblResume->setText(texteResume(resume));
}

void TFicheRapport::btnActualiserClick()
{
    ChargerRapports();
}

QString TFicheRapport::TexteRapport(const QListWidgetItem *ligne) const
{
    const auto it = MessagesParLigne.find(ligne);
    return it == MessagesParLigne.end() ? QString() : it->second;
}

void TFicheRapport::lstRapportSelectItem(QListWidgetItem *ligne, bool selectionne)
{
    ui->btnHistorique->setEnabled(false);
    m_franchiseSelectionne.clear();
    if (ligne && selectionne) {
        ui->btnHistorique->setEnabled(true);
        m_franchiseSelectionne = ligne->text();
        ui->reMessage->setPlainText(TexteRapport(ligne));
    }
}

void TFicheRapport::selectionChangee()
{
    const QList<QListWidgetItem *> choisis = ui->lstRapport->selectedItems();
    if (choisis.isEmpty())
        lstRapportSelectItem(nullptr, false);
    else
        lstRapportSelectItem(choisis.first(), true);
}

bool TFicheRapport::eventFilter(QObject *objet, QEvent *evenement)
{
    // A click in an empty area of the list deselects, as users of the old list view expect.
    if (objet == ui->lstRapport->viewport() && evenement->type() == QEvent::MouseButtonPress) {
        const auto *souris = static_cast<QMouseEvent *>(evenement);
        if (!ui->lstRapport->itemAt(souris->position().toPoint()))
            ui->lstRapport->clearSelection();
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
