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
