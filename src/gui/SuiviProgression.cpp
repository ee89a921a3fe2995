#include "gui/SuiviProgression.h"

#include <QProgressBar>

SuiviProgression::SuiviProgression(QProgressBar *barre, std::shared_ptr<ProgressionPartagee> progression)
    : QObject(barre), m_barre(barre), m_progression(std::move(progression))
{
    m_minuteur.setInterval(25);
    connect(&m_minuteur, &QTimer::timeout, this, &SuiviProgression::afficher);
    m_minuteur.start();
    afficher();
}

void SuiviProgression::arreter()
{
    m_minuteur.stop();
    afficher();
}

void SuiviProgression::afficher()
{
    const int maximum = m_progression->maximum();
    const int position = m_progression->position();
    m_barre->setProperty("maximumLogique", maximum);
    m_barre->setProperty("positionLogique", position);
    m_barre->setRange(0, maximum > 0 ? maximum : 1);
    m_barre->setValue(maximum > 0 ? qMin(position, maximum) : 0);
}
