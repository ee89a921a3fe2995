#include "gui/Action.h"

#include "core/base/Erreurs.h"
#include "gui/Dialogues.h"

#include <QGuiApplication>
#include <QPointer>
#include <QWidget>

#include <utility>
#include <vector>

QString suffixeOccupe()
{
    return QStringLiteral(" — action en cours, veuillez patienter…");
}

namespace {

bool g_enCours = false;

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
            for (const Suite &s : std::exchange(g_suites, {}))
                planifier(s);
        }
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

void apresAction(QObject *contexte, const std::function<void()> &suite)
{
    const Suite s{contexte, suite};
    if (g_enCours)
        g_suites.push_back(s);
    else
        planifier(s);
}
