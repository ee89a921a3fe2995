#pragma once

#include "core/paradox/Table.h"

#include <QDialog>
#include <QScopedPointer>

class QTreeWidget;

namespace Ui {
class TFicheExclureFnsListe;
}

// The suppliers left out of the purchase conditions export: every supplier of FOURNIS.DB
// sits in one of two lists; "Enregistrer" saves the right one as the exclusion list.
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

protected:
    bool eventFilter(QObject *objet, QEvent *evenement) override;

private:
    void FormCreate();
    void preparerListe(QTreeWidget *liste);
    // Moves the selected rows; false when nothing was selected.
    static bool deplacer(QTreeWidget *depuis, QTreeWidget *vers);

    QScopedPointer<Ui::TFicheExclureFnsListe> ui;
    paradox::Table tblFns;
};
