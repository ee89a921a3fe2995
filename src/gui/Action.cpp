#include "gui/Action.h"

#include "core/base/Erreurs.h"
#include "gui/Dialogues.h"

#include <QString>

QString suffixeOccupe()
{
    return QStringLiteral(" — action en cours, veuillez patienter…");
}

bool executerAction(QWidget *parent, const std::function<void()> &action)
{
    const Resultat r = resultatDe(nullptr, [&](Messages &) {
        action();
        return true;
    });
    presenterResultat(parent, r);
    return r.reussi();
}

void presenterResultat(QWidget *parent, const Resultat &resultat)
{
    if (resultat.annule())
        return;
    for (const QString &texte : resultat.messages)
        dialogues().message(parent, texte);
    if (!resultat.erreur.isEmpty())
        dialogues().erreur(parent, resultat.erreur);
}
