#pragma once

#include "core/base/Annulation.h"
#include "core/paradox/Table.h"

#include <QDialog>
#include <QScopedPointer>
#include <QStringList>

namespace Ui {
class TFicheMotDePasse;
}

// Asks for the password of a protected table that no password of Alias.ini opens.
class TFicheMotDePasse : public QDialog
{
    Q_OBJECT

public:
    // `fichier`: the table's file name; `precedentFaux`: the password given last was wrong.
    TFicheMotDePasse(QWidget *owner, const QString &fichier, bool precedentFaux);
    ~TFicheMotDePasse() override;

    QString motDePasse() const;
    bool memoriser() const;

private:
    QScopedPointer<Ui::TFicheMotDePasse> ui;
};

// The passwords given with "Mémoriser pour cette session": kept in memory for this run of the
// program only, never written anywhere. Any thread.
QStringList motsDePasseMemorises();
void oublierMotsDePasseMemorises();

// The password request of a task's worker thread: shows the dialog over `fenetre` on the GUI
// thread and waits for the answer. A cancelled task gets nothing at once, and the dialog
// closes: the worker never waits for the GUI thread, which may itself be waiting for the
// worker (a window's destructor). `fenetre` and `annulation` must outlive the task, as a
// window's Tache ensures. `connus`: the passwords the table was given; those remembered since
// are tried first, unasked.
paradox::DemandeMotDePasse demandeMotDePasse(QWidget *fenetre, const Annulation &annulation, QStringList connus);
