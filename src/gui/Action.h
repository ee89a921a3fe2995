#pragma once

#include <functional>

class QWidget;

// Runs one user action inside the standard error dialog: any exception is shown
// with its text and never crosses the event loop; the window stays usable.
// While an action runs (it may let pending events run), a second one is refused.
// Returns false when the action failed or was refused.
bool executerAction(QWidget *parent, const std::function<void()> &action);

// The same for opening a modal window: refused while an action runs, but the window,
// once open, runs its own actions.
bool ouvrirFenetre(QWidget *parent, const std::function<void()> &ouverture);

// True while an action runs.
bool actionEnCours();

// Closing a window while an action runs: the action is asked to stop at its next network
// wait, and the window closes once the action has ended. True when the close must wait;
// the caller then ignores this close.
bool fermetureDifferee(QWidget *fenetre);

// The FTP client's wait hook in the GUI: lets pending events run (repaint, moves, refused
// clicks); false once a close asked the running action to stop.
bool laisserPasserEvenements();
