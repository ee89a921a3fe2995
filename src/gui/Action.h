#pragma once

#include "core/base/Resultat.h"

#include <functional>

class QString;
class QWidget;

// Runs one short user action on the GUI thread inside the standard error dialog: any
// exception is shown with its text and never crosses the event loop; the window stays usable.
// Returns false when the action failed. Long actions go through a Tache instead.
bool executerAction(QWidget *parent, const std::function<void()> &action);

// Shows what an action gave back, over `parent`: its messages in order, then its error in
// the standard error dialog. A cancelled action shows nothing.
void presenterResultat(QWidget *parent, const Resultat &resultat);

// What a refused window adds to its title.
QString suffixeOccupe();
