#pragma once

#include "core/base/Messages.h"
#include "core/config/Parametres.h"
#include "core/reports/RecuperationRapports.h"
#include "gui/rapports/ModeleRapports.h"

#include <QDialog>
#include <QIcon>
#include <QScopedPointer>
#include <QTimer>

#include <array>

class Tache;

namespace Ui {
class TFicheRapport;
}

// One line per franchisee that left a report on the report account, with a green or red
// light, and the text of the selected report. The run flag lives in the main window: the
// first refresh of a run downloads, the later ones read the local copies again.
// A refresh and the history's download run as tasks: the window opens at once and fills in
// listing order as the reports arrive; "Annuler" or Escape stops a refresh, the lines read
// stay, and a first refresh stopped leaves the run flag false.
// The lines live in one model, seen through one filter by the icon list and the detail view,
// which share their selection; the display choices are kept in Halvenor.ini.
class TFicheRapport : public QDialog
{
    Q_OBJECT

public:
    // Item data role holding a line's image index (0 green, 1 red).
    static constexpr int RoleImage = ModeleRapports::RoleImage;

    TFicheRapport(QWidget *owner, bool *rapportsRecuperes);
    ~TFicheRapport() override;

    // Starts a refresh; refused while a task runs.
    void ChargerRapports();
    bool actionEnCours() const;
    void btnActualiserClick();
    void btnHistoriqueClick();
    // `ligne` is an index of the views' model (the filter).
    void lstRapportSelectItem(const QModelIndex &ligne, bool selectionne);
    QString TexteRapport(const QModelIndex &ligne) const;
    FiltreRapports *filtre() const { return m_filtre; }

    const QString &FranchiseSelectionne() const { return m_franchiseSelectionne; }
    const CompteRapport &compte() const { return m_session.compte(); }

    void reject() override;

protected:
    bool eventFilter(QObject *objet, QEvent *evenement) override;
    void keyPressEvent(QKeyEvent *evenement) override;

private:
    // The session's messages go to the task running it.
    struct MessagesRelais : Messages
    {
        Messages *cible = nullptr;
        void afficher(const QString &texte) override
        {
            if (cible)
                cible->afficher(texte);
        }
    };

    void FormCreate();
    void selectionChangee();
    void afficherResume();
    void appliquerAffichage(const ParametresAffichage &affichage);
    void enregistrerAffichage();
    void triChoisi(int choix);
    void enteteCliquee(int colonne, Qt::SortOrder sens);
    void ajouterLignes(const QList<LigneRapport> &lignes);
    void actionTerminee();

    QScopedPointer<Ui::TFicheRapport> ui;
    bool *m_rapportsRecuperes;
    MessagesRelais m_relais;
    SessionRapport m_session; // used by one task at a time, on its worker
    Tache *m_tache;
    QTimer m_minuteurProgression;
    bool m_fermerApres = false;
    bool m_appliquant = false;
    std::array<QIcon, 3> ilImages;
    ModeleRapports *m_lignes;
    FiltreRapports *m_filtre;
    QString m_franchiseSelectionne;
};
