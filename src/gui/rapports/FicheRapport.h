#pragma once

#include "core/reports/RecuperationRapports.h"
#include "gui/Dialogues.h"

#include <QDialog>
#include <QIcon>
#include <QScopedPointer>

#include <array>
#include <map>

class QListWidgetItem;

namespace Ui {
class TFicheRapport;
}

// One line per franchisee that left a report on the report account, with a green or red
// light, and the text of the selected report. The run flag lives in the main window: the
// first refresh of a run downloads, the later ones read the local copies again.
class TFicheRapport : public QDialog
{
    Q_OBJECT

public:
    // Item data role holding a line's image index (0 green, 1 red).
    static constexpr int RoleImage = Qt::UserRole + 1;

    TFicheRapport(QWidget *owner, bool *rapportsRecuperes);
    ~TFicheRapport() override;

    void ChargerRapports();
    void btnActualiserClick();
    void btnHistoriqueClick();
    void lstRapportSelectItem(QListWidgetItem *ligne, bool selectionne);
    QString TexteRapport(const QListWidgetItem *ligne) const;

    const QString &FranchiseSelectionne() const { return m_franchiseSelectionne; }
    const CompteRapport &compte() const { return m_session.compte(); }

    void reject() override;

protected:
    bool eventFilter(QObject *objet, QEvent *evenement) override;

private:
    void FormCreate();
    void selectionChangee();
    void afficherResume();

    QScopedPointer<Ui::TFicheRapport> ui;
    bool *m_rapportsRecuperes;
    MessagesFenetre m_messages;
    SessionRapport m_session;
    std::array<QIcon, 3> ilImages;
    std::map<const QListWidgetItem *, QString> MessagesParLigne;
    QString m_franchiseSelectionne;
};
