#include "gui/Tache.h"

#include "gui/Action.h"

#include <QGuiApplication>
#include <QThread>
#include <QWidget>

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
    // Its end, queued meanwhile, finds nothing left to do.
    ++m_numero;
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
    auto resultat = std::make_shared<Resultat>();
    m_fil = QThread::create([travail = std::move(travail), annulation = m_annulation, resultat] {
        *resultat = resultatDe(annulation.get(), [&](Messages &messages) { return travail(messages, *annulation); });
    });
    QThread *fil = m_fil;
    const quint64 numero = ++m_numero;
    // Queued: the worker's published calls, posted before it finished, run first.
    connect(fil, &QThread::finished, this, [this, fil, numero, resultat, fin = std::move(fin)] {
        if (numero != m_numero || m_fil != fil)
            return; // stopped by arreter(), which has cleaned up
        fil->wait();
        delete fil;
        m_fil = nullptr;
        finirOccupation();
        if (fin)
            fin(*resultat);
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
    QMetaObject::invokeMethod(this, std::move(f), Qt::QueuedConnection);
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
