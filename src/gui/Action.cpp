#include "gui/Action.h"

#include "core/base/Erreurs.h"
#include "gui/Dialogues.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <QTimer>

namespace {
bool g_enCours = false;
bool g_abandon = false;
QList<QPointer<QWidget>> g_aFermer;

// Once the action is over, the windows whose close waited for it close for good.
void fermerLesFenetresEnAttente()
{
    g_abandon = false;
    const QList<QPointer<QWidget>> fenetres = std::exchange(g_aFermer, {});
    for (const QPointer<QWidget> &f : fenetres) {
        if (f)
            QTimer::singleShot(0, f.data(), [f] {
                if (f)
                    f->close();
            });
    }
}
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
        ~Garde()
        {
            if (!actif)
                return;
            g_enCours = false;
            fermerLesFenetresEnAttente();
        }
    } garde(exclusif);
    try {
        action();
        return true;
    } catch (const ActionAbandonnee &) {
        // The user closed the window: nothing to tell.
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

bool fermetureDifferee(QWidget *fenetre)
{
    if (!g_enCours)
        return false;
    g_abandon = true;
    if (!g_aFermer.contains(fenetre))
        g_aFermer << fenetre;
    return true;
}

bool laisserPasserEvenements()
{
    // Input is let through too: a click on another button is refused by executerAction, and the
    // close box reaches fermetureDifferee.
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return !g_abandon;
}
