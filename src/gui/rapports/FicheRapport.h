#pragma once

#include "core/base/Messages.h"
#include "core/reports/RecuperationRapports.h"

#include <QDialog>
#include <QIcon>
#include <QScopedPointer>
#include <QTimer>

#include <array>
#include <map>

class QListWidgetItem;
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
class TFicheRapport : public QDialog
{
    Q_OBJECT

public:
    // Item data role holding a line's image index (0 green, 1 red).
    static constexpr int RoleImage = Qt::UserRole + 1;

    TFicheRapport(QWidget *owner, bool *rapportsRecuperes);
    ~TFicheRapport() override;

    // Starts a refresh; refused while a task runs.
    void ChargerRapports();
    bool actionEnCours() const;
    void btnActualiserClick();
    void btnHistoriqueClick();
    void lstRapportSelectItem(QListWidgetItem *ligne, bool selectionne);
    QString TexteRapport(const QListWidgetItem *ligne) const;

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
    void ajouterLignes(const QList<LigneRapport> &lignes);
    void actionTerminee();

    QScopedPointer<Ui::TFicheRapport> ui;
    bool *m_rapportsRecuperes;
    MessagesRelais m_relais;
    SessionRapport m_session; // used by one task at a time, on its worker
    Tache *m_tache;
    QTimer m_minuteurProgression;
    bool m_fermerApres = false;
    std::array<QIcon, 3> ilImages;
    std::map<const QListWidgetItem *, QString> MessagesParLigne;
    QString m_franchiseSelectionne;
};
