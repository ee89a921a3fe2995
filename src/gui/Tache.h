#pragma once

#include "core/base/Annulation.h"
#include "core/base/Resultat.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class QThread;
class QWidget;

// A window's long actions, one at a time, each on a worker thread of its own.
//
// lancer() runs `travail` off the GUI thread with a fresh cancellation token; `travail` calls the
// core directly (synchronous, no widgets): it returns false when it failed, says why through
// its messages, and may throw; that becomes one Resultat. Each message is a box shown on the
// GUI thread when the worker asks for it; the worker waits until the user has closed it (or
// the task is stopped). When it has ended, `fin` runs
// on the GUI thread with that result: message boxes, ticks and crosses, list lines. Exceptions
// never cross threads: they are turned into the result's error inside the worker.
// While a task runs, a second lancer() in this window is refused: busy cursor, and the title
// says an action runs, until the running one ends. annuler() asks the task to stop (the core
// checks the token between blocks and in libcurl's progress call); the window then closes or
// goes on when `fin` has run. The destructor cancels and waits.
class Tache : public QObject
{
    Q_OBJECT

public:
    explicit Tache(QWidget *fenetre);
    ~Tache() override;
    Tache(const Tache &) = delete;
    Tache &operator=(const Tache &) = delete;

    using Travail = std::function<bool(Messages &, const Annulation &)>;
    using Fin = std::function<void(const Resultat &)>;

    // False when a task already runs (the refusal is shown on the window).
    bool lancer(Travail travail, Fin fin);
    bool enCours() const { return m_fil != nullptr; }
    // Asks the running task to stop; nothing when none runs.
    void annuler();
    // Cancels and waits for the worker, without running `fin`: for a window's destructor,
    // before the objects the worker uses go.
    void arreter();
    // While a task runs: shows the refusal as a refused click does, and returns true.
    bool signalerSiOccupe();
    // From the worker: runs `f` on the GUI thread, in the order of the calls, before `fin`.
    void publier(std::function<void()> f);

Q_SIGNALS:
    void demarree();
    void terminee(); // after `fin` has run

private:
    void montrerOccupation();
    void finirOccupation();
    void executerPublies();

    QWidget *m_fenetre;
    QThread *m_fil = nullptr;
    quint64 m_numero = 0; // of the running task, so that a stopped one's end is ignored
    std::shared_ptr<Annulation> m_annulation;
    QString m_titre;           // the title before the refusal changed it
    bool m_occupee = false;    // a refused click changed title and cursor
    // What the worker hands over goes through a mutex, which also orders everything the worker
    // wrote before it for the GUI thread (ThreadSanitizer sees it; it cannot see inside Qt).
    std::mutex m_verrou;
    std::deque<std::function<void()>> m_publies;
};
