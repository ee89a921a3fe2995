#include "core/base/Resultat.h"

#include "core/base/Erreurs.h"

Resultat resultatDe(const Annulation *annulation, const std::function<bool(Messages &)> &action)
{
    MessagesRecueillis messages;
    Resultat r;
    try {
        if (!action(messages))
            r.etat = Resultat::Etat::Echoue;
    } catch (const std::exception &e) {
        r.etat = Resultat::Etat::Echoue;
        r.erreur = texteErreur(e);
    } catch (...) {
        r.etat = Resultat::Etat::Echoue;
        r.erreur = QStringLiteral("Erreur inconnue.");
    }
    if (annulee(annulation)) {
        // What failed after the request failed because of it: nothing to tell.
        r.etat = Resultat::Etat::Annule;
        r.erreur.clear();
        return r;
    }
    r.messages = std::move(messages.textes);
    return r;
}
