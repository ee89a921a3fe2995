#pragma once

#include "core/paradox/Table.h"

#include <QDialog>
#include <QScopedPointer>

class QTreeWidget;
class Tache;

namespace Ui {
class TFicheExclureFnsListe;
}

// The suppliers left out of the purchase conditions export: every supplier of FOURNIS.DB
// sits in one of two lists; "Enregistrer" saves the right one as the exclusion list.
// FOURNIS.DB is read by a task off the GUI thread: the window opens at once, its lists and
// buttons usable once the load has ended; a table that cannot be read shows the error and
// closes the window.
class TFicheExclureFnsListe : public QDialog
{
    Q_OBJECT

public:
    explicit TFicheExclureFnsListe(QWidget *owner);
    ~TFicheExclureFnsListe() override;

    void btnExclrueClick();
    void btnReintegrerClick();
    void lvFnsSourceDblClick() { btnExclrueClick(); }
    void lvFnsExcluDblClick() { btnReintegrerClick(); }
    void btnEnregistrerClick();
    bool chargementEnCours() const;

protected:
    bool eventFilter(QObject *objet, QEvent *evenement) override;

private:
    void FormCreate();
    void preparerListe(QTreeWidget *liste);
    // Moves the selected rows; false when nothing was selected.
    static bool deplacer(QTreeWidget *depuis, QTreeWidget *vers);

    QScopedPointer<Ui::TFicheExclureFnsListe> ui;
    paradox::Table tblFns;
    Tache *m_tache;
};
