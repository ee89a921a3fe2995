#pragma once

#include "core/base/Annulation.h"
#include "core/base/Messages.h"

#include <QString>
#include <QStringList>

#include <functional>

// What an action of the core gives back to the window or the command line: done, failed or
// cancelled, with the texts to show in the order the action produced them.
struct Resultat
{
    enum class Etat { Reussi, Echoue, Annule };

    Etat etat = Etat::Reussi;
    // Message boxes with an OK button, in order (a refused account, a missing file...).
    QStringList messages;
    // The text of the standard error dialog, shown after the messages; empty when none.
    QString erreur;

    bool reussi() const { return etat == Etat::Reussi; }
    bool annule() const { return etat == Etat::Annule; }
};

// Collects the core's messages for a Resultat; safe to fill from the worker thread only.
class MessagesRecueillis : public Messages
{
public:
    void afficher(const QString &texte) override { textes << texte; }
    QStringList textes;
};

// Runs `action` (false: it failed and said why through its messages) and turns what happened
// into a Resultat: an exception becomes the error text, a request of `annulation` wins over a
// failure it caused, and a cancelled action shows no message.
Resultat resultatDe(const Annulation *annulation, const std::function<bool(Messages &)> &action);
