#include "gui/Action.h"

#include "core/base/Erreurs.h"
#include "gui/Dialogues.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <utility>
#include <vector>

QString suffixeOccupe()
{
    return QStringLiteral(" — action en cours, veuillez patienter…");
}

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

struct Suite
{
    QPointer<QObject> contexte;
    std::function<void()> fonction;
};
std::vector<Suite> g_suites;

// Windows whose click was refused, with the title they had.
struct Occupee
{
    QPointer<QWidget> fenetre;
    QString titre;
};
std::vector<Occupee> g_occupees;
bool g_curseurOccupe = false;

void planifier(const Suite &s)
{
    if (!s.contexte)
        return;
    QMetaObject::invokeMethod(s.contexte.data(), s.fonction, Qt::QueuedConnection);
}

// A beep is often silent on Linux desktops: the refusal shows on screen instead.
void montrerOccupation(QWidget *parent)
{
    if (!g_curseurOccupe) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        g_curseurOccupe = true;
    }
    QWidget *fenetre = parent ? parent->window() : nullptr;
    if (!fenetre)
        return;
    for (const Occupee &o : g_occupees)
        if (o.fenetre == fenetre)
            return;
    g_occupees.push_back({fenetre, fenetre->windowTitle()});
    fenetre->setWindowTitle(fenetre->windowTitle() + suffixeOccupe());
}

void finirOccupation()
{
    for (const Occupee &o : g_occupees)
        if (o.fenetre)
            o.fenetre->setWindowTitle(o.titre);
    g_occupees.clear();
    if (g_curseurOccupe) {
        QGuiApplication::restoreOverrideCursor();
        g_curseurOccupe = false;
    }
}

bool protege(QWidget *parent, const std::function<void()> &action, bool exclusif)
{
    if (g_enCours) {
        // The running action lets events through for its progress bar; a second click must
        // not start another walk of the same tables.
        montrerOccupation(parent);
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
            finirOccupation();
            fermerLesFenetresEnAttente();
            for (const Suite &s : std::exchange(g_suites, {}))
                planifier(s);
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

bool actionEnCours()
{
    return g_enCours;
}

bool signalerSiOccupe(QWidget *fenetre)
{
    if (!g_enCours)
        return false;
    montrerOccupation(fenetre);
    return true;
}

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

void apresAction(QObject *contexte, const std::function<void()> &suite)
{
    const Suite s{contexte, suite};
    if (g_enCours)
        g_suites.push_back(s);
    else
        planifier(s);
}
