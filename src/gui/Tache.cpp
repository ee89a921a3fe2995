#include "gui/Tache.h"

#include "gui/Action.h"
#include "gui/Dialogues.h"

#include <QGuiApplication>
#include <QPointer>
#include <QThread>
#include <QWidget>

#include <chrono>
#include <condition_variable>

namespace {

// One message box asked by the worker.
struct Boite
{
    std::mutex verrou;
    std::condition_variable reveil;
    bool fermee = false;
    bool abandonnee = false; // the task was stopped: nobody waits for the box any more
};

// How often a worker waiting for a box looks at the cancellation.
constexpr std::chrono::milliseconds Intervalle{50};

// The worker's messages: each box is shown on the GUI thread at once, and the action goes on
// only once the user has closed it, as when everything ran on the GUI thread.
class MessagesTache : public Messages
{
public:
    MessagesTache(Tache *tache, QWidget *fenetre, const Annulation &annulation)
        : m_tache(tache), m_fenetre(fenetre), m_annulation(annulation)
    {
    }

    void afficher(const QString &texte) override
    {
        if (m_annulation.demandee())
            return;
        auto boite = std::make_shared<Boite>();
        // Dropped with the Tache if it goes first; the wait below then ends on the cancellation.
        QMetaObject::invokeMethod(
            m_tache,
            [fenetre = QPointer<QWidget>(m_fenetre), boite, texte] {
                {
                    const std::lock_guard<std::mutex> verrou(boite->verrou);
                    if (boite->abandonnee)
                        return;
                }
                if (fenetre) {
                    // The window's busy cursor is not the box's.
                    QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
                    dialogues().message(fenetre, texte);
                    QGuiApplication::restoreOverrideCursor();
                }
                const std::lock_guard<std::mutex> verrou(boite->verrou);
                boite->fermee = true;
                boite->reveil.notify_all();
            },
            Qt::QueuedConnection);
        std::unique_lock<std::mutex> verrou(boite->verrou);
        while (!boite->fermee) {
            if (m_annulation.demandee()) {
                boite->abandonnee = true;
                return;
            }
            boite->reveil.wait_for(verrou, Intervalle);
        }
    }

private:
    Tache *m_tache;
    QWidget *m_fenetre;
    const Annulation &m_annulation;
};

} // namespace

Tache::Tache(QWidget *fenetre) : QObject(fenetre), m_fenetre(fenetre)
{
}

Tache::~Tache()
{
    arreter();
}

void Tache::arreter()
{
    if (!m_fil)
        return;
    // The worker uses the window's objects: it must be over before they go.
    m_annulation->annuler();
    m_fil->wait();
    // Its end, queued meanwhile, finds nothing left to do; nor do its published calls.
    ++m_numero;
    {
        const std::lock_guard<std::mutex> verrou(m_verrou);
        m_publies.clear();
    }
    delete m_fil;
    m_fil = nullptr;
    finirOccupation();
}

bool Tache::lancer(Travail travail, Fin fin)
{
    if (m_fil) {
        montrerOccupation();
        return false;
    }
    m_annulation = std::make_shared<Annulation>();
    struct Remise
    {
        std::mutex verrou;
        Resultat resultat;
    };
    auto remise = std::make_shared<Remise>();
    m_fil = QThread::create([this, fenetre = m_fenetre, travail = std::move(travail), annulation = m_annulation,
                             remise] {
        // The boxes are shown as they come: the result carries none of them.
        MessagesTache messages(this, fenetre, *annulation);
        Resultat r = resultatDe(annulation.get(), [&](Messages &) { return travail(messages, *annulation); });
        const std::lock_guard<std::mutex> verrou(remise->verrou);
        remise->resultat = std::move(r);
    });
    QThread *fil = m_fil;
    const quint64 numero = ++m_numero;
    // Queued: the worker's published calls, posted before it finished, run first.
    connect(fil, &QThread::finished, this, [this, fil, numero, remise, fin = std::move(fin)] {
        if (numero != m_numero || m_fil != fil)
            return; // stopped by arreter(), which has cleaned up
        fil->wait();
        fil->deleteLater(); // not from inside its own signal's call
        m_fil = nullptr;
        executerPublies();
        Resultat resultat;
        {
            const std::lock_guard<std::mutex> verrou(remise->verrou);
            resultat = std::move(remise->resultat);
        }
        finirOccupation();
        if (fin)
            fin(resultat);
        Q_EMIT terminee();
    }, Qt::QueuedConnection);
    fil->start();
    Q_EMIT demarree();
    return true;
}

void Tache::annuler()
{
    if (m_fil)
        m_annulation->annuler();
}

bool Tache::signalerSiOccupe()
{
    if (!m_fil)
        return false;
    montrerOccupation();
    return true;
}

void Tache::publier(std::function<void()> f)
{
    {
        const std::lock_guard<std::mutex> verrou(m_verrou);
        m_publies.push_back(std::move(f));
    }
    QMetaObject::invokeMethod(this, &Tache::executerPublies, Qt::QueuedConnection);
}

void Tache::executerPublies()
{
    std::deque<std::function<void()>> publies;
    {
        const std::lock_guard<std::mutex> verrou(m_verrou);
        publies.swap(m_publies);
    }
    for (const std::function<void()> &f : publies)
        f();
}

// A beep is often silent on Linux desktops: the refusal shows on screen instead.
void Tache::montrerOccupation()
{
    if (m_occupee)
        return;
    m_occupee = true;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    m_titre = m_fenetre->windowTitle();
    m_fenetre->setWindowTitle(m_titre + suffixeOccupe());
}

void Tache::finirOccupation()
{
    if (!m_occupee)
        return;
    m_occupee = false;
    m_fenetre->setWindowTitle(m_titre);
    QGuiApplication::restoreOverrideCursor();
}
