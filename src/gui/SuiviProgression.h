#pragma once

#include "core/base/Progression.h"

#include <QObject>
#include <QTimer>

#include <memory>

class QProgressBar;

// A progress bar that follows a task's ProgressionPartagee: the worker only writes two numbers,
// the GUI thread draws them every 25 ms (as smooth to the eye as every record, and a million
// records cost no more than they would without a bar). A maximum of 0 is drawn as an empty bar:
// Qt would draw a range of 0..0 as a "busy" animation that never ends.
class SuiviProgression : public QObject
{
public:
    SuiviProgression(QProgressBar *barre, std::shared_ptr<ProgressionPartagee> progression);
    // Draws where the task ended and stops following it.
    void arreter();

private:
    void afficher();

    QProgressBar *m_barre;
    std::shared_ptr<ProgressionPartagee> m_progression;
    QTimer m_minuteur;
};
