#include "gui/Action.h"

#include "core/base/Erreurs.h"
#include "gui/Dialogues.h"

#include <QApplication>

namespace {
bool g_enCours = false;
}

bool actionEnCours()
{
    return g_enCours;
}

namespace {
bool protege(QWidget *parent, const std::function<void()> &action, bool exclusif)
{
    if (g_enCours) {
        // The running action lets events through for its progress bar; a second click must
        // not start another walk of the same tables.
        QApplication::beep();
        return false;
    }
    struct Garde
    {
        bool actif;
        explicit Garde(bool a) : actif(a) { if (actif) g_enCours = true; }
        ~Garde() { if (actif) g_enCours = false; }
    } garde(exclusif);
    try {
        action();
        return true;
    } catch (const std::exception &e) {
        dialogues().erreur(parent, texteErreur(e));
    } catch (...) {
        dialogues().erreur(parent, QStringLiteral("Erreur inconnue."));
    }
    return false;
}
} // namespace

bool executerAction(QWidget *parent, const std::function<void()> &action)
{
    return protege(parent, action, true);
}

bool ouvrirFenetre(QWidget *parent, const std::function<void()> &ouverture)
{
    return protege(parent, ouverture, false);
}
