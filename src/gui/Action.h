#pragma once

#include <functional>

class QObject;
class QString;
class QWidget;

// Runs one user action inside the standard error dialog: any exception is shown
// with its text and never crosses the event loop; the window stays usable.
// While an action runs (it may let pending events run), a second one is refused: the
// refused window shows the busy cursor and says in its title that an action runs, until
// the running action ends.
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

// While an action runs: shows the busy state on `fenetre`'s window, as a refused click does,
// and returns true. False when no action runs.
bool signalerSiOccupe(QWidget *fenetre);

// Runs `suite` from the event loop once the running action has ended (at the next turn of
// the loop when none runs); dropped if `contexte` is destroyed first.
void apresAction(QObject *contexte, const std::function<void()> &suite);

// What a refused window adds to its title.
QString suffixeOccupe();
