#include "gui/rapports/FicheRapport.h"
#include "ui_FicheRapport.h"

#include "core/base/Chemins.h"
#include "core/reports/Supervision.h"
#include "gui/rapports/FicheRapportHistorique.h"
#include "gui/Action.h"
#include "gui/CurseurOccupe.h"

#include <QGuiApplication>
#include <QMouseEvent>

TFicheRapport::TFicheRapport(QWidget *owner, bool *rapportsRecuperes)
    : QDialog(owner),
      ui(new Ui::TFicheRapport),
      m_rapportsRecuperes(rapportsRecuperes),
      m_messages(this),
      m_session(LireCompteRapport(chemins().FichierIni), m_messages)
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
    connect(ui->lstRapport, &QListWidget::itemSelectionChanged, this, &TFicheRapport::selectionChangee);

    FormCreate();
}

TFicheRapport::~TFicheRapport() = default;

void TFicheRapport::FormCreate()
{
    // An error shows the standard dialog; the window opens all the same.
    executerAction(this, [this] { ChargerRapports(); });
    ui->btnActualiser->setIcon(ilImages[2]);
}

void TFicheRapport::ChargerRapports()
{
    const CurseurOccupe curseur;
    // Counted however the refresh ends: the lines read before an error stay listed.
    const struct Resume
    {
        TFicheRapport *fiche;
        ~Resume() { fiche->afficherResume(); }
    } resume{this};
    ui->lstRapport->clear();
    MessagesParLigne.clear();
    lstRapportSelectItem(nullptr, false);
    afficherResume();
    ::ChargerRapports(m_session, *m_rapportsRecuperes, ui->cseJour->value(), [this](const LigneRapport &l) {
        const int image = l.enErreur ? 1 : 0;
        auto *ligne = new QListWidgetItem(ilImages[static_cast<size_t>(image)], l.identifiant);
        ligne->setData(RoleImage, image);
        ligne->setToolTip(l.fichier);
        ligne->setTextAlignment(Qt::AlignHCenter | Qt::AlignTop);
        ui->lstRapport->addItem(ligne);
        MessagesParLigne[ligne] = l.texte;
    });
}

void TFicheRapport::reject()
{
    // Closed during a refresh: the refresh stops at its next wait, then the window closes.
    if (fermetureDifferee(this))
        return;
    QDialog::reject();
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
    executerAction(this, [this] { ChargerRapports(); });
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
    const QString identifiant = m_franchiseSelectionne;
    bool connecte = false;
    std::optional<QString> chemin;
    const bool fait = executerAction(this, [&] {
        const CurseurOccupe curseur;
        if (!m_session.ConnexionFTPRapport())
            return;
        connecte = true;
        chemin = m_session.RecupererHistorique(identifiant);
    });
    // A failed connection has said so already; a failed listing or download has shown its error.
    if (!fait || !connecte)
        return;

    bool affiche = false;
    ouvrirFenetre(this, [&] {
        if (chemin) {
            TNativeXMLDocument document(RacineMajAuto);
            bool lu = true;
            try {
                document.LoadFromFile(*chemin);
            } catch (const std::exception &) {
                lu = false;
            }
            if (!lu) {
                dialogues().message(this, DebutXmlIllisible + *chemin);
            } else {
                TFicheRapportHistorique fiche(this, identifiant, document);
                affiche = true;
                fiche.exec();
            }
        }
        if (!affiche)
            dialogues().message(this, texteSansHistorique(identifiant));
    });
}
